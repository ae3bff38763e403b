// The disc service over libburn (drives, writing), libisofs (image trees) and libisoburn (sessions).
#include <stdint.h>
// Order matters: libisofs declares a global struct burn_source, libburn wraps itself in namespace burn.
#include <libisofs.h>
#include <libburn.h>
using namespace burn;
#include <libisoburn.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "disc/DiscMonitor.h"
#include "disc/DiscService.h"
#include "disc/DiscComponents.h"
#include "disc/Mounts.h"

namespace {

// ---- library start and messages -------------------------------------------------------------------

bool g_libOk = false;
std::string g_libError;

struct Drive;
std::map<std::string, std::weak_ptr<Drive>>& Drives();
bool AnyDriveHeld();

void EnsureLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    char msg[1024] = {0};
    if (isoburn_initialize(msg, 0) <= 0) {
      g_libError = std::string("Cannot start the disc libraries: ") + msg;
      return;
    }
    // Messages are queued for the error handler, never printed. No signal handling is requested from
    // libburn: the program's own handlers stay in place.
    burn_msgs_set_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                             const_cast<char*>("vq: "));
    iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                            const_cast<char*>("vq: "));
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    burn_allow_drive_role_4(1);  // read-only image files show as write-protected media
    g_libOk = true;
    // The libraries are shut down once, at exit; a drive still held then (a leak) is left to the system.
    (void)Drives();  // constructed first so that it outlives the exit handler
    std::atexit([] {
      if (!AnyDriveHeld()) isoburn_finish();
    });
  });
}

int SeverityRank(const char* s) {
  static const char* kOrder[] = {"DEBUG", "UPDATE", "NOTE",    "HINT",  "WARNING",
                                 "SORRY", "MISHAP", "FAILURE", "FATAL", "ABORT"};
  for (int i = 0; i < 10; ++i) {
    if (std::strcmp(s, kOrder[i]) == 0) return i;
  }
  return 0;
}

// Drains both libraries' queues; gives the most severe (earliest of equals) message text.
std::string TakeLibraryMessage() {
  if (!g_libOk) return {};
  std::string best;
  int bestRank = -1;
  char text[BURN_MSGS_MESSAGE_LEN];
  char severity[80];
  int code = 0, osErrno = 0, imgid = 0;
  while (burn_msgs_obtain(const_cast<char*>("ALL"), &code, text, &osErrno, severity) == 1) {
    int rank = SeverityRank(severity);
    if (rank > bestRank) {
      bestRank = rank;
      best = text;
      if (osErrno != 0 && best.find(std::strerror(osErrno)) == std::string::npos) {
        best += std::string(" (") + std::strerror(osErrno) + ")";
      }
    }
  }
  while (iso_obtain_msgs(const_cast<char*>("ALL"), &code, &imgid, text, severity) == 1) {
    int rank = SeverityRank(severity);
    if (rank > bestRank) {
      bestRank = rank;
      best = text;
    }
  }
  while (!best.empty() && (best.back() == '\n' || best.back() == ' ')) best.pop_back();
  return best;
}

void DiscardMessages() { (void)TakeLibraryMessage(); }

// Raises the library's message, or `fallback` when the library gave none.
[[noreturn]] void Raise(const std::string& libraryMessage,
                        const std::string& fallback = "The disc library failed without giving a reason") {
  throw EDiscServiceError(libraryMessage.empty() ? fallback : libraryMessage);
}
[[noreturn]] void Fail() { Raise(TakeLibraryMessage()); }
[[noreturn]] void Fail(const std::string& fallback) { Raise(TakeLibraryMessage(), fallback); }
const char* const kEarlierSessions =
    "The disc's earlier sessions cannot be read, or they do not fit the new one.";

bool IsImageAddress(const std::string& adr) { return adr.rfind("stdio:", 0) == 0; }
std::string ImagePathOf(const std::string& adr) { return adr.substr(6); }

std::string AcquireFailureText(const std::string& adr, const std::string& lib) {
  if (IsImageAddress(adr)) {
    return "Cannot open the image file " + ImagePathOf(adr) + (lib.empty() ? "" : ": " + lib);
  }
  if (::access(adr.c_str(), F_OK) == 0 && ::access(adr.c_str(), R_OK | W_OK) != 0) {
    return "No read-write access to the recorder " + adr +
           ". The user must be a member of the group \"cdrom\" (log in again after joining it).";
  }
  const std::vector<std::string> mounts = MountPointsOf(adr);
  if (!mounts.empty()) {
    return "The disc in the recorder " + adr + " is mounted at " + mounts.front() + ". Unmount it first.";
  }
  return "Cannot open the recorder " + adr + (lib.empty() ? "" : ": " + lib);
}

// ---- acquired drives -------------------------------------------------------------------------------

struct Drive {
  std::string adr;
  burn_drive_info* info = nullptr;
  burn_drive* d = nullptr;
  ~Drive() {
    if (d) isoburn_drive_release(d, 0);
    if (info) burn_drive_info_free(info);
  }
};

std::map<std::string, std::weak_ptr<Drive>>& Drives() {
  static std::map<std::string, std::weak_ptr<Drive>> drives;
  return drives;
}

bool AnyDriveHeld() {
  for (auto& [adr, w] : Drives()) {
    if (!w.expired()) return true;
  }
  return false;
}

// One acquisition per address for the whole program; everyone who needs the drive shares it.
std::shared_ptr<Drive> AcquireDrive(const std::string& adr) {
  if (auto held = Drives()[adr].lock()) return held;
  if (!g_libOk) throw EDiscServiceError(g_libError);
  DiscardMessages();
  auto drive = std::make_shared<Drive>();
  drive->adr = adr;
  if (isoburn_drive_aquire(&drive->info, const_cast<char*>(adr.c_str()), 0) <= 0 || !drive->info) {
    drive->info = nullptr;
    const std::string lib = TakeLibraryMessage();
    throw EDiscServiceError(AcquireFailureText(adr, lib));
  }
  drive->d = drive->info[0].drive;
  Drives()[adr] = drive;
  return drive;
}

std::string Trimmed(const char* s) {
  std::string r(s);
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r;
}

struct KnownDrive {
  std::string adr, vendor, product, revision;
};

std::vector<KnownDrive> ScanOpticalDrives() {
  std::vector<KnownDrive> out;
  if (!g_libOk || AnyDriveHeld()) return out;
  burn_drive_info* infos = nullptr;
  unsigned int n = 0;
  int r;
  while ((r = burn_drive_scan(&infos, &n)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (r < 0) {
    DiscardMessages();
    return out;
  }
  for (unsigned i = 0; i < n; ++i) {
    char adr[BURN_DRIVE_ADR_LEN] = {0};
    if (burn_drive_d_get_adr(infos[i].drive, adr) > 0) {
      out.push_back({adr, Trimmed(infos[i].vendor), Trimmed(infos[i].product), Trimmed(infos[i].revision)});
    }
    // The scan holds every drive exclusively; let go of them until one is really used.
    burn_drive_info_forget(&infos[i], 0);
  }
  burn_drive_info_free(infos);
  DiscardMessages();
  // The scan leaves out a drive it cannot hold, a mounted disc's among them: it stays in the list,
  // named from udev, and Burn unmounts it first.
  for (const QString& name : QDir(QStringLiteral("/dev")).entryList({QStringLiteral("sr*")}, QDir::System)) {
    const std::string adr = "/dev/" + name.toStdString();
    if (std::none_of(out.begin(), out.end(), [&](const KnownDrive& k) { return k.adr == adr; }))
      out.push_back({adr, UdevPropertyOf(adr, "ID_VENDOR"), UdevPropertyOf(adr, "ID_MODEL"), {}});
  }
  return out;
}

std::vector<int32_t> AllProfiles(burn_drive* d) {
  int n = 0, profiles[64];
  char current[64];
  burn_drive_get_all_profiles(d, &n, profiles, current);
  std::vector<int32_t> out(profiles, profiles + std::clamp(n, 0, 64));
  if (out.empty() && burn_drive_get_drive_role(d) != 1) {
    int pno = 0;
    char name[80];
    if (burn_disc_get_profile(d, &pno, name) == 1 && pno > 0) out.push_back(pno);
  }
  return out;
}

int32_t Clamp32(long long v) { return static_cast<int32_t>(std::clamp<long long>(v, 0, INT32_MAX)); }

// ---- service ---------------------------------------------------------------------------------------

class LibburnService;

class LibRecorder : public IDiscRecorderObject {
 public:
  explicit LibRecorder(std::shared_ptr<LibburnService> service) : service_(std::move(service)) {}
  void InitializeDiscRecorder(const std::string& uniqueId) override;
  std::string ActiveDiscRecorder() override { return adr_; }
  std::string VendorId() override { return known_.vendor; }
  std::string ProductId() override { return known_.product; }
  std::string ProductRevision() override { return known_.revision; }
  std::string VolumeName() override {
    if (IsImageAddress(adr_)) return {};
    const std::string label = UdevPropertyOf(adr_, "ID_FS_LABEL");
    return label;
  }
  std::string ExclusiveAccessOwner() override { return {}; }
  std::vector<std::string> VolumePathNames() override {
    if (IsImageAddress(adr_)) return {ImagePathOf(adr_)};
    return MountPointsOf(adr_);
  }
  // A mounted disc keeps the drive busy: the system is asked to unmount it (an image file may be
  // loop-mounted too).
  void PrepareForWrite() override { UnmountDevice(IsImageAddress(adr_) ? ImagePathOf(adr_) : adr_); }
  bool DeviceCanLoadMedia() override {
    if (IsImageAddress(adr_)) return false;
    auto drive = AcquireDrive(adr_);
    unsigned char flags = 0, len = 0;
    unsigned char* data = nullptr;
    const int r = burn_drive_get_feature(drive->d, 0x0003, &flags, &len, &data, nullptr);
    bool canLoad = false;
    // Removable-medium feature: loading mechanism type 0 is a caddy/slot, 1 a tray; bit 3 = eject.
    if (r > 0 && data && len >= 1) canLoad = ((data[0] >> 5) & 7) <= 1 && (data[0] & 0x08);
    std::free(data);
    return canLoad;
  }
  int32_t LegacyDeviceNumber() override {
    if (adr_.rfind("/dev/sr", 0) == 0) return std::atoi(adr_.c_str() + 7);
    return -1;
  }
  std::vector<int32_t> SupportedProfiles() override { return AllProfiles(AcquireDrive(adr_)->d); }
  std::vector<int32_t> CurrentProfiles() override {
    auto drive = AcquireDrive(adr_);
    int pno = 0;
    char name[80];
    if (burn_disc_get_profile(drive->d, &pno, name) == 1 && pno > 0) return {pno};
    return {};
  }
  // Mode pages are not reachable through libburn; the list stays empty.
  std::vector<int32_t> SupportedModePages() override { return {}; }

 private:
  std::shared_ptr<LibburnService> service_;
  std::string adr_;
  KnownDrive known_;
};

class LibImage : public IDiscImageStream,
                 public IDiscImageResult,
                 public std::enable_shared_from_this<LibImage> {
 public:
  // `files`: image path and local path of every file this session adds, read back after the write.
  LibImage(IsoImage* image, uint32_t flags, std::vector<std::pair<std::string, std::string>> files)
      : image_(image), flags_(flags), files_(std::move(files)) {
    iso_image_ref(image_);
  }
  ~LibImage() override { iso_image_unref(image_); }
  std::shared_ptr<IDiscImageStream> ImageStream() override { return shared_from_this(); }
  void SaveToFile(const std::string& path) override;
  IsoImage* Image() const { return image_; }
  uint32_t Flags() const { return flags_; }
  const std::vector<std::pair<std::string, std::string>>& Files() const { return files_; }

 private:
  IsoImage* image_;
  uint32_t flags_;
  std::vector<std::pair<std::string, std::string>> files_;
};

class LibWriter : public IDiscDataWriter {
 public:
  explicit LibWriter(int pollMs) : pollMs_(pollMs) {}
  void SetRecorder(IDiscRecorderObject* recorder) override {
    SetAddress(recorder ? recorder->ActiveDiscRecorder() : std::string());
  }
  void SetAddress(const std::string& adr) {
    adr_ = adr;
    drive_.reset();
    if (!adr_.empty()) drive_ = AcquireDrive(adr_);
  }
  bool IsRecorderSupported(IDiscRecorderObject* recorder) override {
    if (!recorder) return false;
    auto drive = AcquireDrive(recorder->ActiveDiscRecorder());
    if (burn_drive_get_drive_role(drive->d) == 4) return false;
    for (int32_t p : AllProfiles(drive->d)) {
      if (IsWritableProfile(p)) return true;
    }
    return false;
  }
  bool IsCurrentMediaSupported(IDiscRecorderObject* recorder) override {
    if (!recorder) return false;
    auto drive = AcquireDrive(recorder->ActiveDiscRecorder());
    burn_multi_caps* caps = nullptr;
    const int r = burn_disc_get_multi_caps(drive->d, BURN_WRITE_NONE, &caps, 0);
    if (caps) burn_disc_free_multi_caps(&caps);
    DiscardMessages();
    return r > 0;
  }
  bool MediaPhysicallyBlank() override { return burn_disc_get_status(D()) == BURN_DISC_BLANK; }
  bool MediaHeuristicallyBlank() override { return isoburn_disc_get_status(D()) == BURN_DISC_BLANK; }
  std::vector<int32_t> SupportedMediaTypes() override {
    std::vector<int32_t> out;
    for (int32_t p : AllProfiles(D())) {
      const int m = MediaTypeOfProfile(p);
      if (m && std::find(out.begin(), out.end(), m) == out.end()) out.push_back(m);
    }
    return out;
  }
  int32_t CurrentPhysicalMediaType() override {
    int pno = 0;
    char name[80];
    if (burn_disc_get_profile(D(), &pno, name) != 1) return 0;
    return MediaTypeOfProfile(pno);
  }
  uint32_t CurrentMediaStatus() override;
  uint32_t WriteProtectStatus() override {
    burn_drive* d = D();
    if (burn_drive_get_drive_role(d) == 4) return 0x4000;
    int pno = 0;
    char name[80];
    if (burn_disc_get_profile(d, &pno, name) == 1 &&
        (pno == 0x08 || pno == 0x10 || pno == 0x40 || pno == 0x50))
      return 0x4000;
    return 0;
  }
  int32_t TotalSectorsOnMedia() override {
    return Clamp32(static_cast<long long>(NextWritableAddress()) + FreeSectorsOnMedia());
  }
  int32_t FreeSectorsOnMedia() override {
    burn_drive* d = D();
    if (isoburn_disc_get_status(d) == BURN_DISC_FULL) return 0;
    return Clamp32(isoburn_disc_available_space(d, nullptr) / 2048);
  }
  int32_t NextWritableAddress() override {
    int lba = 0, nwa = 0;
    burn_drive* d = D();
    const int r = isoburn_disc_track_lba_nwa(d, nullptr, 0, &lba, &nwa);
    DiscardMessages();
    return r == 1 ? nwa : 0;
  }
  int32_t CurrentWriteSpeed() override { return burn_drive_get_write_speed(D()); }
  bool CurrentRotationTypeIsPureCAV() override { return false; }
  // Name, compatibility mode and postgap have no counterpart in libburn; they are kept, not used.
  void SetClientName(const std::string& name) override { clientName_ = name; }
  void SetDisableConsumerDvdCompatibilityMode(bool v) override { dvdCompatDisabled_ = v; }
  void SetBufferUnderrunFreeDisabled(bool v) override { underrunFreeDisabled_ = v; }
  void SetForceMediaToBeClosed(bool v) override { close_ = v; }
  void SetForceOverwrite(bool v) override { forceOverwrite_ = v; }
  void SetPostgapAlreadyInImage(bool v) override { postgap_ = v; }
  void SetWriteSpeed(int32_t speed, bool pureCav) override {
    speed_ = speed;
    cav_ = pureCav;
  }
  bool OffersVerification() override { return true; }
  void SetVerificationLevel(int32_t level) override { verification_ = level; }
  TMultisessionInterfaces MultisessionInterfaces() override {
    D();
    return drive_;
  }
  void Write(IDiscImageStream& stream,
             const std::function<void(const DiscProgressNotice&)>& progress) override;
  void ReleaseDrive() override { drive_.reset(); }
  void CancelWrite() override {
    if (!writing_ || !drive_) return;
    if (started_) {
      burn_drive_cancel(drive_->d);
    } else {
      cancelPending_ = true;
    }
  }

 private:
  burn_drive* D() {
    if (adr_.empty()) throw EDiscServiceError("No recorder is set for the data writer");
    if (!drive_) drive_ = AcquireDrive(adr_);
    return drive_->d;
  }
  struct SessionChecksum {
    bool valid = false;
    uint32_t start = 0, end = 0;
    char md5[16] = {0};
  };
  void Verify(burn_drive* d, const std::function<void(const DiscProgressNotice&)>& progress,
              DiscProgressNotice notice, const SessionChecksum& sum);
  void ReadBack(burn_drive* d, const std::vector<std::pair<std::string, std::string>>& files,
                const std::function<void(const DiscProgressNotice&)>& progress, DiscProgressNotice notice);
  void StopIfCancelled() {
    if (cancelPending_) throw EDiscServiceError("Verification canceled");
  }

  int pollMs_;
  std::string adr_;
  std::shared_ptr<Drive> drive_;
  std::string clientName_;
  bool dvdCompatDisabled_ = false, underrunFreeDisabled_ = false, close_ = false, forceOverwrite_ = false,
       postgap_ = false, cav_ = false, writing_ = false, started_ = false, cancelPending_ = false;
  int32_t speed_ = -1, verification_ = 0;
};

uint32_t LibWriter::CurrentMediaStatus() {
  burn_drive* d = D();
  uint32_t word = 0;
  int pno = 0;
  char name[80];
  burn_disc_get_profile(d, &pno, name);
  if (pno == 0x12 || pno == 0x13 || pno == 0x1A || pno == 0x2A || pno == 0x43 || pno == 0xFFFF)
    word |= 0x0001;
  switch (isoburn_disc_get_status(d)) {
    case BURN_DISC_BLANK: word |= 0x0002; break;
    case BURN_DISC_APPENDABLE: word |= 0x0004 | 0x1000; break;
    case BURN_DISC_FULL:
      word |= 0x4000 | 0x1000 | 0x0008;
      if (isoburn_disc_erasable(d)) word |= 0x0800;
      break;
    case BURN_DISC_UNSUITABLE: word |= 0x8000; break;
    default: break;
  }
  if (burn_disc_next_track_is_damaged(d, 0) & 1) word |= 0x0400;
  if (WriteProtectStatus() != 0) word |= 0x2000;
  DiscardMessages();
  return word;
}

int ActionOfStatus(burn_drive_status s) {
  switch (s) {
    case BURN_DRIVE_SPAWNING:
    case BURN_DRIVE_GRABBING: return 2;
    case BURN_DRIVE_FORMATTING:
    case BURN_DRIVE_ERASING: return 1;
    case BURN_DRIVE_WRITING_LEADIN:
    case BURN_DRIVE_WRITING_PREGAP: return 3;
    case BURN_DRIVE_WRITING: return 4;
    case BURN_DRIVE_WRITING_LEADOUT:
    case BURN_DRIVE_CLOSING_TRACK:
    case BURN_DRIVE_CLOSING_SESSION: return 5;
    case BURN_DRIVE_IDLE: return 6;
    default: return 0;
  }
}

void LibWriter::Write(IDiscImageStream& stream,
                      const std::function<void(const DiscProgressNotice&)>& progress) {
  auto* image = dynamic_cast<LibImage*>(&stream);
  if (!image) throw EDiscServiceError("The image was not made by this disc service");
  burn_drive* d = D();
  std::shared_ptr<Drive> keep = drive_;
  DiscardMessages();
  if (forceOverwrite_ && isoburn_disc_get_status(d) != BURN_DISC_BLANK) {
    // The old sessions go. Overwritable media (image files, DVD+RW, BD-RE) start afresh when the
    // drive is looked at again as blank; sequential rewritable media are erased.
    isoburn_drive_aquire(&drive_->info, const_cast<char*>(adr_.c_str()), (1 << 8) | (1 << 1));
    if (isoburn_disc_get_status(d) != BURN_DISC_BLANK && isoburn_disc_erasable(d)) {
      isoburn_disc_erase(d, 1);
      while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(pollMs_, 1)));
    }
    if (isoburn_disc_get_status(d) != BURN_DISC_BLANK)
      throw EDiscServiceError("The disc cannot be overwritten. " + TakeLibraryMessage());
  }
  IsoImage* attached = isoburn_get_attached_image(d);
  if (attached) iso_image_unref(attached);  // the call hands out a reference of its own
  if (attached != image->Image()) {
    iso_image_ref(image->Image());  // the drive takes this reference
    if (isoburn_attach_image(d, image->Image()) <= 0) Fail();
  }
  isoburn_imgen_opts* io = nullptr;
  if (isoburn_igopt_new(&io, 0) <= 0) Fail();
  isoburn_igopt_set_level(io, 3);
  // ISO 9660 carries Rock Ridge always; Joliet on request. UDF has no writer here and is left out.
  int extensions = isoburn_igopt_rockridge | ((image->Flags() & 2) ? isoburn_igopt_joliet : 0);
  // Full verification compares the written blocks with the checksum the image writer records.
  if (verification_ >= 2) extensions |= isoburn_igopt_session_md5;
  isoburn_igopt_set_extensions(io, extensions);
  burn_disc* disc = nullptr;
  if (isoburn_prepare_disc(d, &disc, io) <= 0) {
    const std::string lib = TakeLibraryMessage();
    isoburn_igopt_destroy(&io, 0);
    Raise(lib);
  }
  burn_write_opts* wo = burn_write_opts_new(d);
  auto cleanup = [&](bool cancelPrepared) {
    if (cancelPrepared) isoburn_cancel_prepared_write(d, nullptr, 0);
    isoburn_sync_after_write(d, nullptr, 0);
    if (disc) burn_disc_free(disc);
    if (wo) burn_write_opts_free(wo);
    isoburn_igopt_destroy(&io, 0);
  };
  if (!wo) {
    const std::string lib = TakeLibraryMessage();
    cleanup(true);
    Raise(lib);
  }
  burn_multi_caps* caps = nullptr;
  int multi = 0;
  if (burn_disc_get_multi_caps(d, BURN_WRITE_NONE, &caps, 0) > 0 && caps) multi = caps->multi_session;
  if (caps) burn_disc_free_multi_caps(&caps);
  burn_write_opts_set_multi(wo, !close_ && multi);
  burn_write_opts_set_underrun_proof(wo, underrunFreeDisabled_ ? 0 : 1);
  burn_write_opts_set_simulate(wo, 0);
  char reasons[BURN_REASONS_LEN] = {0};
  if (burn_write_opts_auto_write_type(wo, disc, reasons, 0) == BURN_WRITE_NONE) {
    TakeLibraryMessage();
    cleanup(true);
    throw EDiscServiceError(std::string("The medium cannot take this session: ") + reasons);
  }
  // The speed is given in kB/s; -1 or 0 asks for the drive's best speed. Pure CAV has no switch of
  // its own: the drive's speed descriptors mark CAV speeds, and the fastest one allowed is asked for.
  int kbps = speed_ > 0 ? speed_ : 0;
  burn_speed_descriptor* speeds = nullptr;
  if (cav_ && burn_drive_get_speedlist(d, &speeds) > 0) {
    int cav = 0;
    for (burn_speed_descriptor* sd = speeds; sd; sd = sd->next) {
      if (sd->wrc == 1 && (kbps == 0 || sd->write_speed <= kbps)) cav = std::max(cav, sd->write_speed);
    }
    burn_drive_free_speedlist(&speeds);
    if (cav > 0) kbps = cav;
  }
  burn_drive_set_speed(d, 0, kbps);
  DiscardMessages();

  QElapsedTimer clock;
  clock.start();
  DiscProgressNotice notice;
  auto fill = [&](burn_drive_status s, const burn_progress& p) {
    const int elapsed = static_cast<int>(clock.elapsed() / 1000);
    notice.ElapsedTime = elapsed;
    if (p.sectors > 0) {
      notice.SectorCount = p.sectors;
      notice.StartLba = p.start_sector;
      if (p.sector > 0) {
        notice.LastWrittenLba = p.start_sector + p.sector - 1;
        notice.RemainingTime = static_cast<int32_t>(static_cast<long long>(clock.elapsed()) *
                                                    (p.sectors - p.sector) / p.sector / 1000);
      }
    }
    notice.TotalTime = notice.ElapsedTime + notice.RemainingTime;
    int size = 0, freeBytes = 0;
    char* text = nullptr;
    if (isoburn_get_fifo_status(d, &size, &freeBytes, &text) >= 0) {
      notice.TotalSystemBuffer = size;
      notice.FreeSystemBuffer = freeBytes;
      notice.UsedSystemBuffer = size - freeBytes;
      notice.LastReadLba = notice.LastWrittenLba + (size - freeBytes) / 2048;
    }
    notice.CurrentAction = ActionOfStatus(s);
  };

  auto abandon = [&] {
    burn_drive_cancel(d);
    while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    writing_ = false;
    started_ = false;
    cleanup(true);
    drive_.reset();
  };
  // The first notice comes before any data moves, so that a cancel given there leaves the disc as it was.
  writing_ = true;
  started_ = false;
  cancelPending_ = false;
  burn_progress p{};
  burn_drive_status s = BURN_DRIVE_SPAWNING;
  // A handler that throws leaves the write abandoned, never half running.
  auto notify = [&]() {
    fill(s, p);
    if (!progress) return;
    try {
      progress(notice);
    } catch (...) {
      abandon();
      throw;
    }
  };
  notify();
  if (cancelPending_) {
    abandon();
    Raise(TakeLibraryMessage(), "Burn run canceled");
  }
  started_ = true;
  isoburn_disc_write(wo, disc);
  s = burn_drive_get_status(d, &p);
  // The drive state is looked at often so that the end of a write is seen at once; the notices
  // (and the repaints of whoever listens) come at the slower notice interval.
  const int checkMs = std::clamp(pollMs_, 1, 10);
  QElapsedTimer sinceNotice;
  sinceNotice.start();
  while (s != BURN_DRIVE_IDLE) {
    std::this_thread::sleep_for(std::chrono::milliseconds(checkMs));
    s = burn_drive_get_status(d, &p);
    if (s == BURN_DRIVE_IDLE) break;
    if (sinceNotice.elapsed() < pollMs_) continue;
    sinceNotice.restart();
    notify();
  }
  started_ = false;
  writing_ = false;
  bool ok = isoburn_drive_wrote_well(d) == 1;
  std::string lib;
  if (ok) {
    ok = isoburn_activate_session(d) > 0;
    if (!ok) lib = TakeLibraryMessage();
    cleanup(false);
  } else {
    lib = TakeLibraryMessage();
    cleanup(true);
  }
  // The medium changed under the held drive: the next question acquires it afresh.
  drive_.reset();
  keep.reset();
  if (!ok) {
    Raise(lib, "Burn run canceled");
  }
  SessionChecksum sum;
  if (verification_ >= 2) {
    uint32_t start = 0, end = 0;
    sum.valid = iso_image_get_session_md5(image->Image(), &start, &end, sum.md5, 0) == 1;
    sum.start = start;
    sum.end = end;
    if (!sum.valid) throw EDiscServiceError("Verification failed: the image writer recorded no checksum");
  }
  // From here on a cancel stops the verification (the session itself is written).
  writing_ = true;
  cancelPending_ = false;
  struct Idle {
    bool& flag;
    ~Idle() { flag = false; }
  } idle{writing_};
  if (verification_ > 0) Verify(D(), progress, notice, sum);
  ReadBack(D(), image->Files(), progress, notice);
  if (progress) {
    notice.CurrentAction = 6;
    progress(notice);
  }
}

void LibWriter::Verify(burn_drive* d, const std::function<void(const DiscProgressNotice&)>& progress,
                       DiscProgressNotice notice, const SessionChecksum& sum) {
  notice.CurrentAction = 7;
  if (progress) progress(notice);
  if (sum.valid) {
    // Full: every block of the new session read back and checked against the recorded MD5.
    void* ctx = nullptr;
    if (iso_md5_start(&ctx) < 0) Fail();
    std::vector<char> buf(32 * 2048);
    bool ok = true;
    for (uint32_t lba = sum.start; ok && lba < sum.end;) {
      const uint32_t n = std::min<uint32_t>(32, sum.end - lba);
      off_t got = 0;
      ok = burn_read_data(d, static_cast<off_t>(lba) * 2048, buf.data(), static_cast<off_t>(n) * 2048, &got,
                          1) > 0 &&
           got == static_cast<off_t>(n) * 2048;
      if (ok) iso_md5_compute(ctx, buf.data(), static_cast<int>(got));
      lba += n;
      if (progress && ok) {
        notice.LastReadLba = static_cast<int32_t>(lba);
        progress(notice);
        StopIfCancelled();
      }
    }
    char md5[16];
    iso_md5_end(&ctx, md5);
    DiscardMessages();
    if (!ok) throw EDiscServiceError("Verification failed: the written session cannot be read back");
    if (!iso_md5_match(md5, const_cast<char*>(sum.md5))) {
      throw EDiscServiceError("Verification failed: the data read back differs from the data written");
    }
    return;
  }
  // Quick: the newest session's head reads back from the medium.
  int start = 0;
  if (isoburn_disc_get_msc1(d, &start) <= 0) Fail();
  int blocks = 0;
  char info[2048];
  if (isoburn_read_iso_head(d, start, &blocks, info, 0) <= 0) {
    throw EDiscServiceError("Verification failed: the written session cannot be read back");
  }
  DiscardMessages();
}

// Loads the session just written from the medium and reads every file it added through the library,
// comparing byte for byte with the file it came from: success is only reported for data on the disc.
void LibWriter::ReadBack(burn_drive* d, const std::vector<std::pair<std::string, std::string>>& files,
                         const std::function<void(const DiscProgressNotice&)>& progress,
                         DiscProgressNotice notice) {
  notice.CurrentAction = 7;
  DiscardMessages();
  isoburn_read_opts* ro = nullptr;
  if (isoburn_ropt_new(&ro, 0) <= 0) Fail();
  isoburn_ropt_set_extensions(ro, isoburn_ropt_noaaip | isoburn_ropt_noacl | isoburn_ropt_noea);
  IsoImage* disc = nullptr;
  const int r = isoburn_read_image(d, ro, &disc);
  isoburn_ropt_destroy(&ro, 0);
  if (r <= 0 || !disc) {
    throw EDiscServiceError("Verification failed: the new session cannot be read from the disc. " +
                            TakeLibraryMessage());
  }
  std::unique_ptr<IsoImage, void (*)(IsoImage*)> owner(disc, iso_image_unref);
  std::vector<char> mine(64 * 1024), theirs(64 * 1024);
  for (const auto& [isoPath, localPath] : files) {
    const std::string missing = "Verification failed: " + isoPath + " is not on the disc as written";
    IsoNode* node = nullptr;
    if (iso_tree_path_to_node(disc, isoPath.c_str(), &node) != 1 || iso_node_get_type(node) != LIBISO_FILE) {
      throw EDiscServiceError(missing);
    }
    IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
    std::ifstream local(localPath, std::ios::binary);
    if (!local) throw EDiscServiceError("Verification failed: cannot read " + localPath);
    if (iso_stream_open(stream) < 0) throw EDiscServiceError(missing + ". " + TakeLibraryMessage());
    bool same = true;
    for (;;) {
      local.read(mine.data(), static_cast<std::streamsize>(mine.size()));
      const auto want = static_cast<int>(local.gcount());
      int got = 0;
      while (got < want) {
        const int n = iso_stream_read(stream, theirs.data() + got, static_cast<size_t>(want - got));
        if (n <= 0) break;
        got += n;
      }
      if (got != want || std::memcmp(mine.data(), theirs.data(), static_cast<size_t>(want)) != 0) {
        same = false;
        break;
      }
      if (want == 0) {
        same = iso_stream_read(stream, theirs.data(), 1) == 0;  // nothing more on the disc either
        break;
      }
      if (progress) progress(notice);
      if (cancelPending_) break;
    }
    iso_stream_close(stream);
    StopIfCancelled();
    if (!same)
      throw EDiscServiceError("Verification failed: " + isoPath +
                              " on the disc differs from the file written");
  }
  DiscardMessages();
}

// The image file is written like a disc, afresh, and read back.
void LibImage::SaveToFile(const std::string& path) {
  LibWriter writer(5);
  writer.SetAddress(ImageTargetAddress(path));
  writer.SetForceOverwrite(true);
  writer.Write(*this, {});
}

class LibBuilder : public IDiscImageBuilder {
 public:
  ~LibBuilder() override {
    if (image_) iso_image_unref(image_);
  }
  void ChooseImageDefaults(IDiscRecorderObject*) override {}
  void ChooseImageDefaultsForMediaType(int32_t mediaType) override { mediaType_ = mediaType; }
  void SetMultisessionInterfaces(TMultisessionInterfaces interfaces) override {
    drive_ = std::static_pointer_cast<Drive>(interfaces);
  }
  void ImportFileSystem(const std::function<void(const DiscImportNotice&)>& notice) override;
  void SetFileSystemsToCreate(uint32_t flags) override { flags_ = flags; }
  void SetWorkingDirectory(const std::string& folder) override { workingDirectory_ = folder; }
  void SetVolumeName(const std::string& name) override {
    Ensure();
    iso_image_set_volume_id(image_, IsoVolumeIdOf(name).c_str());
  }
  void SetUpdateSink(std::function<void(const std::string&, int32_t, int32_t)> sink) override {
    sink_ = std::move(sink);
  }
  void AddTree(const std::string& folder, bool includeBaseDirectory) override;
  void RemoveTree(const std::string& imagePath) override;
  std::shared_ptr<IDiscImageResult> CreateResultImage() override {
    Ensure();
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& f : files_) {
      IsoNode* node = nullptr;
      if (iso_tree_path_to_node(image_, f.first.c_str(), &node) == 1) files.push_back(f);
    }
    return std::make_shared<LibImage>(image_, flags_, std::move(files));
  }

 private:
  static int ReadPacifier(IsoImage* image, IsoFileSource* src);
  void Ensure() {
    if (image_) return;
    if (!g_libOk) throw EDiscServiceError(g_libError);
    if (iso_image_new("ISOIMAGE", &image_) < 0) Fail();
    iso_tree_set_follow_symlinks(image_, 0);
    iso_tree_set_ignore_hidden(image_, 0);
  }
  void AddEntries(const QString& folder, IsoDir* parent);
  void Report(const QString& path, long long size);

  IsoImage* image_ = nullptr;
  std::shared_ptr<Drive> drive_;
  uint32_t flags_ = 3;
  int32_t mediaType_ = 0;
  std::string workingDirectory_;
  std::function<void(const std::string&, int32_t, int32_t)> sink_;
  std::function<void(const DiscImportNotice&)> importNotice_;
  DiscImportNotice importState_;
  long long copiedSectors_ = 0, totalSectors_ = 0;
  std::vector<std::pair<std::string, std::string>> files_;
};

int LibBuilder::ReadPacifier(IsoImage* image, IsoFileSource* src) {
  auto* self = static_cast<LibBuilder*>(iso_image_get_attached_data(image));
  if (!self || !self->importNotice_) return 1;
  struct stat st {};
  DiscImportNotice& n = self->importState_;
  if (src && iso_file_source_lstat(src, &st) >= 0) {
    if (S_ISDIR(st.st_mode)) {
      ++n.ImportedDirectoryItems;
    } else {
      ++n.ImportedFileItems;
    }
  }
  if (src) {
    char* path = iso_file_source_get_path(src);
    n.CurrentItem = path ? path : "";
    std::free(path);
  }
  // The library does not know the totals in advance; they grow with the items seen so far.
  n.TotalDirectoryItems = n.ImportedDirectoryItems;
  n.TotalFileItems = n.ImportedFileItems;
  self->importNotice_(n);
  return 1;
}

void LibBuilder::ImportFileSystem(const std::function<void(const DiscImportNotice&)>& notice) {
  if (!drive_) throw EDiscServiceError(kEarlierSessions);
  DiscardMessages();
  isoburn_read_opts* ro = nullptr;
  if (isoburn_ropt_new(&ro, 0) <= 0) Fail();
  isoburn_ropt_set_extensions(
      ro, isoburn_ropt_noiso1999 | isoburn_ropt_noaaip | isoburn_ropt_noacl | isoburn_ropt_noea);
  importNotice_ = notice;
  importState_ = DiscImportNotice{};
  importState_.FileSystems = 1 | 2;
  if (notice) isoburn_set_read_pacifier(drive_->d, &LibBuilder::ReadPacifier, this);
  IsoImage* read = nullptr;
  const int r = isoburn_read_image(drive_->d, ro, &read);
  if (notice) isoburn_set_read_pacifier(drive_->d, nullptr, nullptr);
  importNotice_ = nullptr;
  isoburn_ropt_destroy(&ro, 0);
  if (r <= 0 || !read) Fail(kEarlierSessions);
  if (image_) iso_image_unref(image_);
  image_ = read;
  iso_tree_set_follow_symlinks(image_, 0);
  iso_tree_set_ignore_hidden(image_, 0);
}

void LibBuilder::Report(const QString& path, long long size) {
  copiedSectors_ += (size + 2047) / 2048;
  if (sink_) sink_(path.toStdString(), Clamp32(copiedSectors_), Clamp32(totalSectors_));
}

// Adds the folder's entries below `parent`. Folders that are already in the image (an earlier
// session) are merged into; a file whose name is taken stops the build rather than being dropped.
void LibBuilder::AddEntries(const QString& folder, IsoDir* parent) {
  QDir dir(folder);
  const QFileInfoList entries =
      dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
  if (!dir.exists() || !dir.isReadable()) {
    throw EDiscServiceError("Cannot read the folder " + folder.toStdString());
  }
  for (const QFileInfo& fi : entries) {
    const QByteArray name = QFile::encodeName(fi.fileName());
    const QByteArray full = QFile::encodeName(fi.absoluteFilePath());
    IsoNode* existing = nullptr;
    const bool taken = iso_dir_get_node(parent, name.constData(), &existing) == 1;
    if (fi.isDir() && !fi.isSymLink()) {
      IsoDir* sub = nullptr;
      if (taken) {
        if (iso_node_get_type(existing) != LIBISO_DIR) {
          throw EDiscServiceError("\"" + fi.fileName().toStdString() + "\" already exists on the disc");
        }
        sub = reinterpret_cast<IsoDir*>(existing);
      } else {
        // Only the folder itself: its entries follow one by one.
        IsoNode* node = nullptr;
        if (iso_tree_add_node(image_, parent, full.constData(), &node) < 0) Fail();
        sub = reinterpret_cast<IsoDir*>(node);
      }
      Report(fi.absoluteFilePath(), 0);
      AddEntries(fi.absoluteFilePath(), sub);
      continue;
    }
    if (taken) {
      throw EDiscServiceError("\"" + fi.fileName().toStdString() + "\" already exists on the disc");
    }
    if (!fi.isSymLink() && !fi.isReadable()) {
      throw EDiscServiceError("Cannot read the file " + fi.absoluteFilePath().toStdString());
    }
    IsoNode* node = nullptr;
    if (iso_tree_add_node(image_, parent, full.constData(), &node) < 0) Fail();
    if (!fi.isSymLink()) {
      char* isoPath = iso_tree_get_node_path(node);
      if (isoPath) files_.emplace_back(isoPath, full.toStdString());
      std::free(isoPath);
    }
    Report(fi.absoluteFilePath(), fi.isSymLink() ? 0 : fi.size());
  }
}

// Rock Ridge and Joliet carry UTF-8 names. A name in another encoding would not survive the trip
// through Qt's file names and would be left off the disc, so it stops the build instead. Gives the
// sectors of the files below, for the progress notices.
long long CheckedSectorsBelow(const QByteArray& folder) {
  DIR* dir = ::opendir(folder.constData());
  if (!dir) return 0;  // the walk that follows reports unreadable folders
  std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
  long long total = 0;
  while (const dirent* e = ::readdir(dir)) {
    const QByteArray name(e->d_name);
    if (name == "." || name == "..") continue;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(name);
    if (utf8.hasError()) {
      throw EDiscServiceError("The name \"" + text.toStdString() + "\" in " + folder.toStdString() +
                              " is not UTF-8 text and cannot be written to the disc");
    }
    const QByteArray full = folder + '/' + name;
    struct stat st {};
    if (::lstat(full.constData(), &st) != 0) continue;
    total += S_ISDIR(st.st_mode)   ? CheckedSectorsBelow(full)
             : S_ISREG(st.st_mode) ? (st.st_size + 2047) / 2048
                                   : 0;
  }
  return total;
}

void LibBuilder::AddTree(const std::string& folder, bool includeBaseDirectory) {
  Ensure();
  DiscardMessages();
  const QString path = QDir::cleanPath(QFileInfo(QString::fromStdString(folder)).absoluteFilePath());
  QFileInfo fi(path);
  if (!fi.exists() || !fi.isDir()) throw EDiscServiceError("The folder " + folder + " does not exist");
  copiedSectors_ = 0;
  totalSectors_ = CheckedSectorsBelow(QFile::encodeName(path));
  IsoDir* target = iso_image_get_root(image_);
  if (includeBaseDirectory && !fi.isRoot()) {
    const QByteArray name = QFile::encodeName(fi.fileName());
    IsoNode* existing = nullptr;
    if (iso_dir_get_node(target, name.constData(), &existing) == 1) {
      if (iso_node_get_type(existing) != LIBISO_DIR) {
        throw EDiscServiceError("\"" + fi.fileName().toStdString() + "\" already exists on the disc");
      }
      target = reinterpret_cast<IsoDir*>(existing);
    } else {
      IsoNode* node = nullptr;
      if (iso_tree_add_node(image_, target, QFile::encodeName(path).constData(), &node) < 0) Fail();
      target = reinterpret_cast<IsoDir*>(node);
    }
  }
  AddEntries(path, target);
}

void LibBuilder::RemoveTree(const std::string& imagePath) {
  Ensure();
  DiscardMessages();
  std::string p = imagePath;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.empty() || p[0] != '/') p = "/" + p;
  IsoNode* node = nullptr;
  // A path that is not in the image leaves nothing to remove.
  if (iso_image_path_to_node(image_, p.c_str(), &node) != 1 || !node) return;
  if (node == reinterpret_cast<IsoNode*>(iso_image_get_root(image_))) {
    IsoDirIter* it = nullptr;
    if (iso_dir_get_children(iso_image_get_root(image_), &it) < 0) Fail();
    IsoNode* child = nullptr;
    while (iso_dir_iter_next(it, &child) == 1) {
      if (iso_node_remove_tree(child, it) < 0) {
        iso_dir_iter_free(it);
        Fail();
      }
    }
    iso_dir_iter_free(it);
    return;
  }
  if (iso_node_remove_tree(node, nullptr) < 0) Fail();
}

class LibburnService : public IDiscService, public std::enable_shared_from_this<LibburnService> {
 public:
  explicit LibburnService(LibburnServiceOptions options) : options_(std::move(options)) {
    EnsureLibraries();
    if (!g_libOk) throw EDiscServiceError(g_libError);
    Refresh();
  }
  ~LibburnService() override = default;

  int32_t Count() override {
    if (dirty_ && !AnyDriveHeld()) Refresh();
    return static_cast<int32_t>(drives_.size());
  }
  std::string Item(int32_t index) override {
    if (index < 0 || index >= static_cast<int32_t>(drives_.size())) throw EDiscServiceError("Invalid index");
    return drives_[static_cast<size_t>(index)].adr;
  }
  bool IsSupportedEnvironment() override { return g_libOk; }
  std::unique_ptr<IDiscRecorderObject> CreateRecorder() override {
    return std::make_unique<LibRecorder>(shared_from_this());
  }
  std::unique_ptr<IDiscDataWriter> CreateDataWriter() override {
    return std::make_unique<LibWriter>(options_.PollIntervalMs);
  }
  std::unique_ptr<IDiscImageBuilder> CreateImageBuilder() override { return std::make_unique<LibBuilder>(); }

  int Subscribe(TDeviceNoticeSink sink) override {
    auto monitor = std::make_unique<TDiscDeviceMonitor>();
    if (!monitor->Active()) return 0;
    const int cookie = ++lastCookie_;
    std::weak_ptr<LibburnService> weak = weak_from_this();
    monitor->OnRecorderAdded = [weak, sink](const std::string& node) {
      if (auto self = weak.lock()) self->dirty_ = true;
      if (sink) sink(true, node);
    };
    monitor->OnRecorderRemoved = [weak, sink](const std::string& node) {
      if (auto self = weak.lock()) self->dirty_ = true;
      if (sink) sink(false, node);
    };
    monitors_[cookie] = std::move(monitor);
    return cookie;
  }
  void Unsubscribe(int cookie) override { monitors_.erase(cookie); }

  bool Find(const std::string& adr, KnownDrive& out) const {
    for (const KnownDrive& k : drives_) {
      if (k.adr == adr) {
        out = k;
        return true;
      }
    }
    return false;
  }

 private:
  void Refresh() {
    dirty_ = false;
    drives_.clear();
    if (options_.ScanRealDrives) drives_ = ScanOpticalDrives();
    const std::vector<std::string> targets = options_.ImageTargets;
    for (const std::string& t : targets) AddImageTarget(t);
  }

 public:
  int32_t AddImageTarget(const std::string& path) override {
    KnownDrive k;
    k.adr = ImageTargetAddress(path);
    k.product = "Image file";
    auto at =
        std::find_if(drives_.begin(), drives_.end(), [&](const KnownDrive& d) { return d.adr == k.adr; });
    if (at == drives_.end()) {
      if (std::find(options_.ImageTargets.begin(), options_.ImageTargets.end(), path) ==
          options_.ImageTargets.end())
        options_.ImageTargets.push_back(path);  // kept over a rescan
      at = drives_.insert(drives_.end(), k);
    }
    return static_cast<int32_t>(at - drives_.begin()) + 1;
  }

 private:
  LibburnServiceOptions options_;
  std::vector<KnownDrive> drives_;
  bool dirty_ = false;
  int lastCookie_ = 0;
  std::map<int, std::unique_ptr<TDiscDeviceMonitor>> monitors_;
};

void LibRecorder::InitializeDiscRecorder(const std::string& uniqueId) {
  KnownDrive k;
  if (!service_->Find(uniqueId, k)) throw EDiscServiceError("Unknown recorder " + uniqueId);
  adr_ = uniqueId;
  known_ = k;
}

}  // namespace

std::shared_ptr<IDiscService> CreateLibburnService(const LibburnServiceOptions& options) {
  return std::make_shared<LibburnService>(options);
}
