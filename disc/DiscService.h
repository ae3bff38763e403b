#pragma once
// Internal to disc/ (programs include disc/DiscComponents.h): the narrow drive interface the components
// sit on, the udev monitor of recorder and media notices, and the components' private ways into it.
//
// IDiscDrives lists recorders, inspects a medium (one struct of facts) and performs one archive: build
// the image of some folders, take over the disc's earlier sessions, write, verify. A drive is held only
// inside a call: Inspect and Archive let go of it before they return, after a failure too.
// CreateDiscService() gives the libburn/libisofs/libisoburn implementation unless a test installed one.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc/DiscTypes.h"
#include "support/Exceptions.h"

class QSocketNotifier;
class TUdevMonitor;
class TDiscRecorder;
class TDiscImage;

// A failed drive call, in the library's own words where it has any.
class EDiscServiceError : public Exception {
 public:
  using Exception::Exception;
};

struct DiscProgressNotice {
  int32_t ElapsedTime = 0, RemainingTime = 0, TotalSystemBuffer = 0, UsedSystemBuffer = 0,
          FreeSystemBuffer = 0, SectorCount = 0, StartLba = 0, LastReadLba = 0, LastWrittenLba = 0,
          TotalTime = 0;
  TWriteAction CurrentAction = waValidatingMedia;
};

struct DiscImportNotice {
  TFileSystem FileSystem = fsUnknown;
  std::string CurrentItem;
  int32_t ImportedDirectoryItems = 0, TotalDirectoryItems = 0, ImportedFileItems = 0, TotalFileItems = 0;
};

// The drive and its medium, as the components show them; profiles and mode pages as MMC numbers.
struct TMediumFacts {
  bool canLoadMedia = false, recorderSupported = false, mediaSupported = false, physicallyBlank = false,
       heuristicallyBlank = false, pureCav = false;
  std::vector<int32_t> supportedProfiles, currentProfiles, modePages;
  TMediaTypes mediaTypes;
  TMediaType mediaType = mtUnknown;
  TMediaStatus status;
  TWriteProtectStatus writeProtect;
  int32_t totalSectors = 0, freeSectors = 0, nextWritableAddress = 0, writeSpeed = 0;
};

// One archive. The handlers run on the caller's thread, inside Archive.
struct TArchiveRequest {
  std::vector<std::string> sourceTrees, removeTrees;  // folders to add; image paths to remove after
  bool includeBaseDirectory = false, joliet = true;
  std::string volumeName;  // empty: the library's own
  bool close = false, forceOverwrite = false, underrunProof = true, pureCav = false;
  int32_t speed = -1, verification = 0;  // kB/s (-1 best); 0 none, 1 quick, 2 full
  // Called with the medium's facts once the drive is free (a mounted disc unmounted) and held; throws
  // to refuse the medium before anything is read or written.
  std::function<void(const TMediumFacts&)> check;
  std::function<void(const DiscImportNotice&)> onImport;
  // File-adding notices: file, copied and total sectors. True stops the build after the current folder.
  std::function<bool(const std::string&, int32_t, int32_t)> onAdding;
  // Write and verification notices. True cancels: the library is told at once and Archive fails.
  std::function<bool(const DiscProgressNotice&)> onProgress;
};

class IDiscDrives {
 public:
  virtual ~IDiscDrives() = default;
  virtual std::vector<std::string> Recorders() = 0;  // identifiers, in list order
  // Throws when the recorder is no longer there.
  virtual TRecorderInfo Describe(const std::string& id) = 0;
  // Throws saying why when the drive cannot be opened.
  virtual TMediumFacts Inspect(const std::string& id) = 0;
  // Blocks for the whole archive; false when onAdding stopped the build (nothing written). Any
  // failure throws, a difference found by the read-back included.
  virtual bool Archive(const std::string& id, const TArchiveRequest& request) = 0;
  // Offers an image file as one more recorder (once) and gives its 1-based position in the list.
  virtual int32_t AddImageTarget(const std::string& path) = 0;
  // Recorders came or went: the next list is made afresh.
  virtual void Rescan() {}
};

// The service the components use. Throws when the libraries cannot be started.
std::shared_ptr<IDiscDrives> CreateDiscService();
// Tests install a factory of their own; an empty function restores the default.
void SetDiscServiceFactoryForTesting(std::function<std::shared_ptr<IDiscDrives>()> factory);

struct LibburnServiceOptions {
  bool ScanRealDrives = true;             // offer the machine's optical drives
  std::vector<std::string> ImageTargets;  // image files, offered after the drives
  int PollIntervalMs = 100;               // notice interval while a write runs
};
std::shared_ptr<IDiscDrives> CreateLibburnService(const LibburnServiceOptions& options);

// The recorder address for an image file as offered in the list: "stdio:" + absolute path.
std::string ImageTargetAddress(const std::string& path);
// The volume identifier written for a volume name: letters, digits and "_" stay, every other
// character (blanks and punctuation included) becomes "_", and the result is cut to 32 characters.
// Joliet readers show the first 16 of them.
std::string IsoVolumeIdOf(const std::string& utf8Name);

// The Drive character of a media notice: the kernel's optical drive /dev/srN is the letter 'A' + N
// (sr0 -> A, sr4 -> E, up to sr25 -> Z); any other device, or N above 25, gives character 0.
char DriveCharOf(const std::string& devnode);

// Recorder and media notices from udev, delivered on the thread that owns the monitor.
class TDiscDeviceMonitor : public QObject {
  Q_OBJECT
 public:
  explicit TDiscDeviceMonitor(QObject* parent = nullptr);
  ~TDiscDeviceMonitor() override;

  std::function<void(const std::string&devnode)> OnRecorderAdded, OnRecorderRemoved, OnMediaInserted,
      OnMediaRemoved;

  // Whether udev's notices reach this monitor (not in a container without udev, for example).
  bool Listening() const { return notifier_ != nullptr; }
  // The filter every udev event goes through; public so that it can be exercised without udev.
  void Dispatch(const std::string& action, const std::string& devnode, bool optical, bool mediaChange,
                bool hasMedia);

 private:
  void ReadEvents();

  std::unique_ptr<TUdevMonitor> monitor_;
  QSocketNotifier* notifier_ = nullptr;
};

// How the components reach the drive layer (DiscComponents.cpp); tests use it too.
struct TDiscInternals {
  // The drives of the recorder's list, made on first use; throws when the libraries cannot start.
  static IDiscDrives& Drives(TDiscRecorder& recorder);
  // The medium in the selected recorder; the drive is held only for the question. Throws "Recorder not
  // available" without one. Every medium question of the components comes here, and a drive can take
  // seconds to open: the answer is kept until the medium may have changed (a media notice, another
  // selection, an archive run; for an image file, a change of its size or times). A drive's facts are
  // kept only while udev's notices are heard.
  static TMediumFacts Inspect(TDiscRecorder& recorder);
  // Forgets the kept facts (any thread that owns the components at the moment).
  static void ForgetMedium(TDiscRecorder& recorder);
  // The udev monitor while an event handler is assigned, else none.
  static TDiscDeviceMonitor* MediaMonitor(TDiscRecorder& recorder);
  // The image part of an archive: the trees, the names, and the import and file-adding handlers (an
  // OnUpdate cancel stops the build after the folder under way).
  static void BuildImage(TDiscImage& image, TArchiveRequest& request);
};
