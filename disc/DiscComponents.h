#pragma once
// The non-visual disc components: a recorder chooser, the writer bound to it, and the image builder
// that feeds the writer. They run on the UI thread; service objects are created on first use and
// dropped when the selection changes.
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "disc/DiscService.h"
#include "disc/DiscTypes.h"
#include "jobs/SmProgressThread.h"
#include "support/Exceptions.h"

class TDiscWrite;
class TDiscImage;
class TDiscDeviceMonitor;

class TDiscRecorderException : public Exception {
 public:
  using Exception::Exception;
};
class TDiscWriteException : public Exception {
 public:
  using Exception::Exception;
};
class TDiscImageException : public Exception {
 public:
  using Exception::Exception;
};

class TBurnComponent : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString About READ About WRITE SetAbout)
 public:
  explicit TBurnComponent(QObject* owner = nullptr) : QObject(owner) {}
  QString About() const;
  void SetAbout(const QString&) {}
  virtual void ResetFormat() {}
  // Set while a form designer hosts the component: service failures then read as empty values.
  bool Designing() const { return designing_; }
  void SetDesigning(bool value) { designing_ = value; }
  // Where a failure inside an event handler ends up (the event source must not throw back into the
  // notifier); the default writes it as a warning.
  static std::function<void(const std::exception&)>& EventErrorHandler();

 private:
  bool designing_ = false;
};

using TDiscRecorderDeviceEvent = std::function<void(QObject* sender, const QString& uniqueId)>;
using TDiscRecorderMediaEvent = std::function<void(QObject* sender, char drive)>;

class TDiscRecorder : public TBurnComponent {
  Q_OBJECT
  Q_PROPERTY(bool CanLoadMedia READ CanLoadMedia)
  Q_PROPERTY(quint32 CurrentProfiles READ CurrentProfilesBits)
  Q_PROPERTY(qint32 Device READ Device WRITE SetDevice)
  Q_PROPERTY(qint32 DeviceCount READ DeviceCount)
  Q_PROPERTY(QString DeviceName READ DeviceName WRITE SetDeviceName)
  Q_PROPERTY(bool DeviceSupported READ DeviceSupported)
  Q_PROPERTY(QString ExclusiveAccessOwner READ ExclusiveAccessOwner)
  Q_PROPERTY(qint32 LegacyDeviceNumber READ LegacyDeviceNumber)
  Q_PROPERTY(QString Product READ Product WRITE SetProduct)
  Q_PROPERTY(QString ProductRevision READ ProductRevision)
  Q_PROPERTY(bool SupportedEnvironment READ SupportedEnvironment)
  Q_PROPERTY(quint16 SupportedModePages READ SupportedModePagesBits)
  Q_PROPERTY(quint32 SupportedProfiles READ SupportedProfilesBits)
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
  QString DeviceName();
  void SetDeviceName(const QString& value);
  bool DeviceSupported();
  QString ExclusiveAccessOwner();
  int32_t LegacyDeviceNumber();
  QString Product();
  void SetProduct(const QString& value);
  QString ProductRevision();
  bool SupportedEnvironment();
  TModePages SupportedModePages();
  TProfiles SupportedProfiles();
  QString Vendor();
  QString VolumeName();
  QString VolumePathNames();

  const TDiscRecorderDeviceEvent& OnDeviceAdded() const { return onDeviceAdded_; }
  const TDiscRecorderDeviceEvent& OnDeviceRemoved() const { return onDeviceRemoved_; }
  const TDiscRecorderMediaEvent& OnMediaInsertion() const { return onMediaInsertion_; }
  const TDiscRecorderMediaEvent& OnMediaRemoval() const { return onMediaRemoval_; }
  void SetOnDeviceAdded(TDiscRecorderDeviceEvent handler);
  void SetOnDeviceRemoved(TDiscRecorderDeviceEvent handler);
  void SetOnMediaInsertion(TDiscRecorderMediaEvent handler);
  void SetOnMediaRemoval(TDiscRecorderMediaEvent handler);

  QString UniqueIdOf(int32_t index);
  std::unique_ptr<IDiscRecorderObject> OpenRecorder(int32_t index);
  QString ProductOf(int32_t index);
  IDiscRecorderObject* RecorderObject();
  void CheckAvailable();
  void AttachWriter(TDiscWrite* writer);
  void DetachWriter(TDiscWrite* writer);
  const std::vector<TDiscWrite*>& Writers() const { return writers_; }

  // The service enumerator, created on first use (none only in the designing state).
  IDiscService* Enumerator();
  std::shared_ptr<IDiscService> EnumeratorShared();
  bool DeviceNoticesSubscribed() const { return cookie_ != 0; }
  TDiscDeviceMonitor* MediaMonitor() const { return mediaMonitor_; }

 private:
  quint32 CurrentProfilesBits() { return CurrentProfiles().ToBits(); }
  quint32 SupportedProfilesBits() { return SupportedProfiles().ToBits(); }
  quint16 SupportedModePagesBits() { return SupportedModePages().ToBits(); }
  void UpdateDeviceSubscription();
  void UpdateMediaMonitor();
  void DeviceNotice(bool added, const std::string& uniqueId);
  void MediaNotice(bool inserted, const std::string& devnode);

  std::vector<TDiscWrite*> writers_;
  std::shared_ptr<IDiscService> enumerator_;
  std::unique_ptr<IDiscRecorderObject> recorderObject_;
  int32_t device_ = 1;
  int cookie_ = 0;
  TDiscRecorderDeviceEvent onDeviceAdded_, onDeviceRemoved_;
  TDiscRecorderMediaEvent onMediaInsertion_, onMediaRemoval_;
  TDiscDeviceMonitor* mediaMonitor_ = nullptr;
};

class TDiscFormat : public TBurnComponent {
  Q_OBJECT
  Q_PROPERTY(TDiscRecorder* Recorder READ Recorder WRITE SetRecorder)
  Q_PROPERTY(bool CurrentMediaSupported READ CurrentMediaSupported)
  Q_PROPERTY(bool MediaPhysicallyBlank READ MediaPhysicallyBlank)
  Q_PROPERTY(bool MediaHeuristicallyBlank READ MediaHeuristicallyBlank)
  Q_PROPERTY(bool RecorderSupported READ RecorderSupported)
  Q_PROPERTY(quint32 SupportedMediaTypes READ SupportedMediaTypesBits)
 public:
  explicit TDiscFormat(QObject* owner = nullptr) : TBurnComponent(owner) {}
  TDiscRecorder* Recorder() const { return recorder_; }
  virtual void SetRecorder(TDiscRecorder* value) { recorder_ = value; }
  virtual IDiscDataWriter* FormatObject() { return nullptr; }
  IDiscRecorderObject* RecorderObject() { return recorder_ ? recorder_->RecorderObject() : nullptr; }

  bool CurrentMediaSupported();
  bool MediaPhysicallyBlank();
  bool MediaHeuristicallyBlank();
  bool RecorderSupported();
  TMediaTypes SupportedMediaTypes();

 protected:
  // Runs a service read; in the designing state a failure gives `fallback` instead.
  template <typename T, typename F>
  T Read(F&& read, T fallback) {
    if (!Designing()) return read();
    try {
      return read();
    } catch (const std::exception&) {
      return fallback;
    }
  }
  quint32 SupportedMediaTypesBits() { return SupportedMediaTypes().ToBits(); }

  TDiscRecorder* recorder_ = nullptr;
};

using TDiscWriteUpdateEvent = std::function<void(
    QObject* sender, TWriteAction currentAction, bool& cancel, int32_t totalTime, int32_t elapsedTime,
    int32_t remainingTime, int32_t totalSystemBuffer, int32_t usedSystemBuffer, int32_t freeSystemBuffer,
    int32_t sectorCount, int32_t startLba, int32_t lastReadLba, int32_t lastWrittenLba)>;

class TDiscWrite : public TDiscFormat {
  Q_OBJECT
  Q_PROPERTY(bool BufferUnderrunFree MEMBER BufferUnderrunFree)
  Q_PROPERTY(QString ClientName MEMBER ClientName)
  Q_PROPERTY(bool ConsumerDvdCompatible MEMBER ConsumerDvdCompatible)
  Q_PROPERTY(bool FinalizeMedia MEMBER FinalizeMedia)
  Q_PROPERTY(bool ForceOverwrite MEMBER ForceOverwrite)
  Q_PROPERTY(bool PostgapInImage MEMBER PostgapInImage)
  Q_PROPERTY(int Verification READ VerificationValue WRITE SetVerificationValue)
  Q_PROPERTY(qint32 WriteSpeed MEMBER WriteSpeed)
  Q_PROPERTY(bool WriteCav MEMBER WriteCav)
  Q_PROPERTY(int CurrentMediaType READ CurrentMediaTypeValue)
  Q_PROPERTY(quint16 CurrentMediaStatus READ CurrentMediaStatusBits)
  Q_PROPERTY(bool CurrentWriteCav READ CurrentWriteCav)
  Q_PROPERTY(qint32 CurrentWriteSpeed READ CurrentWriteSpeed)
  Q_PROPERTY(qint32 FreeSectors READ FreeSectors)
  Q_PROPERTY(qint32 TotalSectors READ TotalSectors)
  Q_PROPERTY(qint32 NextWritableAddress READ NextWritableAddress)
  Q_PROPERTY(quint8 WriteProtectStatus READ WriteProtectStatusBits)
 public:
  explicit TDiscWrite(QObject* owner = nullptr);
  ~TDiscWrite() override;

  bool BufferUnderrunFree = true;
  QString ClientName = QStringLiteral("Orvanel");
  bool ConsumerDvdCompatible = true;
  bool FinalizeMedia = false;
  bool ForceOverwrite = false;
  bool PostgapInImage = false;
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

  void ResetFormat() override;
  void SetRecorder(TDiscRecorder* value) override;
  IDiscDataWriter* FormatObject() override;

  void CheckReady();
  // Raises TDiscWriteException, saying what is wrong with the disc, when the medium cannot take a
  // session: no disc, write-protected, unsuitable, or full/closed (unless ForceOverwrite).
  void CheckMedium();
  void Configure();
  void WriteStream(IDiscImageStream& stream);
  void WriteImage(TDiscImage* image);

 private:
  int VerificationValue() const { return Verification; }
  void SetVerificationValue(int v) { Verification = static_cast<TVerification>(v); }
  int CurrentMediaTypeValue() { return CurrentMediaType(); }
  quint16 CurrentMediaStatusBits() { return CurrentMediaStatus().ToBits(); }
  quint8 WriteProtectStatusBits() { return WriteProtectStatus().ToBits(); }
  void Progress(const DiscProgressNotice& notice);

  bool cancelLatch_ = false;
  std::unique_ptr<IDiscDataWriter> formatObject_;
  QMetaObject::Connection recorderGone_;
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
  void SetDiscWrite(TDiscWrite* value);
  TFileSystems FileSystems{fsISO9660, fsJoliet, fsUDF};
  bool IncludeBaseDirectory = false;
  TMediaType MediaType = mtUnknown;
  QString RemoveSourceTree;
  QString SourceTree;
  QString VolumeName;
  QString WorkingDirectory;
  TDiscImageImportEvent OnImport;
  TDiscImageUpdateEvent OnUpdate;
  TDiscImageWriteEvent OnWrite;  // kept for completeness; this component never raises it

  void WriteToDisc();
  std::shared_ptr<IDiscImageResult> BuildImage();
  // The service the image builder comes from when no writer brings one (tests may set it).
  void SetService(std::shared_ptr<IDiscService> service) { service_ = std::move(service); }

 private:
  quint8 FileSystemsBits() const { return FileSystems.ToBits(); }
  void SetFileSystemsBits(quint8 v) { FileSystems = TFileSystems::FromBits(v); }
  int MediaTypeValue() const { return MediaType; }
  void SetMediaTypeValue(int v) { MediaType = MediaTypeOfCode(v); }

  bool cancel_ = false;
  TDiscWrite* discWrite_ = nullptr;
  QMetaObject::Connection writerGone_;
  std::shared_ptr<IDiscService> service_;
};

// One archive run: the image's WriteToDisc (build, write, verify) on a worker thread. The job borrows
// the image, its writer and their recorder; the owner leaves them alone until finished(). Cancel()
// reaches the library once, at the writer's next progress notice, and the run ends with its failure.
class TArchiveJob : public TSmProgressThread {
  Q_OBJECT
 public:
  explicit TArchiveJob(TDiscImage* image, QObject* parent = nullptr)
      : TSmProgressThread(parent), image_(image) {}
  ~TArchiveJob() override;

 signals:
  // The writer's progress notices, delivered on the owner's thread.
  void updated(int action, int totalTime, int elapsedTime, int remainingTime);

 protected:
  void DoExecute() override;

 private:
  TDiscImage* image_;
};

// Splits a ";"-separated list from the left; items are not trimmed and empty items are kept (the
// callers skip them, with their per-item checks still made).
std::vector<QString> SplitTreeList(const QString& list);
