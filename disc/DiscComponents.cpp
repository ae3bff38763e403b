#include "disc/DiscComponents.h"

#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>

#include "disc/DiscService.h"
#include "support/TextUtils.h"

namespace {
QString Wide(const std::string& s) { return QString::fromStdString(s); }
std::string Narrow(const QString& s) { return s.toStdString(); }

// The one table of MMC profiles: the component value, the kind of medium, and whether a recorder
// writes it.
struct ProfileRow {
  int32_t mmc;
  TProfile profile;
  TMediaType media;
  bool writable;
};
// clang-format off
constexpr ProfileRow kProfiles[] = {
    {0x01, pfNonRemovableDisk, mtDisk, false}, {0x02, pfRemovableDisk, mtDisk, false},
    {0x03, pfMoErasable, mtUnknown, false}, {0x04, pfMoWriteOnce, mtUnknown, false},
    {0x05, pfAsMo, mtUnknown, false}, {0x08, pfCdRom, mtCdRom, false}, {0x09, pfCdRecordable, mtCdR, true},
    {0x0A, pfCdRewritable, mtCdRW, true}, {0x10, pfDvdRom, mtDvdRom, false},
    {0x11, pfDvdDashRecordable, mtDvdDashR, true}, {0x12, pfDvdRam, mtDvdRam, true},
    {0x13, pfDvdDashRewritable, mtDvdDashRW, true}, {0x14, pfDvdDashRwSequential, mtDvdDashRW, true},
    {0x15, pfDvdDashRDualSequential, mtDvdDashRDualLayer, true},
    {0x16, pfDvdDashRDualLayerJump, mtDvdDashRDualLayer, true},
    {0x1A, pfDvdPlusRW, mtDvdPlusRW, true}, {0x1B, pfDvdPlusR, mtDvdPlusR, true},
    {0x20, pfDdCdRom, mtUnknown, false}, {0x21, pfDdCdRecordable, mtUnknown, false},
    {0x22, pfDdCdRewritable, mtUnknown, false}, {0x2A, pfDvdPlusRwDual, mtDvdPlusRWDualLayer, true},
    {0x2B, pfDvdPlusRDual, mtDvdPlusRDualLayer, true}, {0x40, pfBdRom, mtBdRom, false},
    {0x41, pfBdRSequential, mtBdR, true}, {0x42, pfBdRRandomRecording, mtBdR, true},
    {0x43, pfBdRewritable, mtBdRE, true},
    {0x50, pfHdDvdRom, mtHdDvdRom, false}, {0x51, pfHdDvdRecordable, mtHdDvdR, false},
    {0x52, pfHdDvdRam, mtHdDvdRam, false}, {0xFFFF, pfNonStandard, mtDisk, true}};
// clang-format on
// Indexed by ordinal: the mode-page codes.
constexpr int32_t kModePages[] = {-1, 0x01, 0x03, 0x05, 0x08, 0x1C, 0x1D, 0x1A, 0x2A};

const ProfileRow& ProfileRowOf(int32_t mmc) {
  static constexpr ProfileRow kNone{0, pfInvalid, mtUnknown, false};
  for (const ProfileRow& r : kProfiles)
    if (r.mmc == mmc) return r;
  return kNone;
}

}  // namespace

TMediaType MediaTypeOfCode(int32_t code) { return code >= 1 && code <= 19 ? TMediaType(code) : mtUnknown; }
TMediaType MediaTypeOfProfile(int32_t code) { return ProfileRowOf(code).media; }
bool IsWritableProfile(int32_t code) { return ProfileRowOf(code).writable; }
TProfiles ProfilesOf(const std::vector<int32_t>& codes) {
  TProfiles s;
  for (int32_t c : codes) s.Include(ProfileRowOf(c).profile);
  return s;
}
TModePages ModePagesOf(const std::vector<int32_t>& codes) {
  TModePages s;
  for (int32_t c : codes) {
    const auto at = std::ranges::find(kModePages, c) - std::begin(kModePages);
    s.Include(at < std::ssize(kModePages) ? static_cast<TModePage>(at) : mpUnknown);
  }
  return s;
}
std::function<void(const std::exception&)>& TBurnComponent::EventErrorHandler() {
  static std::function<void(const std::exception&)> handler = [](const std::exception& e) {
    qWarning("%s", e.what());
  };
  return handler;
}

TDiscRecorder::TDiscRecorder(QObject* owner) : TBurnComponent(owner) {}
TDiscRecorder::~TDiscRecorder() {
  for (TDiscWrite* w : std::vector(writers_)) w->ResetFormat();  // a copy: a writer may detach itself
}

IDiscDrives* TDiscRecorder::Enumerator() {
  if (!enumerator_) {
    try {
      enumerator_ = CreateDiscService();
    } catch (const std::exception&) {
      if (!Designing) throw;
    }
  }
  return enumerator_.get();
}

QString TDiscRecorder::UniqueIdOf(int32_t index) {
  IDiscDrives* e = Enumerator();
  if (!e || index < 1) return {};
  const std::vector<std::string> ids = e->Recorders();
  return index <= static_cast<int32_t>(ids.size()) ? Wide(ids[static_cast<size_t>(index - 1)]) : QString();
}

std::unique_ptr<TRecorderInfo> TDiscRecorder::OpenRecorder(int32_t index) {
  const QString id = UniqueIdOf(index);
  if (id.isEmpty()) return nullptr;
  try {
    return std::make_unique<TRecorderInfo>(Enumerator()->Describe(Narrow(id)));
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
  if (!Enumerator()) throw TDiscRecorderException("Recorder not available");
  return Enumerator()->AddImageTarget(QFile::encodeName(path).toStdString());
}

TMediumFacts TDiscRecorder::Inspect() {
  CheckAvailable();
  return Enumerator()->Inspect(recorderObject_->id);
}

void TDiscRecorder::AttachWriter(TDiscWrite* writer) {
  if (writer && std::find(writers_.begin(), writers_.end(), writer) == writers_.end())
    writers_.push_back(writer);
}

void TDiscRecorder::SetDevice(int32_t value) {
  if (value == device_) return;
  device_ = value;
  recorderObject_.reset();
  for (TDiscWrite* w : std::vector(writers_)) w->ResetFormat();
}

int32_t TDiscRecorder::DeviceCount() {
  return Enumerator() ? static_cast<int32_t>(Enumerator()->Recorders().size()) : 0;
}

bool TDiscRecorder::CanLoadMedia() { return RecorderObject() && Inspect().canLoadMedia; }
TProfiles TDiscRecorder::CurrentProfiles() {
  return RecorderObject() ? ProfilesOf(Inspect().currentProfiles) : TProfiles();
}
int32_t TDiscRecorder::LegacyDeviceNumber() { return RecorderObject() ? recorderObject_->legacyNumber : 0; }
TModePages TDiscRecorder::SupportedModePages() {
  return RecorderObject() ? ModePagesOf(Inspect().modePages) : TModePages();
}
TProfiles TDiscRecorder::SupportedProfiles() {
  return RecorderObject() ? ProfilesOf(Inspect().supportedProfiles) : TProfiles();
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

// One udev monitor serves the four events. A recorder that comes or goes makes the next list fresh.
void TDiscRecorder::UpdateMonitor() {
  if (Designing) return;
  const bool wanted = onDeviceAdded_ || onDeviceRemoved_ || onMediaInsertion_ || onMediaRemoval_;
  if (wanted && !monitor_) {
    monitor_ = std::make_unique<TDiscDeviceMonitor>();
    auto device = [this](bool added) {
      return [this, added](const std::string& node) {
        if (enumerator_) enumerator_->Rescan();
        Raise(added ? onDeviceAdded_ : onDeviceRemoved_, Wide(node));
      };
    };
    monitor_->OnRecorderAdded = device(true);
    monitor_->OnRecorderRemoved = device(false);
    monitor_->OnMediaInserted = [this](const std::string& n) { Raise(onMediaInsertion_, DriveCharOf(n)); };
    monitor_->OnMediaRemoved = [this](const std::string& n) { Raise(onMediaRemoval_, DriveCharOf(n)); };
  } else if (!wanted) {
    monitor_.reset();
  }
}

template <typename T, typename F>
T TDiscFormat::Ask(T none, F&& read, bool always) {
  if (!recorder_ || !recorder_->RecorderObject()) return none;
  try {
    return static_cast<T>(std::invoke(read, recorder_->Inspect()));
  } catch (const std::exception&) {
    if (always || !Designing) throw;
    return none;
  }
}

bool TDiscFormat::CurrentMediaSupported() { return Ask(false, &TMediumFacts::mediaSupported); }
bool TDiscFormat::MediaPhysicallyBlank() { return Ask(false, &TMediumFacts::physicallyBlank); }
bool TDiscFormat::MediaHeuristicallyBlank() { return Ask(false, &TMediumFacts::heuristicallyBlank); }
bool TDiscFormat::RecorderSupported() { return Ask(false, &TMediumFacts::recorderSupported, true); }
TMediaTypes TDiscFormat::SupportedMediaTypes() { return Ask(TMediaTypes(), &TMediumFacts::mediaTypes, true); }

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
  recorder_->Inspect();
}

void TDiscWrite::CheckMedium(const TMediumFacts& facts) {
  const TMediaStatus st = facts.status;
  const QString id = recorder_->DeviceName();
  const bool image = id.startsWith(QLatin1String("stdio:"));
  const std::string disc =
      image ? "The image file " + Narrow(id.mid(6)) : "The disc in the recorder " + Narrow(id);
  if (st.Contains(msWriteProtected))
    throw TDiscWriteException(disc + " is write-protected. Use a writable disc, or lift the protection.");
  if (!facts.recorderSupported) throw TDiscWriteException("Disc write not supported");
  if (st.Contains(msUnsupportedMedia))
    throw TDiscWriteException(disc +
                              " cannot be written by this recorder. Insert a recordable CD, DVD or BD.");
  if (st.Contains(msFinalized) && !ForceOverwrite)
    throw TDiscWriteException(disc +
                              " is full or closed: no session can be added. Insert a blank or "
                              "appendable disc.");
  if (!st.Contains(msBlank) && !st.Contains(msAppendable) && !st.Contains(msFinalized))
    throw TDiscWriteException(image ? disc + " cannot be used as a disc."
                                    : "There is no disc in the recorder " + Narrow(id) +
                                          ". Insert a writable CD, DVD or BD and try again.");
}

void TDiscWrite::Configure(TArchiveRequest& rq) {
  rq.underrunProof = BufferUnderrunFree;
  rq.close = FinalizeMedia;
  rq.forceOverwrite = ForceOverwrite;
  rq.speed = WriteSpeed;
  rq.pureCav = WriteCav;
  rq.verification = static_cast<int32_t>(Verification);
  rq.check = [this](const TMediumFacts& facts) { CheckMedium(facts); };
  if (!OnUpdate) return;
  // Only the first cancel of a write is passed on.
  rq.onProgress = [this, latch = false](const DiscProgressNotice& n) mutable {
    bool cancel = false;
    OnUpdate(this, n.CurrentAction, cancel, n.TotalTime, n.ElapsedTime, n.RemainingTime, n.TotalSystemBuffer,
             n.UsedSystemBuffer, n.FreeSystemBuffer, n.SectorCount, n.StartLba, n.LastReadLba,
             n.LastWrittenLba);
    const bool first = cancel && !latch;
    latch = latch || cancel;
    return first;
  };
}

void TDiscWrite::WriteImage(TDiscImage* image) {
  if (!recorder_) throw TDiscWriteException("Recorder not attached");
  recorder_->CheckAvailable();
  TArchiveRequest rq;
  image->BuildImage(rq);
  Configure(rq);
  recorder_->Enumerator()->Archive(recorder_->RecorderObject()->id, rq);
}

void TDiscImage::WriteToDisc() {
  if (!discWrite_) throw TDiscImageException("Writer not attached");
  discWrite_->WriteImage(this);
}

void TDiscImage::BuildImage(TArchiveRequest& rq) {
  cancel_ = false;
  // Items are not trimmed (a blank may begin a folder's name); empty ones are skipped.
  rq.sourceTrees = SplitText(Narrow(SourceTree), ';');
  rq.removeTrees = SplitText(Narrow(RemoveSourceTree), ';');
  std::erase(rq.sourceTrees, std::string());
  std::erase(rq.removeTrees, std::string());
  rq.includeBaseDirectory = IncludeBaseDirectory;
  rq.joliet = FileSystems.Contains(fsJoliet);
  rq.volumeName = Narrow(VolumeName);
  if (OnImport) {
    rq.onImport = [this](const DiscImportNotice& n) {
      OnImport(this, n.FileSystem, Wide(n.CurrentItem), n.ImportedDirectoryItems, n.TotalDirectoryItems,
               n.ImportedFileItems, n.TotalFileItems);
    };
  }
  if (OnUpdate) {
    rq.onAdding = [this](const std::string& file, int32_t copied, int32_t total) {
      bool cancel = false;
      OnUpdate(this, cancel, Wide(file), copied, total);
      cancel_ = cancel_ || cancel;
      return cancel_;
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
