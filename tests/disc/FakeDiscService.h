#pragma once
// Scripted drives: recorders, medium facts and progress notices as a test wants them, and a log of
// what the components asked for.
#include <algorithm>
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
  bool failInit = false;  // the recorder is listed but gone when described
  bool failProduct = false;
};

struct FakeState {
  std::vector<FakeRecorderSpec> recorders;
  std::vector<std::string> log;
  TMediumFacts facts = [] {
    TMediumFacts f;
    f.recorderSupported = f.mediaSupported = f.heuristicallyBlank = f.physicallyBlank = true;
    f.mediaTypes = {mtCdR, mtCdRW, mtUnknown};
    f.mediaType = mtCdR;
    f.status = {msBlank};
    f.totalSectors = 1000, f.freeSectors = 900, f.nextWritableAddress = 100, f.writeSpeed = 4;
    return f;
  }();
  // One notice per entry.
  std::vector<TWriteAction> progressActions{waInitializingHardware, waWritingData, waWritingData,
                                            waFinalization};
  int cancels = 0, described = 0, imported = 0;
  bool holdUntilCancel = false;  // the write waits after its first notice until it is cancelled

  void Log(const std::string& s) { log.push_back(s); }
  bool Logged(const std::string& s) const { return std::find(log.begin(), log.end(), s) != log.end(); }
};

class FakeService : public IDiscDrives {
 public:
  explicit FakeService(std::shared_ptr<FakeState> s) : s_(std::move(s)) {}
  std::vector<std::string> Recorders() override {
    std::vector<std::string> ids;
    for (const FakeRecorderSpec& r : s_->recorders) ids.push_back(r.id);
    return ids;
  }
  TRecorderInfo Describe(const std::string& id) override {
    ++s_->described;
    for (const FakeRecorderSpec& r : s_->recorders) {
      if (r.id == id && !r.failInit && !r.failProduct)
        return {r.id, r.vendor, r.product, r.revision, {}, r.paths};
    }
    throw EDiscServiceError("unknown");
  }
  TMediumFacts Inspect(const std::string& id) override {
    s_->Log("Inspect=" + id);
    TMediumFacts f = s_->facts;
    for (const FakeRecorderSpec& r : s_->recorders) {
      if (r.id == id) f.supportedProfiles = f.currentProfiles = r.profiles, f.modePages = r.modePages;
    }
    return f;
  }
  // Logs the request, then plays the import, file-adding and progress notices the state asks for.
  bool Archive(const std::string& id, const TArchiveRequest& rq) override {
    struct Release {
      FakeState& s;
      ~Release() { s.Log("ReleaseDrive"); }
    } release{*s_};
    auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    s_->Log("Archive=" + id + " Close=" + flag(rq.close) + " Overwrite=" + flag(rq.forceOverwrite) +
            " UnderrunProof=" + flag(rq.underrunProof) + " Speed=" + std::to_string(rq.speed) +
            (rq.pureCav ? ",cav" : ",clv") + " Verification=" + std::to_string(rq.verification) +
            " Joliet=" + flag(rq.joliet) + " Volume=" + rq.volumeName);
    if (rq.check) rq.check(Inspect(id));
    if (!s_->facts.heuristicallyBlank && !rq.forceOverwrite) {
      ++s_->imported;
      if (rq.onImport) rq.onImport({fsJoliet, "/old.txt", 0, 0, 1, 1});
    }
    for (const std::string& f : rq.sourceTrees) {
      s_->Log("AddTree=" + f + (rq.includeBaseDirectory ? ",base" : ""));
      if (rq.onAdding && rq.onAdding(f + "/file", 1, 2)) return false;
    }
    for (const std::string& p : rq.removeTrees) s_->Log("RemoveTree=" + p);
    s_->Log(rq.onProgress ? "Write(sink)" : "Write(no sink)");
    bool cancelled = false;
    for (TWriteAction a : s_->progressActions) {
      DiscProgressNotice n;
      n.CurrentAction = a;
      n.TotalTime = 300;
      n.ElapsedTime = 12;
      n.RemainingTime = 288;
      for (int i = 0; rq.onProgress && (i == 0 || (s_->holdUntilCancel && !cancelled && i < 5000)); ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (rq.onProgress(n)) ++s_->cancels, s_->Log("CancelWrite"), cancelled = true;
      }
    }
    if (cancelled) throw EDiscServiceError("Burn run canceled");
    return true;
  }
  int32_t AddImageTarget(const std::string& path) override {
    s_->recorders.push_back({ImageTargetAddress(path), {}, "Image file"});
    return static_cast<int32_t>(s_->recorders.size());
  }

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
