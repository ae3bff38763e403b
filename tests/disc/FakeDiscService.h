#pragma once
// A scripted disc service: recorders, media answers and progress notices as a test wants them, and a
// log of every call the components make.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "disc/DiscService.h"

namespace disctest {

struct FakeRecorderSpec {
  std::string id, vendor, product, revision;
  std::vector<std::string> paths;
  std::vector<int32_t> profiles, modePages;
  bool failInit = false;
  bool failProduct = false;
};

struct FakeState {
  std::vector<FakeRecorderSpec> recorders;
  std::vector<std::string> log;
  // Media answers of every data writer.
  bool heuristicallyBlank = true;
  uint32_t mediaStatus = 0x0002;
  uint32_t writeProtect = 0;
  int32_t mediaType = 2;
  std::vector<int32_t> progressActions{2, 4, 4, 5};  // one notice per entry
  bool failVerificationLevel = false;
  int cancels = 0;
  int writersCreated = 0;
  int recordersCreated = 0;
  int imported = 0;
  bool writeFailsAfterCancel = true;
  bool holdUntilCancel = false;  // the write waits after its first notice until it is cancelled

  void Log(const std::string& s) { log.push_back(s); }
  bool Logged(const std::string& s) const {
    for (const std::string& l : log) {
      if (l == s) return true;
    }
    return false;
  }
};

class FakeStream : public IDiscImageStream,
                   public IDiscImageResult,
                   public std::enable_shared_from_this<FakeStream> {
 public:
  std::shared_ptr<IDiscImageStream> ImageStream() override {
    return nullStream ? nullptr : shared_from_this();
  }
  void SaveToFile(const std::string&) override {}
  bool nullStream = false;
};

class FakeRecorder : public IDiscRecorderObject {
 public:
  explicit FakeRecorder(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  void InitializeDiscRecorder(const std::string& id) override {
    for (const FakeRecorderSpec& r : s_->recorders) {
      if (r.id == id) {
        if (r.failInit) throw EDiscServiceError("cannot initialise");
        spec_ = r;
        return;
      }
    }
    throw EDiscServiceError("unknown");
  }
  std::string ActiveDiscRecorder() override { return spec_.id; }
  std::string VendorId() override { return spec_.vendor; }
  std::string ProductId() override {
    if (spec_.failProduct) throw EDiscServiceError("no product");
    return spec_.product;
  }
  std::string ProductRevision() override { return spec_.revision; }
  std::string VolumeName() override { return {}; }
  std::string ExclusiveAccessOwner() override { return {}; }
  std::vector<std::string> VolumePathNames() override { return spec_.paths; }
  bool DeviceCanLoadMedia() override { return true; }
  int32_t LegacyDeviceNumber() override { return 0; }
  std::vector<int32_t> SupportedProfiles() override { return spec_.profiles; }
  std::vector<int32_t> CurrentProfiles() override { return spec_.profiles; }
  std::vector<int32_t> SupportedModePages() override { return spec_.modePages; }

 private:
  std::shared_ptr<FakeState> s_;
  FakeRecorderSpec spec_;
};

class FakeWriter : public IDiscDataWriter {
 public:
  explicit FakeWriter(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  void SetRecorder(IDiscRecorderObject* r) override { s_->Log("writer.recorder=" + r->ActiveDiscRecorder()); }
  bool IsRecorderSupported(IDiscRecorderObject*) override { return true; }
  bool IsCurrentMediaSupported(IDiscRecorderObject*) override { return true; }
  bool MediaPhysicallyBlank() override { return s_->heuristicallyBlank; }
  bool MediaHeuristicallyBlank() override { return s_->heuristicallyBlank; }
  std::vector<int32_t> SupportedMediaTypes() override { return {2, 3, 77}; }
  int32_t CurrentPhysicalMediaType() override { return s_->mediaType; }
  uint32_t CurrentMediaStatus() override { return s_->mediaStatus; }
  uint32_t WriteProtectStatus() override { return s_->writeProtect; }
  int32_t TotalSectorsOnMedia() override { return 1000; }
  int32_t FreeSectorsOnMedia() override { return 900; }
  int32_t NextWritableAddress() override { return 100; }
  int32_t CurrentWriteSpeed() override { return 4; }
  bool CurrentRotationTypeIsPureCAV() override { return false; }
  void SetClientName(const std::string& n) override { s_->Log("ClientName=" + n); }
  void SetDisableConsumerDvdCompatibilityMode(bool v) override {
    s_->Log(std::string("DisableDvdCompat=") + (v ? "1" : "0"));
  }
  void SetBufferUnderrunFreeDisabled(bool v) override {
    s_->Log(std::string("UnderrunFreeDisabled=") + (v ? "1" : "0"));
  }
  void SetForceMediaToBeClosed(bool v) override { s_->Log(std::string("Close=") + (v ? "1" : "0")); }
  void SetForceOverwrite(bool v) override { s_->Log(std::string("Overwrite=") + (v ? "1" : "0")); }
  void SetPostgapAlreadyInImage(bool v) override { s_->Log(std::string("Postgap=") + (v ? "1" : "0")); }
  void SetWriteSpeed(int32_t sp, bool cav) override {
    s_->Log("Speed=" + std::to_string(sp) + (cav ? ",cav" : ",clv"));
  }
  bool OffersVerification() override { return true; }
  void SetVerificationLevel(int32_t l) override {
    s_->Log("Verification=" + std::to_string(l));
    if (s_->failVerificationLevel) throw EDiscServiceError("no verification");
  }
  TMultisessionInterfaces MultisessionInterfaces() override { return std::make_shared<int>(1); }
  void Write(IDiscImageStream&, const std::function<void(const DiscProgressNotice&)>& progress) override {
    s_->Log(progress ? "Write(sink)" : "Write(no sink)");
    bool cancelled = false;
    const int before = s_->cancels;
    for (int32_t a : s_->progressActions) {
      DiscProgressNotice n;
      n.CurrentAction = a;
      n.TotalTime = 300;
      n.ElapsedTime = 12;
      n.RemainingTime = 288;
      if (progress) progress(n);
      for (int i = 0; s_->holdUntilCancel && progress && s_->cancels == before && i < 5000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        progress(n);
      }
      cancelled = s_->cancels > before;
    }
    if (cancelled && s_->writeFailsAfterCancel) throw EDiscServiceError("Burn run canceled");
  }
  void CancelWrite() override {
    ++s_->cancels;
    s_->Log("CancelWrite");
  }
  void ReleaseDrive() override { s_->Log("ReleaseDrive"); }

 private:
  std::shared_ptr<FakeState> s_;
};

class FakeBuilder : public IDiscImageBuilder {
 public:
  explicit FakeBuilder(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  ~FakeBuilder() override { s_->Log("builder released"); }
  void ChooseImageDefaults(IDiscRecorderObject*) override { s_->Log("ChooseImageDefaults"); }
  void ChooseImageDefaultsForMediaType(int32_t t) override {
    s_->Log("DefaultsForMediaType=" + std::to_string(t));
  }
  void SetMultisessionInterfaces(TMultisessionInterfaces) override { s_->Log("MultisessionInterfaces"); }
  void ImportFileSystem(const std::function<void(const DiscImportNotice&)>& notice) override {
    s_->Log(notice ? "Import(sink)" : "Import(no sink)");
    ++s_->imported;
    if (notice) {
      DiscImportNotice n;
      n.FileSystems = 2 | 4;
      n.CurrentItem = "/old.txt";
      n.ImportedFileItems = 1;
      n.TotalFileItems = 1;
      notice(n);
    }
  }
  void SetFileSystemsToCreate(uint32_t f) override { s_->Log("FileSystems=" + std::to_string(f)); }
  void SetWorkingDirectory(const std::string& d) override { s_->Log("WorkingDirectory=" + d); }
  void SetVolumeName(const std::string& n) override { s_->Log("VolumeName=" + n); }
  void SetUpdateSink(std::function<void(const std::string&, int32_t, int32_t)> sink) override {
    sink_ = std::move(sink);
    s_->Log(sink_ ? "sink on" : "sink off");
  }
  void AddTree(const std::string& f, bool base) override {
    s_->Log("AddTree=" + f + (base ? ",base" : ""));
    if (sink_) sink_(f + "/file", 1, 2);
  }
  void RemoveTree(const std::string& p) override { s_->Log("RemoveTree=" + p); }
  std::shared_ptr<IDiscImageResult> CreateResultImage() override {
    s_->Log("CreateResultImage");
    auto r = std::make_shared<FakeStream>();
    r->nullStream = nullStream;
    return r;
  }
  bool nullStream = false;

 private:
  std::shared_ptr<FakeState> s_;
  std::function<void(const std::string&, int32_t, int32_t)> sink_;
};

class FakeService : public IDiscService {
 public:
  explicit FakeService(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  int32_t Count() override { return static_cast<int32_t>(s_->recorders.size()); }
  std::string Item(int32_t i) override { return s_->recorders.at(static_cast<size_t>(i)).id; }
  bool IsSupportedEnvironment() override { return true; }
  std::unique_ptr<IDiscRecorderObject> CreateRecorder() override {
    ++s_->recordersCreated;
    return std::make_unique<FakeRecorder>(s_);
  }
  std::unique_ptr<IDiscDataWriter> CreateDataWriter() override {
    ++s_->writersCreated;
    return std::make_unique<FakeWriter>(s_);
  }
  std::unique_ptr<IDiscImageBuilder> CreateImageBuilder() override {
    return std::make_unique<FakeBuilder>(s_);
  }
  int Subscribe(TDeviceNoticeSink sink) override {
    sink_ = std::move(sink);
    s_->Log("Subscribe");
    return 7;
  }
  void Unsubscribe(int cookie) override {
    s_->Log("Unsubscribe=" + std::to_string(cookie));
    sink_ = nullptr;
  }
  TDeviceNoticeSink sink_;

 private:
  std::shared_ptr<FakeState> s_;
};

// Installs a fake service for the lifetime of the object; gives access to the last one created.
struct FakeServiceScope {
  std::shared_ptr<FakeState> state = std::make_shared<FakeState>();
  std::shared_ptr<FakeService> last;
  FakeServiceScope() {
    SetDiscServiceFactoryForTesting([this] {
      last = std::make_shared<FakeService>(state);
      return last;
    });
  }
  ~FakeServiceScope() { SetDiscServiceFactoryForTesting({}); }
};

}  // namespace disctest
