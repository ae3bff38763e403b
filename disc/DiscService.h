#pragma once
// The seam between the disc components and the system's disc-burning libraries. The components only
// see these interfaces; CreateDiscService() gives the libburn/libisofs/libisoburn implementation unless
// a test has installed its own factory.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Exceptions.h"

// A failed service call, in the library's own words where it has any.
class EDiscServiceError : public Exception {
 public:
  using Exception::Exception;
};

struct DiscProgressNotice {
  int32_t ElapsedTime = 0, RemainingTime = 0, TotalSystemBuffer = 0, UsedSystemBuffer = 0,
          FreeSystemBuffer = 0, SectorCount = 0, StartLba = 0, LastReadLba = 0, LastWrittenLba = 0,
          TotalTime = 0;
  int32_t CurrentAction = 0;  // 0 validating … 5 finalizing, 6 completed, 7 verifying
};

struct DiscImportNotice {
  uint32_t FileSystems = 0;  // flags 1 ISO 9660, 2 Joliet, 4 UDF
  std::string CurrentItem;
  int32_t ImportedDirectoryItems = 0, TotalDirectoryItems = 0, ImportedFileItems = 0, TotalFileItems = 0;
};

// One recorder as the service knows it (identity and capabilities). Does not hold the drive open.
class IDiscRecorderObject {
 public:
  virtual ~IDiscRecorderObject() = default;
  virtual void InitializeDiscRecorder(const std::string& uniqueId) = 0;
  virtual std::string ActiveDiscRecorder() = 0;
  virtual std::string VendorId() = 0;
  virtual std::string ProductId() = 0;
  virtual std::string ProductRevision() = 0;
  virtual std::string VolumeName() = 0;
  virtual std::string ExclusiveAccessOwner() = 0;
  virtual std::vector<std::string> VolumePathNames() = 0;
  virtual bool DeviceCanLoadMedia() = 0;
  virtual int32_t LegacyDeviceNumber() = 0;
  virtual std::vector<int32_t> SupportedProfiles() = 0;
  virtual std::vector<int32_t> CurrentProfiles() = 0;
  virtual std::vector<int32_t> SupportedModePages() = 0;
  // Makes the drive free for a write (unmounts its disc); throws saying what to do when it cannot.
  virtual void PrepareForWrite() {}
};

// The finished image; its stream is what the data writer writes.
class IDiscImageStream {
 public:
  virtual ~IDiscImageStream() = default;
  // Produces the whole image into a plain file (used where no drive is involved).
  virtual void SaveToFile(const std::string& path) = 0;
};

class IDiscImageResult {
 public:
  virtual ~IDiscImageResult() = default;
  virtual std::shared_ptr<IDiscImageStream> ImageStream() = 0;
};

// What the writer hands the image builder so that the new session continues the disc's old ones.
using TMultisessionInterfaces = std::shared_ptr<void>;

class IDiscDataWriter {
 public:
  virtual ~IDiscDataWriter() = default;
  virtual void SetRecorder(IDiscRecorderObject* recorder) = 0;
  virtual bool IsRecorderSupported(IDiscRecorderObject* recorder) = 0;
  virtual bool IsCurrentMediaSupported(IDiscRecorderObject* recorder) = 0;
  virtual bool MediaPhysicallyBlank() = 0;
  virtual bool MediaHeuristicallyBlank() = 0;
  virtual std::vector<int32_t> SupportedMediaTypes() = 0;
  virtual int32_t CurrentPhysicalMediaType() = 0;
  virtual uint32_t CurrentMediaStatus() = 0;
  virtual uint32_t WriteProtectStatus() = 0;
  virtual int32_t TotalSectorsOnMedia() = 0;
  virtual int32_t FreeSectorsOnMedia() = 0;
  virtual int32_t NextWritableAddress() = 0;
  virtual int32_t CurrentWriteSpeed() = 0;
  virtual bool CurrentRotationTypeIsPureCAV() = 0;
  virtual void SetClientName(const std::string& name) = 0;
  virtual void SetDisableConsumerDvdCompatibilityMode(bool value) = 0;
  virtual void SetBufferUnderrunFreeDisabled(bool value) = 0;
  virtual void SetForceMediaToBeClosed(bool value) = 0;
  virtual void SetForceOverwrite(bool value) = 0;
  virtual void SetPostgapAlreadyInImage(bool value) = 0;
  virtual void SetWriteSpeed(int32_t speed, bool pureCav) = 0;
  virtual bool OffersVerification() = 0;
  virtual void SetVerificationLevel(int32_t level) = 0;
  virtual TMultisessionInterfaces MultisessionInterfaces() = 0;
  // Blocks until the image is written; `progress` (may be empty) is called on the caller's thread.
  virtual void Write(IDiscImageStream& stream,
                     const std::function<void(const DiscProgressNotice&)>& progress) = 0;
  virtual void CancelWrite() = 0;
  // Lets go of the drive (and unlocks its tray); the next question acquires it again.
  virtual void ReleaseDrive() = 0;
};

class IDiscImageBuilder {
 public:
  virtual ~IDiscImageBuilder() = default;
  virtual void ChooseImageDefaults(IDiscRecorderObject* recorder) = 0;
  virtual void ChooseImageDefaultsForMediaType(int32_t mediaType) = 0;
  virtual void SetMultisessionInterfaces(TMultisessionInterfaces interfaces) = 0;
  // Empty `notice` = no import sink.
  virtual void ImportFileSystem(const std::function<void(const DiscImportNotice&)>& notice) = 0;
  virtual void SetFileSystemsToCreate(uint32_t flags) = 0;
  virtual void SetWorkingDirectory(const std::string& folder) = 0;
  virtual void SetVolumeName(const std::string& name) = 0;
  // File-adding notices: current file, copied sectors, total sectors. Empty = unsubscribe.
  virtual void SetUpdateSink(std::function<void(const std::string&, int32_t, int32_t)> sink) = 0;
  virtual void AddTree(const std::string& folder, bool includeBaseDirectory) = 0;
  virtual void RemoveTree(const std::string& imagePath) = 0;
  virtual std::shared_ptr<IDiscImageResult> CreateResultImage() = 0;
};

// Device-change notices of the enumerator: added (true) or removed, with the recorder's identifier.
using TDeviceNoticeSink = std::function<void(bool added, const std::string& uniqueId)>;

class IDiscService {
 public:
  virtual ~IDiscService() = default;
  virtual int32_t Count() = 0;
  virtual std::string Item(int32_t index) = 0;  // 0-based
  virtual bool IsSupportedEnvironment() = 0;
  // Offers an image file as one more recorder (once) and gives its 1-based position in the list.
  virtual int32_t AddImageTarget(const std::string& path) {
    throw EDiscServiceError("This disc service cannot write image files: " + path);
  }
  virtual std::unique_ptr<IDiscRecorderObject> CreateRecorder() = 0;
  virtual std::unique_ptr<IDiscDataWriter> CreateDataWriter() = 0;
  virtual std::unique_ptr<IDiscImageBuilder> CreateImageBuilder() = 0;
  // Subscription for device notices; returns a cookie, 0 when not possible.
  virtual int Subscribe(TDeviceNoticeSink sink) = 0;
  virtual void Unsubscribe(int cookie) = 0;
};

// The service the components use. Throws when the libraries cannot be started.
std::shared_ptr<IDiscService> CreateDiscService();
// Tests install a factory of their own; an empty function restores the default.
void SetDiscServiceFactoryForTesting(std::function<std::shared_ptr<IDiscService>()> factory);

// Options of the libburn service itself.
struct LibburnServiceOptions {
  bool ScanRealDrives = true;             // offer the machine's optical drives
  std::vector<std::string> ImageTargets;  // image files, offered after the drives
  int PollIntervalMs = 100;               // drive status polling while a write runs
};
std::shared_ptr<IDiscService> CreateLibburnService(const LibburnServiceOptions& options);

// The recorder address for an image file as offered in the list: "stdio:" + absolute path.
std::string ImageTargetAddress(const std::string& path);
// The volume identifier written for a volume name: letters, digits and "_" stay, every other
// character (blanks and punctuation included) becomes "_", and the result is cut to 32 characters.
// Joliet readers show the first 16 of them.
std::string IsoVolumeIdOf(const std::string& utf8Name);
