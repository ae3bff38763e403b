#include "disc/DiscComponents.h"

#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <sys/stat.h>

#include "disc/DiscService.h"
#include "support/TextUtils.h"

namespace {
QString Wide(const std::string& s) { return QString::fromStdString(s); }
std::string Narrow(const QString& s) { return s.toStdString(); }

}  // namespace

namespace {

bool IsImageId(const std::string& id) { return id.rfind("stdio:", 0) == 0; }

// What tells that an image file may have changed under kept facts: its size and times (a write, or a
// change of its permissions); all -1 while it does not exist.
std::array<long long, 3> ImageStamp(const std::string& id) {
  struct stat st {};
  if (::stat(id.c_str() + 6, &st) != 0) return {-1, -1, -1};
  return {st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
}

}  // namespace

// The drive layer of a recorder, the notices of its handlers, and the facts of the medium last asked about.
struct TDiscRecorder::TDrives {
  std::shared_ptr<IDiscDrives> service;
  // While any of the four events has a handler, or a drive's facts are kept.
  std::unique_ptr<TDiscDeviceMonitor> monitor;
  std::optional<TMediumFacts> facts;
  std::string factsId;
  std::array<long long, 3> factsStamp{};
  bool KeepsDriveFacts() const { return facts && !IsImageId(factsId); }
};

std::function<void(const std::exception&)>& TBurnComponent::EventErrorHandler() {
  static std::function<void(const std::exception&)> handler = [](const std::exception& e) {
    qWarning("%s", e.what());
  };
  return handler;
}

TDiscRecorder::TDiscRecorder(QObject* owner) : TBurnComponent(owner), drives_(std::make_unique<TDrives>()) {}
TDiscRecorder::~TDiscRecorder() {
  for (TDiscWrite* w : writers_) w->ResetFormat();
}

IDiscDrives& TDiscInternals::Drives(TDiscRecorder& r) {
  if (!r.drives_->service) r.drives_->service = CreateDiscService();
  return *r.drives_->service;
}

TMediumFacts TDiscInternals::Inspect(TDiscRecorder& r) {
  r.CheckAvailable();
  const std::string id = r.recorderObject_->id;
  TDiscRecorder::TDrives& k = *r.drives_;
  const bool image = IsImageId(id);
  const std::array<long long, 3> stamp = image ? ImageStamp(id) : std::array<long long, 3>{};
  if (k.facts && k.factsId == id && k.factsStamp == stamp) return *k.facts;
  TMediumFacts facts = Drives(r).Inspect(id);
  if (!image) r.UpdateMonitor(true);
  if (image || k.monitor->Listening()) {
    k.facts = facts;
    k.factsId = id;
    k.factsStamp = stamp;
  }
  return facts;
}

void TDiscInternals::ForgetMedium(TDiscRecorder& r) { r.drives_->facts.reset(); }

TDiscDeviceMonitor* TDiscInternals::MediaMonitor(TDiscRecorder& r) { return r.drives_->monitor.get(); }

bool TDiscRecorder::SupportedEnvironment() {
  try {
    TDiscInternals::Drives(*this);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool TDiscRecorder::DeviceNoticesSubscribed() const {
  return drives_->monitor && (onDeviceAdded_ || onDeviceRemoved_);
}

QString TDiscRecorder::UniqueIdOf(int32_t index) {
  if (index < 1) return {};
  const std::vector<std::string> ids = TDiscInternals::Drives(*this).Recorders();
  return index <= static_cast<int32_t>(ids.size()) ? Wide(ids[static_cast<size_t>(index - 1)]) : QString();
}

std::unique_ptr<TRecorderInfo> TDiscRecorder::OpenRecorder(int32_t index) {
  const QString id = UniqueIdOf(index);
  if (id.isEmpty()) return nullptr;
  try {
    return std::make_unique<TRecorderInfo>(TDiscInternals::Drives(*this).Describe(Narrow(id)));
  } catch (const std::exception&) {
    return nullptr;
  }
}

QString TDiscRecorder::ProductOf(int32_t index) {
  const std::unique_ptr<TRecorderInfo> r = OpenRecorder(index);
  return r ? Wide(r->product) : QString();
}

const TRecorderInfo* TDiscRecorder::RecorderObject() {
  if (!recorderObject_) recorderObject_ = OpenRecorder(device_);
  return recorderObject_.get();
}

int32_t TDiscRecorder::AddImageTarget(const QString& path) {
  return TDiscInternals::Drives(*this).AddImageTarget(QFile::encodeName(path).toStdString());
}

void TDiscRecorder::AttachWriter(TDiscWrite* writer) {
  if (writer && std::find(writers_.begin(), writers_.end(), writer) == writers_.end())
    writers_.push_back(writer);
}

void TDiscRecorder::SetDevice(int32_t value) {
  if (value == device_) return;
  device_ = value;
  recorderObject_.reset();
  drives_->facts.reset();
  for (TDiscWrite* w : writers_) w->ResetFormat();
}

int32_t TDiscRecorder::DeviceCount() {
  return static_cast<int32_t>(TDiscInternals::Drives(*this).Recorders().size());
}

bool TDiscRecorder::CanLoadMedia() { return RecorderObject() && TDiscInternals::Inspect(*this).canLoadMedia; }
TProfiles TDiscRecorder::CurrentProfiles() {
  return RecorderObject() ? ProfilesOf(TDiscInternals::Inspect(*this).currentProfiles) : TProfiles();
}
int32_t TDiscRecorder::LegacyDeviceNumber() { return RecorderObject() ? recorderObject_->legacyNumber : 0; }
TModePages TDiscRecorder::SupportedModePages() {
  return RecorderObject() ? ModePagesOf(TDiscInternals::Inspect(*this).modePages) : TModePages();
}
TProfiles TDiscRecorder::SupportedProfiles() {
  return RecorderObject() ? ProfilesOf(TDiscInternals::Inspect(*this).supportedProfiles) : TProfiles();
}
QString TDiscRecorder::VolumePathNames() {
  QStringList parts;
  for (const std::string& p : RecorderObject() ? recorderObject_->mountPaths : std::vector<std::string>())
    parts << Wide(p);
  return parts.join(QLatin1Char(','));
}

void TDiscRecorder::SetDeviceName(const QString& value) {
  if (value != DeviceName()) SelectFirst(value, &TDiscRecorder::UniqueIdOf);
}
void TDiscRecorder::SetProduct(const QString& value) {
  if (value != Product()) SelectFirst(value, &TDiscRecorder::ProductOf);
}
// The first recorder whose `of` is the value; none leaves the selection as it is.
void TDiscRecorder::SelectFirst(const QString& value, QString (TDiscRecorder::*of)(int32_t)) {
  const int32_t count = DeviceCount();
  for (int32_t i = 1; i <= count; ++i)
    if ((this->*of)(i) == value) return SetDevice(i);
}

// Handlers are called with this component as the sender; what they throw goes to the error handler.
template <typename H, typename... A>
void TDiscRecorder::Raise(const H& handler, A... args) {
  try {
    if (handler) handler(this, args...);
  } catch (const std::exception& e) {
    EventErrorHandler()(e);
  }
}

// One udev monitor serves the four events and the kept facts of a drive's medium. A recorder that
// comes or goes makes the next list fresh; any notice forgets the kept facts.
void TDiscRecorder::UpdateMonitor(bool forMediumFacts) {
  std::unique_ptr<TDiscDeviceMonitor>& monitor = drives_->monitor;
  const bool wanted = onDeviceAdded_ || onDeviceRemoved_ || onMediaInsertion_ || onMediaRemoval_ ||
                      forMediumFacts || drives_->KeepsDriveFacts();
  if (wanted && !monitor) {
    monitor = std::make_unique<TDiscDeviceMonitor>();
    auto device = [this](bool added) {
      return [this, added](const std::string& node) {
        drives_->facts.reset();
        if (drives_->service) drives_->service->Rescan();
        Raise(added ? onDeviceAdded_ : onDeviceRemoved_, Wide(node));
      };
    };
    auto media = [this](bool inserted) {
      return [this, inserted](const std::string& node) {
        drives_->facts.reset();
        Raise(inserted ? onMediaInsertion_ : onMediaRemoval_, DriveCharOf(node));
      };
    };
    monitor->OnRecorderAdded = device(true);
    monitor->OnRecorderRemoved = device(false);
    monitor->OnMediaInserted = media(true);
    monitor->OnMediaRemoved = media(false);
  } else if (!wanted) {
    monitor.reset();
  }
}

template <typename T, typename F>
T TDiscFormat::Ask(T none, F&& read) {
  if (!recorder_ || !recorder_->RecorderObject()) return none;
  return static_cast<T>(std::invoke(read, TDiscInternals::Inspect(*recorder_)));
}

bool TDiscFormat::CurrentMediaSupported() { return Ask(false, &TMediumFacts::mediaSupported); }
bool TDiscFormat::MediaPhysicallyBlank() { return Ask(false, &TMediumFacts::physicallyBlank); }
bool TDiscFormat::MediaHeuristicallyBlank() { return Ask(false, &TMediumFacts::heuristicallyBlank); }
bool TDiscFormat::RecorderSupported() { return Ask(false, &TMediumFacts::recorderSupported); }
TMediaTypes TDiscFormat::SupportedMediaTypes() { return Ask(TMediaTypes(), &TMediumFacts::mediaTypes); }

void TDiscWrite::SetRecorder(TDiscRecorder* value) {
  if (value == recorder_) return;
  if (recorder_) recorder_->DetachWriter(this);
  if (value) value->AttachWriter(this);
  recorder_ = value;
}

TMediaType TDiscWrite::CurrentMediaType() { return Ask(mtUnknown, &TMediumFacts::mediaType); }
TMediaStatus TDiscWrite::CurrentMediaStatus() { return Ask(TMediaStatus(), &TMediumFacts::status); }
bool TDiscWrite::CurrentWriteCav() { return Ask(false, &TMediumFacts::pureCav); }
int32_t TDiscWrite::CurrentWriteSpeed() { return Ask(0, &TMediumFacts::writeSpeed); }
int32_t TDiscWrite::FreeSectors() { return Ask(0, &TMediumFacts::freeSectors); }
int32_t TDiscWrite::TotalSectors() { return Ask(0, &TMediumFacts::totalSectors); }
int32_t TDiscWrite::NextWritableAddress() { return Ask(0, &TMediumFacts::nextWritableAddress); }
TWriteProtectStatus TDiscWrite::WriteProtectStatus() {
  return Ask(TWriteProtectStatus(), &TMediumFacts::writeProtect);
}

void TDiscWrite::CheckReady() {
  if (!recorder_) throw TDiscWriteException("Recorder not attached");
  TDiscInternals::Inspect(*recorder_);
}

namespace {

// Refuses, saying what is wrong with the disc, a medium that cannot take a session: no disc,
// write-protected, unsuitable, or full/closed (unless the writer overwrites).
void CheckMedium(TDiscWrite& writer, const TMediumFacts& facts) {
  const TMediaStatus st = facts.status;
  const QString id = writer.Recorder()->DeviceName();
  const bool image = id.startsWith(QLatin1String("stdio:"));
  const std::string disc =
      image ? "The image file " + Narrow(id.mid(6)) : "The disc in the recorder " + Narrow(id);
  if (st.Contains(msWriteProtected))
    throw TDiscWriteException(disc + " is write-protected. Use a writable disc, or lift the protection.");
  if (!facts.recorderSupported) throw TDiscWriteException("Disc write not supported");
  if (st.Contains(msUnsupportedMedia))
    throw TDiscWriteException(disc +
                              " cannot be written by this recorder. Insert a recordable CD, DVD or BD.");
  if (st.Contains(msFinalized) && !writer.ForceOverwrite)
    throw TDiscWriteException(disc +
                              " is full or closed: no session can be added. Insert a blank or "
                              "appendable disc.");
  if (!st.Contains(msBlank) && !st.Contains(msAppendable) && !st.Contains(msFinalized))
    throw TDiscWriteException(image ? disc + " cannot be used as a disc."
                                    : "There is no disc in the recorder " + Narrow(id) +
                                          ". Insert a writable CD, DVD or BD and try again.");
}

// The write options and the progress handler (one cancel per write) into the request.
void Configure(TDiscWrite& writer, TArchiveRequest& rq) {
  rq.underrunProof = writer.BufferUnderrunFree;
  rq.close = writer.FinalizeMedia;
  rq.forceOverwrite = writer.ForceOverwrite;
  rq.speed = writer.WriteSpeed;
  rq.pureCav = writer.WriteCav;
  rq.verification = static_cast<int32_t>(writer.Verification);
  rq.check = [&writer](const TMediumFacts& facts) { CheckMedium(writer, facts); };
  if (!writer.OnUpdate) return;
  // Only the first cancel of a write is passed on.
  rq.onProgress = [&writer, latch = false](const DiscProgressNotice& n) mutable {
    bool cancel = false;
    writer.OnUpdate(&writer, n.CurrentAction, cancel, n.TotalTime, n.ElapsedTime, n.RemainingTime,
                    n.TotalSystemBuffer, n.UsedSystemBuffer, n.FreeSystemBuffer, n.SectorCount, n.StartLba,
                    n.LastReadLba, n.LastWrittenLba);
    const bool first = cancel && !latch;
    latch = latch || cancel;
    return first;
  };
}

}  // namespace

void TDiscWrite::WriteImage(TDiscImage* image) {
  if (!recorder_) throw TDiscWriteException("Recorder not attached");
  recorder_->CheckAvailable();
  TArchiveRequest rq;
  TDiscInternals::BuildImage(*image, rq);
  Configure(*this, rq);
  // Whatever the outcome, the medium may not be what it was.
  const auto forget = qScopeGuard([this] { TDiscInternals::ForgetMedium(*recorder_); });
  TDiscInternals::Drives(*recorder_).Archive(recorder_->RecorderObject()->id, rq);
}

void TDiscImage::WriteToDisc() {
  if (!discWrite_) throw TDiscImageException("Writer not attached");
  discWrite_->WriteImage(this);
}

void TDiscInternals::BuildImage(TDiscImage& image, TArchiveRequest& rq) {
  image.cancel_ = false;
  // Items are not trimmed (a blank may begin a folder's name); empty ones are skipped.
  rq.sourceTrees = SplitText(Narrow(image.SourceTree), ';');
  rq.removeTrees = SplitText(Narrow(image.RemoveSourceTree), ';');
  std::erase(rq.sourceTrees, std::string());
  std::erase(rq.removeTrees, std::string());
  rq.includeBaseDirectory = image.IncludeBaseDirectory;
  rq.joliet = image.FileSystems.Contains(fsJoliet);
  rq.volumeName = Narrow(image.VolumeName);
  TDiscImage* const self = &image;
  if (image.OnImport) {
    rq.onImport = [self](const DiscImportNotice& n) {
      self->OnImport(self, n.FileSystem, Wide(n.CurrentItem), n.ImportedDirectoryItems, n.TotalDirectoryItems,
                     n.ImportedFileItems, n.TotalFileItems);
    };
  }
  if (image.OnUpdate) {
    rq.onAdding = [self](const std::string& file, int32_t copied, int32_t total) {
      bool cancel = false;
      self->OnUpdate(self, cancel, Wide(file), copied, total);
      self->cancel_ = self->cancel_ || cancel;
      return self->cancel_;
    };
  }
}

void TArchiveJob::DoExecute() {
  TDiscWrite* writer = image_->DiscWrite();
  if (!writer) throw TDiscImageException("Writer not attached");
  const auto restore = qScopeGuard([writer, saved = writer->OnUpdate] { writer->OnUpdate = saved; });
  writer->OnUpdate = [this](QObject*, TWriteAction a, bool& cancel, int32_t total, int32_t elapsed,
                            int32_t remaining, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                            int32_t) {
    // The notice's total is the elapsed plus the remaining time.
    if (a <= waVerifying && ActionTexts[a] != CurrentStatus()) SetStatus(ActionTexts[a]);
    SetProgress(elapsed, std::max(total, elapsed + remaining));
    cancel = Terminated();
  };
  image_->WriteToDisc();
}
