#include "disc/DiscComponents.h"

#include <QDebug>
#include <algorithm>
#include <cstddef>

#include "disc/DiscMonitor.h"
#include "support/TextUtils.h"

namespace {
QString Wide(const std::string& s) { return QString::fromStdString(s); }
std::string Narrow(const QString& s) { return s.toStdString(); }
}  // namespace

// ---- codes of the service -------------------------------------------------------------------------

namespace {
struct CodeMap {
  int32_t code;
  uint8_t value;
};

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

const ProfileRow* ProfileRowOf(int32_t mmc) {
  for (const ProfileRow& r : kProfiles) {
    if (r.mmc == mmc) return &r;
  }
  return nullptr;
}

constexpr CodeMap kModePages[] = {{0x01, mpReadWriteErrorRecovery},  {0x03, mpMrw},
                                  {0x05, mpWriteParameters},         {0x08, mpCaching},
                                  {0x1C, mpInformationalExceptions}, {0x1D, mpTimeoutAndProtect},
                                  {0x1A, mpPowerCondition},          {0x2A, mpLegacyCapabilities}};

template <size_t N>
uint8_t Lookup(const CodeMap (&table)[N], int32_t code, uint8_t other) {
  for (const CodeMap& m : table) {
    if (m.code == code) return m.value;
  }
  return other;
}
}  // namespace

TProfile ProfileOfCode(int32_t code) {
  const ProfileRow* r = ProfileRowOf(code);
  return r ? r->profile : pfInvalid;
}
TModePage ModePageOfCode(int32_t code) { return static_cast<TModePage>(Lookup(kModePages, code, mpUnknown)); }
TMediaType MediaTypeOfCode(int32_t code) {
  return code >= 1 && code <= 19 ? static_cast<TMediaType>(code) : mtUnknown;
}
TMediaType MediaTypeOfProfile(int32_t code) {
  const ProfileRow* r = ProfileRowOf(code);
  return r ? r->media : mtUnknown;
}
bool IsWritableProfile(int32_t code) {
  const ProfileRow* r = ProfileRowOf(code);
  return r && r->writable;
}
TWriteAction WriteActionOfCode(int32_t code) {
  return (code >= 0 && code <= 5) || code == 7 ? static_cast<TWriteAction>(code) : waCompleted;
}

TProfiles ProfilesOf(const std::vector<int32_t>& codes) {
  TProfiles s;
  for (int32_t c : codes) s.Include(ProfileOfCode(c));
  return s;
}
TModePages ModePagesOf(const std::vector<int32_t>& codes) {
  TModePages s;
  for (int32_t c : codes) s.Include(ModePageOfCode(c));
  return s;
}
TMediaTypes MediaTypesOf(const std::vector<int32_t>& codes) {
  TMediaTypes s;
  for (int32_t c : codes) s.Include(MediaTypeOfCode(c));
  return s;
}

TMediaStatus MediaStatusOf(uint32_t word) {
  static constexpr uint32_t kFlags[] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0400,
                                        0x0800, 0x1000, 0x2000, 0x4000, 0x8000};
  TMediaStatus s;
  for (unsigned i = 0; i < 10; ++i) {
    if (word & kFlags[i]) s.Include(static_cast<TMediaState>(i));
  }
  return s;
}

TWriteProtectStatus WriteProtectStatusOf(uint32_t word) {
  static constexpr uint32_t kFlags[] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x4000};
  TWriteProtectStatus s;
  for (unsigned i = 0; i < 6; ++i) {
    if (word & kFlags[i]) s.Include(static_cast<TWriteProtectState>(i));
  }
  return s;
}

uint32_t FileSystemFlagsOf(TFileSystems systems) {
  uint32_t flags = 0;
  if (systems.Contains(fsISO9660)) flags |= 1;
  if (systems.Contains(fsJoliet)) flags |= 2;
  if (systems.Contains(fsUDF)) flags |= 4;
  return flags;
}

TFileSystem FileSystemOfFlags(uint32_t flags) {
  if (flags & 1) return fsISO9660;
  if (flags & 2) return fsJoliet;
  if (flags & 4) return fsUDF;
  return fsUnknown;
}

// ---- TBurnComponent --------------------------------------------------------------------------------

QString TBurnComponent::About() const {
  return QStringLiteral("Veltra QRM disc components over libburn, libisofs and libisoburn");
}

std::function<void(const std::exception&)>& TBurnComponent::EventErrorHandler() {
  static std::function<void(const std::exception&)> handler = [](const std::exception& e) {
    qWarning("%s", e.what());
  };
  return handler;
}

std::vector<QString> SplitTreeList(const QString& list) {
  TStringList parts = SplitText(list.toStdString(), ';');
  if (parts.back().empty()) parts.pop_back();  // "a;" lists one item
  std::vector<QString> items;
  items.reserve(parts.size());
  for (const std::string& p : parts) items.push_back(QString::fromStdString(p));
  return items;
}

// ---- TDiscRecorder ---------------------------------------------------------------------------------

TDiscRecorder::TDiscRecorder(QObject* owner) : TBurnComponent(owner) {}

TDiscRecorder::~TDiscRecorder() {
  recorderObject_.reset();
  delete mediaMonitor_;
  mediaMonitor_ = nullptr;
  if (cookie_ && enumerator_) enumerator_->Unsubscribe(cookie_);
  cookie_ = 0;
  enumerator_.reset();
  const std::vector<TDiscWrite*> writers = writers_;
  for (TDiscWrite* w : writers) w->ResetFormat();
  writers_.clear();
}

std::shared_ptr<IDiscService> TDiscRecorder::EnumeratorShared() {
  if (!enumerator_) {
    if (Designing()) {
      try {
        enumerator_ = CreateDiscService();
      } catch (const std::exception&) {
        return nullptr;
      }
    } else {
      enumerator_ = CreateDiscService();
    }
  }
  return enumerator_;
}

IDiscService* TDiscRecorder::Enumerator() { return EnumeratorShared().get(); }

QString TDiscRecorder::UniqueIdOf(int32_t index) {
  IDiscService* e = Enumerator();
  if (!e || index < 1) return {};
  if (index > e->Count()) return {};
  return Wide(e->Item(index - 1));
}

std::unique_ptr<IDiscRecorderObject> TDiscRecorder::OpenRecorder(int32_t index) {
  if (UniqueIdOf(index).isEmpty()) return nullptr;
  std::unique_ptr<IDiscRecorderObject> obj = Enumerator()->CreateRecorder();
  try {
    obj->InitializeDiscRecorder(Narrow(UniqueIdOf(index)));
  } catch (const std::exception&) {
    return nullptr;
  }
  return obj;
}

QString TDiscRecorder::ProductOf(int32_t index) {
  std::unique_ptr<IDiscRecorderObject> obj = OpenRecorder(index);
  return obj ? Wide(obj->ProductId()) : QString();
}

IDiscRecorderObject* TDiscRecorder::RecorderObject() {
  if (!recorderObject_) recorderObject_ = OpenRecorder(device_);
  return recorderObject_.get();
}

void TDiscRecorder::CheckAvailable() {
  if (!RecorderObject()) throw TDiscRecorderException("Recorder not available");
}

void TDiscRecorder::AttachWriter(TDiscWrite* writer) {
  if (writer && std::find(writers_.begin(), writers_.end(), writer) == writers_.end())
    writers_.push_back(writer);
}

void TDiscRecorder::DetachWriter(TDiscWrite* writer) {
  writers_.erase(std::remove(writers_.begin(), writers_.end(), writer), writers_.end());
}

void TDiscRecorder::SetDevice(int32_t value) {
  if (value == device_) return;
  device_ = value;
  recorderObject_.reset();
  const std::vector<TDiscWrite*> writers = writers_;
  for (TDiscWrite* w : writers) w->ResetFormat();
}

int32_t TDiscRecorder::DeviceCount() {
  IDiscService* e = Enumerator();
  return e ? e->Count() : 0;
}

QString TDiscRecorder::Text(std::string (IDiscRecorderObject::*read)()) {
  IDiscRecorderObject* r = RecorderObject();
  return r ? Wide((r->*read)()) : QString();
}

bool TDiscRecorder::DeviceSupported() { return RecorderObject() != nullptr; }

bool TDiscRecorder::CanLoadMedia() {
  IDiscRecorderObject* r = RecorderObject();
  return r && r->DeviceCanLoadMedia();
}
TProfiles TDiscRecorder::CurrentProfiles() {
  IDiscRecorderObject* r = RecorderObject();
  return r ? ProfilesOf(r->CurrentProfiles()) : TProfiles();
}
QString TDiscRecorder::DeviceName() { return Text(&IDiscRecorderObject::ActiveDiscRecorder); }
QString TDiscRecorder::ExclusiveAccessOwner() { return Text(&IDiscRecorderObject::ExclusiveAccessOwner); }
int32_t TDiscRecorder::LegacyDeviceNumber() {
  IDiscRecorderObject* r = RecorderObject();
  return r ? r->LegacyDeviceNumber() : 0;
}
QString TDiscRecorder::Product() { return Text(&IDiscRecorderObject::ProductId); }
QString TDiscRecorder::ProductRevision() { return Text(&IDiscRecorderObject::ProductRevision); }
bool TDiscRecorder::SupportedEnvironment() {
  IDiscService* e = Enumerator();
  return e && e->IsSupportedEnvironment();
}
TModePages TDiscRecorder::SupportedModePages() {
  IDiscRecorderObject* r = RecorderObject();
  return r ? ModePagesOf(r->SupportedModePages()) : TModePages();
}
TProfiles TDiscRecorder::SupportedProfiles() {
  IDiscRecorderObject* r = RecorderObject();
  return r ? ProfilesOf(r->SupportedProfiles()) : TProfiles();
}
QString TDiscRecorder::Vendor() { return Text(&IDiscRecorderObject::VendorId); }
QString TDiscRecorder::VolumeName() { return Text(&IDiscRecorderObject::VolumeName); }
QString TDiscRecorder::VolumePathNames() {
  IDiscRecorderObject* r = RecorderObject();
  if (!r) return {};
  QStringList parts;
  for (const std::string& p : r->VolumePathNames()) parts << Wide(p);
  return parts.join(QLatin1Char(','));
}

void TDiscRecorder::SetDeviceName(const QString& value) {
  if (value == DeviceName()) return;
  const int32_t count = DeviceCount();
  for (int32_t i = 1; i <= count; ++i) {
    if (UniqueIdOf(i) == value) {
      SetDevice(i);
      return;
    }
  }
}

void TDiscRecorder::SetProduct(const QString& value) {
  if (value == Product()) return;
  const int32_t count = DeviceCount();
  for (int32_t i = 1; i <= count; ++i) {
    if (ProductOf(i) == value) {
      SetDevice(i);
      return;
    }
  }
}

void TDiscRecorder::SetOnDeviceAdded(TDiscRecorderDeviceEvent handler) {
  onDeviceAdded_ = std::move(handler);
  UpdateDeviceSubscription();
}
void TDiscRecorder::SetOnDeviceRemoved(TDiscRecorderDeviceEvent handler) {
  onDeviceRemoved_ = std::move(handler);
  UpdateDeviceSubscription();
}
void TDiscRecorder::SetOnMediaInsertion(TDiscRecorderMediaEvent handler) {
  onMediaInsertion_ = std::move(handler);
  UpdateMediaMonitor();
}
void TDiscRecorder::SetOnMediaRemoval(TDiscRecorderMediaEvent handler) {
  onMediaRemoval_ = std::move(handler);
  UpdateMediaMonitor();
}

void TDiscRecorder::UpdateDeviceSubscription() {
  if (Designing()) return;
  const bool wanted = onDeviceAdded_ || onDeviceRemoved_;
  if (wanted && !cookie_) {
    if (IDiscService* e = Enumerator()) {
      cookie_ = e->Subscribe([this](bool added, const std::string& id) { DeviceNotice(added, id); });
    }
  } else if (!wanted && cookie_) {
    if (enumerator_) enumerator_->Unsubscribe(cookie_);
    cookie_ = 0;
  }
}

void TDiscRecorder::DeviceNotice(bool added, const std::string& uniqueId) {
  try {
    const TDiscRecorderDeviceEvent& h = added ? onDeviceAdded_ : onDeviceRemoved_;
    if (h) h(this, Wide(uniqueId));
  } catch (const std::exception& e) {
    EventErrorHandler()(e);
  }
}

void TDiscRecorder::UpdateMediaMonitor() {
  if (Designing()) return;
  const bool wanted = onMediaInsertion_ || onMediaRemoval_;
  if (wanted && !mediaMonitor_) {
    mediaMonitor_ = new TDiscDeviceMonitor(nullptr);
    mediaMonitor_->OnMediaInserted = [this](const std::string& node) { MediaNotice(true, node); };
    mediaMonitor_->OnMediaRemoved = [this](const std::string& node) { MediaNotice(false, node); };
  } else if (!wanted && mediaMonitor_) {
    delete mediaMonitor_;
    mediaMonitor_ = nullptr;
  }
}

void TDiscRecorder::MediaNotice(bool inserted, const std::string& devnode) {
  try {
    const TDiscRecorderMediaEvent& h = inserted ? onMediaInsertion_ : onMediaRemoval_;
    if (h) h(this, DriveCharOf(devnode));
  } catch (const std::exception& e) {
    EventErrorHandler()(e);
  }
}

// ---- TDiscFormat -----------------------------------------------------------------------------------

bool TDiscFormat::CurrentMediaSupported() {
  return Ask(false, [this](IDiscDataWriter& w) {
    IDiscRecorderObject* r = RecorderObject();
    return r && w.IsCurrentMediaSupported(r);
  });
}
bool TDiscFormat::MediaPhysicallyBlank() {
  return Ask(false, [](IDiscDataWriter& w) { return w.MediaPhysicallyBlank(); });
}
bool TDiscFormat::MediaHeuristicallyBlank() {
  return Ask(false, [](IDiscDataWriter& w) { return w.MediaHeuristicallyBlank(); });
}
bool TDiscFormat::RecorderSupported() {
  IDiscDataWriter* w = FormatObject();
  IDiscRecorderObject* r = RecorderObject();
  return w && r && w->IsRecorderSupported(r);
}
TMediaTypes TDiscFormat::SupportedMediaTypes() {
  IDiscDataWriter* w = FormatObject();
  return w ? MediaTypesOf(w->SupportedMediaTypes()) : TMediaTypes();
}

// ---- TDiscWrite ------------------------------------------------------------------------------------

TDiscWrite::TDiscWrite(QObject* owner) : TDiscFormat(owner) {}

TDiscWrite::~TDiscWrite() {
  formatObject_.reset();
  if (recorder_) recorder_->DetachWriter(this);
}

void TDiscWrite::ResetFormat() { formatObject_.reset(); }

void TDiscWrite::SetRecorder(TDiscRecorder* value) {
  if (value == recorder_) return;
  if (recorder_) recorder_->DetachWriter(this);
  QObject::disconnect(recorderGone_);
  formatObject_.reset();
  if (value) {
    value->AttachWriter(this);
    // The recorder is already half gone when this fires: only forget it, do not call into it.
    recorderGone_ = connect(value, &QObject::destroyed, this, [this] {
      formatObject_.reset();
      recorder_ = nullptr;
    });
  }
  recorder_ = value;
}

IDiscDataWriter* TDiscWrite::FormatObject() {
  if (!formatObject_) {
    IDiscRecorderObject* r = RecorderObject();
    if (r) {
      std::unique_ptr<IDiscDataWriter> w = recorder_->Enumerator()->CreateDataWriter();
      w->SetRecorder(r);
      formatObject_ = std::move(w);
    }
  }
  return formatObject_.get();
}

TMediaType TDiscWrite::CurrentMediaType() {
  return Ask<TMediaType>(mtUnknown,
                         [](IDiscDataWriter& w) { return MediaTypeOfCode(w.CurrentPhysicalMediaType()); });
}
TMediaStatus TDiscWrite::CurrentMediaStatus() {
  return Ask<TMediaStatus>(TMediaStatus(),
                           [](IDiscDataWriter& w) { return MediaStatusOf(w.CurrentMediaStatus()); });
}
bool TDiscWrite::CurrentWriteCav() {
  return Ask(false, [](IDiscDataWriter& w) { return w.CurrentRotationTypeIsPureCAV(); });
}
int32_t TDiscWrite::CurrentWriteSpeed() {
  return Ask<int32_t>(0, [](IDiscDataWriter& w) { return w.CurrentWriteSpeed(); });
}
int32_t TDiscWrite::FreeSectors() {
  return Ask<int32_t>(0, [](IDiscDataWriter& w) { return w.FreeSectorsOnMedia(); });
}
int32_t TDiscWrite::TotalSectors() {
  return Ask<int32_t>(0, [](IDiscDataWriter& w) { return w.TotalSectorsOnMedia(); });
}
int32_t TDiscWrite::NextWritableAddress() {
  return Ask<int32_t>(0, [](IDiscDataWriter& w) { return w.NextWritableAddress(); });
}
TWriteProtectStatus TDiscWrite::WriteProtectStatus() {
  return Ask<TWriteProtectStatus>(
      TWriteProtectStatus(), [](IDiscDataWriter& w) { return WriteProtectStatusOf(w.WriteProtectStatus()); });
}

void TDiscWrite::CheckReady() {
  if (!recorder_) throw TDiscWriteException("Recorder not attached");
  recorder_->CheckAvailable();
  if (!FormatObject()) throw TDiscWriteException("Disc write not supported");
}

void TDiscWrite::CheckMedium() {
  CheckReady();
  const TMediaStatus st = CurrentMediaStatus();
  const QString id = recorder_->DeviceName();
  const std::string disc = id.startsWith(QLatin1String("stdio:")) ? "The image file " + Narrow(id.mid(6))
                                                                  : "The disc in the recorder " + Narrow(id);
  if (st.Contains(msWriteProtected))
    throw TDiscWriteException(disc + " is write-protected. Use a writable disc, or lift the protection.");
  if (st.Contains(msUnsupportedMedia))
    throw TDiscWriteException(disc +
                              " cannot be written by this recorder. Insert a recordable CD, DVD or BD.");
  if (st.Contains(msFinalized) && !ForceOverwrite)
    throw TDiscWriteException(disc +
                              " is full or closed: no session can be added. Insert a blank or "
                              "appendable disc.");
  if (!st.Contains(msBlank) && !st.Contains(msAppendable) && !st.Contains(msFinalized)) {
    throw TDiscWriteException(id.startsWith(QLatin1String("stdio:"))
                                  ? disc + " cannot be used as a disc."
                                  : "There is no disc in the recorder " + Narrow(id) +
                                        ". Insert a writable CD, DVD or BD and try again.");
  }
}

void TDiscWrite::Configure() {
  CheckReady();
  IDiscDataWriter* w = FormatObject();
  w->SetClientName(Narrow(ClientName));
  w->SetDisableConsumerDvdCompatibilityMode(!ConsumerDvdCompatible);
  w->SetBufferUnderrunFreeDisabled(!BufferUnderrunFree);
  w->SetForceMediaToBeClosed(FinalizeMedia);
  w->SetForceOverwrite(ForceOverwrite);
  w->SetPostgapAlreadyInImage(PostgapInImage);
  w->SetWriteSpeed(WriteSpeed, WriteCav);
  if (w->OffersVerification()) {
    try {
      w->SetVerificationLevel(static_cast<int32_t>(Verification));
    } catch (const std::exception&) {
      // A writer that refuses the level writes without verification.
    }
  }
}

void TDiscWrite::Progress(const DiscProgressNotice& n) {
  bool cancel = false;
  if (OnUpdate) {
    OnUpdate(this, WriteActionOfCode(n.CurrentAction), cancel, n.TotalTime, n.ElapsedTime, n.RemainingTime,
             n.TotalSystemBuffer, n.UsedSystemBuffer, n.FreeSystemBuffer, n.SectorCount, n.StartLba,
             n.LastReadLba, n.LastWrittenLba);
  }
  if (cancel && !cancelLatch_) {
    cancelLatch_ = true;
    if (formatObject_) formatObject_->CancelWrite();
  }
}

void TDiscWrite::WriteStream(IDiscImageStream& stream) {
  Configure();
  cancelLatch_ = false;
  IDiscDataWriter* w = FormatObject();
  if (OnUpdate) {
    w->Write(stream, [this](const DiscProgressNotice& n) { Progress(n); });
  } else {
    w->Write(stream, {});
  }
}

void TDiscWrite::WriteImage(TDiscImage* image) {
  try {
    if (!recorder_) throw TDiscWriteException("Recorder not attached");
    recorder_->CheckAvailable();
    recorder_->RecorderObject()->PrepareForWrite();
    CheckMedium();  // before the import, which would fail on such a disc with a library message
    std::shared_ptr<IDiscImageResult> result = image->BuildImage();
    if (!result) return;
    std::shared_ptr<IDiscImageStream> stream = result->ImageStream();
    if (!stream) throw TDiscWriteException("Cannot retrieve image stream");
    WriteStream(*stream);
  } catch (...) {
    // A failed archive leaves the drive free and its tray unlocked at once, not when the dialog closes.
    if (formatObject_) formatObject_->ReleaseDrive();
    throw;
  }
}

// ---- TDiscImage ------------------------------------------------------------------------------------

void TDiscImage::SetDiscWrite(TDiscWrite* value) {
  if (value == discWrite_) return;
  QObject::disconnect(writerGone_);
  discWrite_ = value;
  if (value) writerGone_ = connect(value, &QObject::destroyed, this, [this] { discWrite_ = nullptr; });
}

void TDiscImage::WriteToDisc() {
  if (!discWrite_) throw TDiscImageException("Writer not attached");
  discWrite_->WriteImage(this);
}

std::shared_ptr<IDiscImageResult> TDiscImage::BuildImage() {
  cancel_ = false;
  std::shared_ptr<IDiscService> service;
  if (discWrite_ && discWrite_->Recorder()) service = discWrite_->Recorder()->EnumeratorShared();
  if (!service) {
    if (!service_) service_ = CreateDiscService();
    service = service_;
  }
  std::unique_ptr<IDiscImageBuilder> builder = service ? service->CreateImageBuilder() : nullptr;
  if (!builder) throw TDiscImageException("Cannot create system image");

  if (discWrite_ && discWrite_->RecorderObject()) {
    builder->ChooseImageDefaults(discWrite_->RecorderObject());
    // An overwrite drops the disc's sessions, so there is nothing to take over from them.
    if (!discWrite_->ForceOverwrite && !discWrite_->MediaHeuristicallyBlank() && discWrite_->FormatObject()) {
      std::function<void(const DiscImportNotice&)> sink;
      if (OnImport) {
        sink = [this](const DiscImportNotice& n) {
          OnImport(this, FileSystemOfFlags(n.FileSystems), QString::fromStdString(n.CurrentItem),
                   n.ImportedDirectoryItems, n.TotalDirectoryItems, n.ImportedFileItems, n.TotalFileItems);
        };
      }
      builder->SetMultisessionInterfaces(discWrite_->FormatObject()->MultisessionInterfaces());
      builder->ImportFileSystem(sink);
    }
  }
  builder->SetFileSystemsToCreate(FileSystemFlagsOf(FileSystems));
  if (MediaType != mtUnknown) builder->ChooseImageDefaultsForMediaType(static_cast<int32_t>(MediaType));
  if (!WorkingDirectory.isEmpty()) builder->SetWorkingDirectory(Narrow(WorkingDirectory));
  if (!VolumeName.isEmpty()) builder->SetVolumeName(Narrow(VolumeName));

  struct SinkGuard {
    IDiscImageBuilder* b;
    ~SinkGuard() { b->SetUpdateSink(nullptr); }
  };
  if (OnUpdate) {
    builder->SetUpdateSink([this](const std::string& file, int32_t copied, int32_t total) {
      bool cancel = false;
      if (OnUpdate) OnUpdate(this, cancel, QString::fromStdString(file), copied, total);
      if (cancel) cancel_ = true;
    });
  }
  bool cancelled = false;
  {
    SinkGuard guard{builder.get()};
    // Each item of a list, the cancel flag looked at after every one, empty items included.
    auto each = [&](const QString& list, const std::function<void(const std::string&)>& step) {
      for (const QString& item : SplitTreeList(list)) {
        if (!item.isEmpty()) step(Narrow(item));
        if (cancel_) return false;
      }
      return true;
    };
    cancelled = !each(SourceTree, [&](const std::string& f) { builder->AddTree(f, IncludeBaseDirectory); }) ||
                !each(RemoveSourceTree, [&](const std::string& p) { builder->RemoveTree(p); });
  }
  if (cancelled) return nullptr;
  std::shared_ptr<IDiscImageResult> result = builder->CreateResultImage();
  if (!result) throw TDiscImageException("Cannot create result image");
  return result;
}

// ---- TArchiveJob -----------------------------------------------------------------------------------

TArchiveJob::~TArchiveJob() {
  Cancel();
  Wait();
}

void TArchiveJob::DoExecute() {
  TDiscWrite* writer = image_->DiscWrite();
  if (!writer) throw TDiscImageException("Writer not attached");
  struct Restore {
    TDiscWrite* w;
    TDiscWriteUpdateEvent handler;
    ~Restore() { w->OnUpdate = std::move(handler); }
  } restore{writer, writer->OnUpdate};
  writer->OnUpdate = [this](QObject*, TWriteAction a, bool& cancel, int32_t total, int32_t elapsed,
                            int32_t remaining, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                            int32_t) {
    emit updated(a, total, elapsed, remaining);
    cancel = Terminated();
  };
  image_->WriteToDisc();
}
