#pragma once
// Disc archiving: the one public header of disc/.
//
// Usage model. The components are QObjects used on the UI thread; only an archive run works on a
// worker thread (TArchiveJob).
//   TDiscRecorder recorder;                    // the machine's recorders, then the image files that
//                                              // SetImageTargets() offers ("stdio:" + path)
//   recorder.DeviceCount(), ProductOf(i)       // i is 1-based; Product, VolumePathNames of the selected
//   recorder.SetDevice(i);                     // selects; drops what was read of the old one
//   TDiscWrite writer;  writer.SetRecorder(&recorder);   // the medium: CurrentMediaStatus, FreeSectors
//   TDiscImage image;   image.SetDiscWrite(&writer);     // SourceTree, VolumeName
//   TArchiveJob job(&image);                   // build, write and verify on a worker thread
//   connect(&job, &TSmProgressThread::statusChanged, ...);   // and progressChanged, finished
//   job.Resume();  ...  job.Cancel();          // the write then ends with its failure (job.Failure())
//
// Ownership: components are owned by their Qt parent; their references to each other are not owned
// and are cleared when the other is destroyed. The drives are made on first use and shared by the
// three. A drive is held only inside one medium question or one archive, and let go before the call
// returns, after a failure too (the tray is unlocked).
// Blocking: TDiscWrite's medium properties ask the drive once per medium (a drive can take seconds to
// open), and answer from what was read until the medium changes; WriteToDisc blocks
// for the whole archive (a mounted disc is unmounted first), so the program runs it through
// TArchiveJob. While the job runs it owns the three components: the owner leaves them alone until
// finished(). Failures are exceptions whose text says what happened and what to do.
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "disc/DiscTypes.h"
#include "jobs/SmProgressThread.h"
#include "support/Exceptions.h"

class TDiscWrite;
class TDiscImage;

// The components' own failures, one class per component.
template <int Component>
class TDiscException : public Exception {
 public:
  using Exception::Exception;
};
using TDiscRecorderException = TDiscException<0>;
using TDiscWriteException = TDiscException<1>;
using TDiscImageException = TDiscException<2>;

class TBurnComponent : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString About READ About WRITE SetAbout)
 public:
  explicit TBurnComponent(QObject* owner = nullptr) : QObject(owner) {}
  QString About() const {
    return QStringLiteral("Veltra QRM disc components (libburn, libisofs, libisoburn)");
  }
  void SetAbout(const QString&) {}
  virtual void ResetFormat() {}
  // Where a failure inside an event handler ends up (the event source must not throw back into the
  // notifier); the default writes it as a warning, the burn dialog shows it in the error box.
  static std::function<void(const std::exception&)>& EventErrorHandler();
};

using TDiscRecorderDeviceEvent = std::function<void(QObject* sender, const QString& uniqueId)>;
using TDiscRecorderMediaEvent = std::function<void(QObject* sender, char drive)>;

class TDiscRecorder : public TBurnComponent {
  Q_OBJECT
  Q_PROPERTY(bool CanLoadMedia READ CanLoadMedia)
  Q_PROPERTY(quint32 CurrentProfiles READ CurrentProfiles)
  Q_PROPERTY(qint32 Device READ Device WRITE SetDevice)
  Q_PROPERTY(qint32 DeviceCount READ DeviceCount)
  Q_PROPERTY(QString DeviceName READ DeviceName WRITE SetDeviceName)
  Q_PROPERTY(bool DeviceSupported READ DeviceSupported)
  Q_PROPERTY(QString ExclusiveAccessOwner READ ExclusiveAccessOwner)
  Q_PROPERTY(qint32 LegacyDeviceNumber READ LegacyDeviceNumber)
  Q_PROPERTY(QString Product READ Product WRITE SetProduct)
  Q_PROPERTY(QString ProductRevision READ ProductRevision)
  Q_PROPERTY(bool SupportedEnvironment READ SupportedEnvironment)
  Q_PROPERTY(quint16 SupportedModePages READ SupportedModePages)
  Q_PROPERTY(quint32 SupportedProfiles READ SupportedProfiles)
  Q_PROPERTY(QString Vendor READ Vendor)
  Q_PROPERTY(QString VolumeName READ VolumeName)
  Q_PROPERTY(QString VolumePathNames READ VolumePathNames)
 public:
  explicit TDiscRecorder(QObject* owner = nullptr);
  ~TDiscRecorder() override;

  bool CanLoadMedia();
  TProfiles CurrentProfiles();
  int32_t Device() const { return device_; }
  void SetDevice(int32_t value);
  int32_t DeviceCount();
  QString DeviceName() { return Text(&TRecorderInfo::id); }
  void SetDeviceName(const QString& value);
  bool DeviceSupported() { return RecorderObject() != nullptr; }
  QString ExclusiveAccessOwner() { return {}; }  // no effect on Linux: a drive is opened exclusively
  int32_t LegacyDeviceNumber();
  QString Product() { return Text(&TRecorderInfo::product); }
  void SetProduct(const QString& value);
  QString ProductRevision() { return Text(&TRecorderInfo::revision); }
  bool SupportedEnvironment();      // the disc libraries could be started
  TModePages SupportedModePages();  // no effect on Linux: the libraries report no mode pages
  TProfiles SupportedProfiles();
  QString Vendor() { return Text(&TRecorderInfo::vendor); }
  QString VolumeName() { return Text(&TRecorderInfo::volumeName); }
  QString VolumePathNames();

  void SetOnDeviceAdded(TDiscRecorderDeviceEvent h) { Assign(onDeviceAdded_, std::move(h)); }
  void SetOnDeviceRemoved(TDiscRecorderDeviceEvent h) { Assign(onDeviceRemoved_, std::move(h)); }
  void SetOnMediaInsertion(TDiscRecorderMediaEvent h) { Assign(onMediaInsertion_, std::move(h)); }
  void SetOnMediaRemoval(TDiscRecorderMediaEvent h) { Assign(onMediaRemoval_, std::move(h)); }

  QString UniqueIdOf(int32_t index);
  // What is known of the recorder at `index` without opening it; none when there is no such recorder.
  std::unique_ptr<TRecorderInfo> OpenRecorder(int32_t index);
  QString ProductOf(int32_t index);
  const TRecorderInfo* RecorderObject();
  // Offers an image file as one more recorder (once) and gives its 1-based index.
  int32_t AddImageTarget(const QString& path);
  void CheckAvailable() {
    if (!RecorderObject()) throw TDiscRecorderException("Recorder not available");
  }
  void AttachWriter(TDiscWrite* writer);
  void DetachWriter(TDiscWrite* writer) { std::erase(writers_, writer); }
  const std::vector<TDiscWrite*>& Writers() const { return writers_; }

  // Whether notices of recorders that come or go reach the handlers.
  bool DeviceNoticesSubscribed() const;

 private:
  friend struct TDiscInternals;
  struct TDrives;  // the drive layer and its notices (DiscComponents.cpp), made on first use

  // Assigning an event handler makes or drops the monitor that raises the events.
  template <typename H>
  void Assign(H& slot, H handler) {
    slot = std::move(handler);
    UpdateMonitor();
  }
  void UpdateMonitor(bool forMediumFacts = false);
  QString Text(std::string TRecorderInfo::*field) {
    return RecorderObject() ? QString::fromStdString(recorderObject_.get()->*field) : QString();
  }
  void SelectFirst(const QString& value, QString (TDiscRecorder::*of)(int32_t));
  template <typename H, typename... A>
  void Raise(const H& handler, A... args);

  std::vector<TDiscWrite*> writers_;
  std::unique_ptr<TDrives> drives_;
  std::unique_ptr<TRecorderInfo> recorderObject_;
  int32_t device_ = 1;
  TDiscRecorderDeviceEvent onDeviceAdded_, onDeviceRemoved_;
  TDiscRecorderMediaEvent onMediaInsertion_, onMediaRemoval_;
};

class TDiscFormat : public TBurnComponent {
  Q_OBJECT
  Q_PROPERTY(TDiscRecorder* Recorder READ Recorder WRITE SetRecorder)
  Q_PROPERTY(bool CurrentMediaSupported READ CurrentMediaSupported)
  Q_PROPERTY(bool MediaPhysicallyBlank READ MediaPhysicallyBlank)
  Q_PROPERTY(bool MediaHeuristicallyBlank READ MediaHeuristicallyBlank)
  Q_PROPERTY(bool RecorderSupported READ RecorderSupported)
  Q_PROPERTY(quint32 SupportedMediaTypes READ SupportedMediaTypes)
 public:
  explicit TDiscFormat(QObject* owner = nullptr) : TBurnComponent(owner) {}
  TDiscRecorder* Recorder() const { return recorder_; }
  virtual void SetRecorder(TDiscRecorder* value) { recorder_ = value; }

  bool CurrentMediaSupported();
  bool MediaPhysicallyBlank();
  bool MediaHeuristicallyBlank();
  bool RecorderSupported();
  TMediaTypes SupportedMediaTypes();

 protected:
  // Asks the drive about its medium: `none` without a recorder; a drive that fails throws.
  template <typename T, typename F>
  T Ask(T none, F&& read);

  QPointer<TDiscRecorder> recorder_;  // forgotten when the recorder goes
};

using TDiscWriteUpdateEvent = std::function<void(
    QObject* sender, TWriteAction currentAction, bool& cancel, int32_t totalTime, int32_t elapsedTime,
    int32_t remainingTime, int32_t totalSystemBuffer, int32_t usedSystemBuffer, int32_t freeSystemBuffer,
    int32_t sectorCount, int32_t startLba, int32_t lastReadLba, int32_t lastWrittenLba)>;

// Writes the image of a TDiscImage to the recorder's medium.
class TDiscWrite : public TDiscFormat {
  Q_OBJECT
  Q_PROPERTY(bool BufferUnderrunFree MEMBER BufferUnderrunFree)
  Q_PROPERTY(QString ClientName MEMBER ClientName)
  Q_PROPERTY(bool ConsumerDvdCompatible MEMBER ConsumerDvdCompatible)
  Q_PROPERTY(bool FinalizeMedia MEMBER FinalizeMedia)
  Q_PROPERTY(bool ForceOverwrite MEMBER ForceOverwrite)
  Q_PROPERTY(bool PostgapInImage MEMBER PostgapInImage)
  Q_PROPERTY(TVerification Verification MEMBER Verification)
  Q_PROPERTY(qint32 WriteSpeed MEMBER WriteSpeed)
  Q_PROPERTY(bool WriteCav MEMBER WriteCav)
  Q_PROPERTY(int CurrentMediaType READ CurrentMediaType)
  Q_PROPERTY(quint16 CurrentMediaStatus READ CurrentMediaStatus)
  Q_PROPERTY(bool CurrentWriteCav READ CurrentWriteCav)
  Q_PROPERTY(qint32 CurrentWriteSpeed READ CurrentWriteSpeed)
  Q_PROPERTY(qint32 FreeSectors READ FreeSectors)
  Q_PROPERTY(qint32 TotalSectors READ TotalSectors)
  Q_PROPERTY(qint32 NextWritableAddress READ NextWritableAddress)
  Q_PROPERTY(quint8 WriteProtectStatus READ WriteProtectStatus)
 public:
  explicit TDiscWrite(QObject* owner = nullptr) : TDiscFormat(owner) {}
  ~TDiscWrite() override {
    if (recorder_) recorder_->DetachWriter(this);
  }

  bool BufferUnderrunFree = true;
  QString ClientName = QStringLiteral("Orvanel");  // no effect on Linux: the libraries take no client name
  bool ConsumerDvdCompatible = true;               // no effect on Linux: the libraries have no such mode
  bool FinalizeMedia = false;
  bool ForceOverwrite = false;
  bool PostgapInImage = false;  // no effect on Linux: a data session carries no postgap
  TVerification Verification = veNone;
  int32_t WriteSpeed = -1;
  bool WriteCav = false;
  TDiscWriteUpdateEvent OnUpdate;

  TMediaType CurrentMediaType();
  TMediaStatus CurrentMediaStatus();
  bool CurrentWriteCav();
  int32_t CurrentWriteSpeed();
  int32_t FreeSectors();
  int32_t TotalSectors();
  int32_t NextWritableAddress();
  TWriteProtectStatus WriteProtectStatus();

  void SetRecorder(TDiscRecorder* value) override;

  // Raises "Recorder not attached" or "Recorder not available", or why the drive cannot be opened.
  void CheckReady();
  // Builds, writes and verifies the image's archive; returns quietly when a handler cancelled the build.
  // The medium is refused first, with a TDiscWriteException saying what is wrong with the disc, when
  // it cannot take a session: no disc, write-protected, unsuitable, or full/closed (unless
  // ForceOverwrite).
  void WriteImage(TDiscImage* image);
};

using TDiscImageImportEvent = std::function<void(
    QObject* sender, TFileSystem fileSystem, const QString& currentItem, int32_t importedDirectoryItems,
    int32_t totalDirectoryItems, int32_t importedFileItems, int32_t totalFileItems)>;
using TDiscImageUpdateEvent = std::function<void(QObject* sender, bool& cancel, const QString& currentFile,
                                                 int32_t copiedSectors, int32_t totalSectors)>;
using TDiscImageWriteEvent = std::function<void(QObject* sender, bool& cancel, int32_t blockSize,
                                                int32_t copiedBlocks, int32_t totalBlocks)>;

// Builds an ISO 9660 image with Rock Ridge, plus Joliet when asked for. UDF cannot be produced by the
// libraries this program uses: a UDF request is dropped and the image carries the other systems.
class TDiscImage : public TBurnComponent {
  Q_OBJECT
  Q_PROPERTY(TDiscWrite* DiscWrite READ DiscWrite WRITE SetDiscWrite)
  Q_PROPERTY(quint8 FileSystems READ FileSystemsBits WRITE SetFileSystemsBits)
  Q_PROPERTY(bool IncludeBaseDirectory MEMBER IncludeBaseDirectory)
  Q_PROPERTY(int MediaType READ MediaTypeValue WRITE SetMediaTypeValue)
  Q_PROPERTY(QString RemoveSourceTree MEMBER RemoveSourceTree)
  Q_PROPERTY(QString SourceTree MEMBER SourceTree)
  Q_PROPERTY(QString VolumeName MEMBER VolumeName)
  Q_PROPERTY(QString WorkingDirectory MEMBER WorkingDirectory)
 public:
  explicit TDiscImage(QObject* owner = nullptr) : TBurnComponent(owner) {}

  TDiscWrite* DiscWrite() const { return discWrite_; }
  void SetDiscWrite(TDiscWrite* value) { discWrite_ = value; }
  TFileSystems FileSystems{fsISO9660, fsJoliet, fsUDF};
  bool IncludeBaseDirectory = false;
  TMediaType MediaType = mtUnknown;  // no effect on Linux: the libraries choose the defaults
  QString RemoveSourceTree;
  QString SourceTree;
  QString VolumeName;
  QString WorkingDirectory;  // no effect on Linux: files are read while the image is written
  TDiscImageImportEvent OnImport;
  TDiscImageUpdateEvent OnUpdate;
  TDiscImageWriteEvent OnWrite;  // never raised: the image is written by the writer, not here

  void WriteToDisc();

 private:
  friend struct TDiscInternals;

  quint8 FileSystemsBits() const { return FileSystems; }
  void SetFileSystemsBits(quint8 v) { FileSystems = TFileSystems(v); }
  int MediaTypeValue() const { return MediaType; }
  void SetMediaTypeValue(int v) { MediaType = MediaTypeOfCode(v); }

  bool cancel_ = false;
  QPointer<TDiscWrite> discWrite_;  // forgotten when the writer goes
};

// One archive run: the image's WriteToDisc (build, write, verify) on a worker thread. The job borrows
// the image, its writer and their recorder; the owner leaves them alone until finished(). It reports
// through the job base: statusChanged with the text of each write action (ActionTexts, in TWriteAction
// order), progressChanged with the elapsed seconds of the estimated total. Cancel() reaches the
// library once, at the writer's next progress notice, and the run ends with its failure.
class TArchiveJob : public TSmProgressThread {
  Q_OBJECT
 public:
  explicit TArchiveJob(TDiscImage* image, QObject* parent = nullptr)
      : TSmProgressThread(parent), image_(image) {}
  ~TArchiveJob() override {
    Cancel();
    Wait();
  }

  std::array<QString, waVerifying + 1> ActionTexts;

 protected:
  void DoExecute() override;

 private:
  TDiscImage* image_;
};

// The image files offered after the machine's drives. The application passes them in (from its
// settings); the disc code reads no settings of its own.
void SetImageTargets(std::vector<std::string> paths);
