// The drive access over libburn and libisoburn: starting the libraries, their messages, holding a
// drive, the facts of its medium, and the list of recorders (the IDiscDrives of the program).
#include "disc/Libburn.h"

#include <QDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "disc/Mounts.h"
#include "support/TextUtils.h"
#include "support/Udev.h"

namespace discdrive {

namespace {

std::string g_libError;  // set when the libraries cannot be started
std::atomic<int> g_drivesHeld{0};

std::string AcquireFailureText(const std::string& adr, const std::string& lib) {
  if (IsImageAddress(adr))
    return "Cannot open the image file " + ImagePathOf(adr) + (lib.empty() ? "" : ": " + lib);
  if (::access(adr.c_str(), F_OK) == 0 && ::access(adr.c_str(), R_OK | W_OK) != 0)
    return "No read-write access to the recorder " + adr +
           ". The user must be a member of the group \"cdrom\" (log in again after joining it).";
  const std::vector<std::string> mounts = MountPointsOf(adr);
  if (!mounts.empty())
    return "The disc in the recorder " + adr + " is mounted at " + mounts.front() + ". Unmount it first.";
  return "Cannot open the recorder " + adr + (lib.empty() ? "" : ": " + lib);
}

// A udev property of a drive given by its device node; empty when unknown.
std::string UdevPropertyOf(const std::string& devnode, const char* key) {
  return UdevDeviceOfNode(devnode).Property(key);
}

}  // namespace

void QueueDebugMessages(bool on) {
  burn_msgs_set_severities(const_cast<char*>(on ? "DEBUG" : "SORRY"), const_cast<char*>("NEVER"),
                           const_cast<char*>("vq: "));
}

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
    QueueDebugMessages(false);
    iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                            const_cast<char*>("vq: "));
    iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
    burn_allow_drive_role_4(kAllowReadOnlyRoles);  // read-only image files show as write-protected media
    // The libraries are shut down once, at exit; a drive still held then (a leak) is left to the system.
    std::atexit([] {
      if (g_drivesHeld == 0) isoburn_finish();
    });
  });
  if (!g_libError.empty()) throw EDiscServiceError(g_libError);
}

void TLibraryMessages::Drain() {
  int severe = 0, floor = 0, code = 0, osErrno = 0, imgid = 0;
  burn_text_to_sev(const_cast<char*>("SORRY"), &floor, 0);
  char message[BURN_MSGS_MESSAGE_LEN], severity[80];
  auto consider = [&](std::string said, int os) {
    if (burn_text_to_sev(severity, &severe, 0) <= 0 || severe < floor) return;
    // The library's last word often comes after, and ranks above, the failed system call that caused
    // it ("Burn run failed" after a write that ran out of room): the system's reason is kept apart.
    if (os && systemReason.empty()) systemReason = std::strerror(os);
    if (severe > rank) rank = severe, text = std::move(said);
  };
  while (burn_msgs_obtain(const_cast<char*>("ALL"), &code, message, &osErrno, severity) == 1) {
    if (code == kWriteThreadEnded) writeEnded = true;
    consider(message, osErrno);
  }
  while (iso_obtain_msgs(const_cast<char*>("ALL"), &code, &imgid, message, severity) == 1)
    consider(message, 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
}

std::string TLibraryMessages::Text() const {
  if (systemReason.empty() || text.find(systemReason) != std::string::npos) return text;
  return text.empty() ? systemReason : text + " (" + systemReason + ")";
}

std::string TakeLibraryMessage() {
  TLibraryMessages said;
  said.Drain();
  return said.Text();
}

void Raise(const std::string& libraryMessage, const std::string& fallback) {
  throw EDiscServiceError(libraryMessage.empty() ? fallback : libraryMessage);
}

Drive::Drive() { ++g_drivesHeld; }
Drive::~Drive() {
  if (d) isoburn_drive_release(d, 0);
  if (info) burn_drive_info_free(info);
  --g_drivesHeld;
}

int DrivesHeld() { return g_drivesHeld; }

std::unique_ptr<Drive> AcquireDrive(const std::string& adr, bool alongsideMounts) {
  TakeLibraryMessage();
  auto drive = std::make_unique<Drive>();
  // A mounted disc keeps its device busy for an exclusive open; a reader opens it shared instead, so
  // that nothing has to be unmounted to read it. The open mode is the library's, for every drive.
  static std::mutex openMode;
  const bool shared = alongsideMounts && !IsImageAddress(adr) && !MountPointsOf(adr).empty();
  std::unique_lock lock(openMode, std::defer_lock);
  if (shared) lock.lock(), burn_preset_device_open(kOpenShared, 0, 0);
  const int acquired = isoburn_drive_aquire(&drive->info, const_cast<char*>(adr.c_str()), kAcquirePlain);
  if (shared) burn_preset_device_open(kOpenExclusive, 0, 0);
  if (acquired <= 0 || !drive->info) {
    drive->info = nullptr;
    throw EDiscServiceError(AcquireFailureText(adr, TakeLibraryMessage()));
  }
  drive->d = drive->info[0].drive;
  return drive;
}

namespace {

std::vector<TRecorderInfo> ScanOpticalDrives() {
  std::vector<TRecorderInfo> out;
  if (g_drivesHeld > 0) return out;
  burn_drive_info* infos = nullptr;
  unsigned int n = 0;
  int r;
  while ((r = burn_drive_scan(&infos, &n)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (r < 0) {
    TakeLibraryMessage();
    return out;
  }
  for (unsigned i = 0; i < n; ++i) {
    char adr[BURN_DRIVE_ADR_LEN] = {0};
    if (burn_drive_d_get_adr(infos[i].drive, adr) > 0)
      out.push_back({adr, TrimBlanksAndControls(infos[i].vendor), TrimBlanksAndControls(infos[i].product),
                     TrimBlanksAndControls(infos[i].revision)});
    // The scan holds every drive exclusively; let go of them until one is really used.
    burn_drive_info_forget(&infos[i], 0);
  }
  burn_drive_info_free(infos);
  TakeLibraryMessage();
  // The scan leaves out a drive it cannot hold, a mounted disc's among them: it stays in the list,
  // named from udev, and Burn unmounts it first.
  for (const QString& name : QDir(QStringLiteral("/dev")).entryList({QStringLiteral("sr*")}, QDir::System)) {
    const std::string adr = "/dev/" + name.toStdString();
    if (std::ranges::find(out, adr, &TRecorderInfo::id) == out.end())
      out.push_back({adr, UdevPropertyOf(adr, "ID_VENDOR"), UdevPropertyOf(adr, "ID_MODEL"), {}});
  }
  return out;
}

// An image file or disk reports no profile list: its current profile is all it supports.
std::vector<int32_t> AllProfiles(burn_drive* d, int current) {
  int n = 0, profiles[64];
  char isCurrent[64];
  burn_drive_get_all_profiles(d, &n, profiles, isCurrent);
  std::vector<int32_t> out(profiles, profiles + std::clamp(n, 0, 64));
  if (out.empty() && current && burn_drive_get_drive_role(d) != kRoleMmcDrive) out.push_back(current);
  return out;
}

}  // namespace

TMediumFacts InspectDrive(const std::string& adr, burn_drive* d) {
  TMediumFacts f;
  int role = burn_drive_get_drive_role(d), pno = 0;
  char profileName[80];
  if (burn_disc_get_profile(d, &pno, profileName) != 1 || pno < 0) pno = 0;
  f.supportedProfiles = AllProfiles(d, pno);
  if (pno) f.currentProfiles = {pno};
  if (!IsImageAddress(adr)) {
    unsigned char flags = 0, len = 0;
    unsigned char* data = nullptr;
    // Removable-medium feature: loading mechanism type 0 is a caddy/slot, 1 a tray; bit 3 = eject.
    if (burn_drive_get_feature(d, kFeatureRemovableMedium, &flags, &len, &data, nullptr) > 0 && data &&
        len >= 1)
      f.canLoadMedia = ((data[0] >> kLoadingMechanismShift) & 7) <= 1 && (data[0] & kEjectBit);
    std::free(data);
  }
  f.recorderSupported =
      role != kRoleReadOnlyFile && std::ranges::any_of(f.supportedProfiles, IsWritableProfile);
  burn_multi_caps* caps = nullptr;
  f.mediaSupported = burn_disc_get_multi_caps(d, BURN_WRITE_NONE, &caps, 0) > 0;
  if (caps) burn_disc_free_multi_caps(&caps);
  const burn_disc_status st = isoburn_disc_get_status(d);
  f.physicallyBlank = burn_disc_get_status(d) == BURN_DISC_BLANK;
  f.heuristicallyBlank = st == BURN_DISC_BLANK;
  for (int32_t p : f.supportedProfiles)
    if (const TMediaType m = MediaTypeOfProfile(p)) f.mediaTypes.Include(m);
  f.mediaType = MediaTypeOfProfile(pno);
  const bool readOnly = role == kRoleReadOnlyFile || IsReadOnlyProfile(pno);
  if (readOnly) f.writeProtect = {wpReadOnlyMedia};
  f.status = st == BURN_DISC_BLANK        ? TMediaStatus{msBlank}
             : st == BURN_DISC_APPENDABLE ? TMediaStatus{msAppendable, msNonEmptySession}
             : st == BURN_DISC_FULL       ? TMediaStatus{msFinalized, msNonEmptySession, msFinalSession}
             : st == BURN_DISC_UNSUITABLE ? TMediaStatus{msUnsupportedMedia}
                                          : TMediaStatus();
  if (IsOverwriteOnlyProfile(pno)) f.status.Include(msOverwriteOnly);
  if (st == BURN_DISC_FULL && isoburn_disc_erasable(d)) f.status.Include(msEraseRequired);
  if (burn_disc_next_track_is_damaged(d, 0) & kTrackDamaged) f.status.Include(msDamaged);
  if (readOnly) f.status.Include(msWriteProtected);
  int lba = 0, nwa = 0;
  if (isoburn_disc_track_lba_nwa(d, nullptr, 0, &lba, &nwa) == 1) f.nextWritableAddress = nwa;
  f.freeSectors = st == BURN_DISC_FULL ? 0 : Clamp32(isoburn_disc_available_space(d, nullptr) / 2048);
  f.totalSectors = Clamp32(static_cast<long long>(f.nextWritableAddress) + f.freeSectors);
  f.writeSpeed = burn_drive_get_write_speed(d);
  TakeLibraryMessage();
  return f;
}

// The write action of each drive state, in libburn's order: idle, spawning, reading, writing, lead-in,
// lead-out, erasing, grabbing, pregap, closing track, closing session, formatting, then the two
// synchronous reading and writing states.
TWriteAction ActionOfStatus(burn_drive_status s) {
  static constexpr TWriteAction kActions[] = {
      waCompleted,    waInitializingHardware, waValidatingMedia,      waWritingData,      waCalibratingPower,
      waFinalization, waFormattingMedia,      waInitializingHardware, waCalibratingPower, waFinalization,
      waFinalization, waFormattingMedia,      waValidatingMedia,      waValidatingMedia};
  return static_cast<size_t>(s) < std::size(kActions) ? kActions[s] : waValidatingMedia;
}

// The disc's newest session as a fresh image, or none (the library's message stays queued).
IsoImage* LoadSession(burn_drive* d, int extensions) {
  isoburn_read_opts* ro = nullptr;
  if (isoburn_ropt_new(&ro, 0) <= 0) Fail();
  isoburn_ropt_set_extensions(ro, extensions | isoburn_ropt_noacl | isoburn_ropt_noea);
  IsoImage* image = nullptr;
  const int r = isoburn_read_image(d, ro, &image);
  isoburn_ropt_destroy(&ro, 0);
  return r > 0 ? image : nullptr;
}

int ReadFull(IsoStream* stream, char* buf, int want) {
  int got = 0;
  for (int n; got < want && (n = iso_stream_read(stream, buf + got, static_cast<size_t>(want - got))) > 0;)
    got += n;
  return got;
}

}  // namespace discdrive

namespace {

using namespace discdrive;

class LibburnService : public IDiscDrives {
 public:
  explicit LibburnService(LibburnServiceOptions options) : options_(std::move(options)) {
    EnsureLibraries();
    Refresh();
  }

  std::vector<std::string> Recorders() override {
    if (dirty_ && g_drivesHeld == 0) Refresh();
    std::vector<std::string> ids;
    for (const TRecorderInfo& k : drives_) ids.push_back(k.id);
    return ids;
  }
  TRecorderInfo Describe(const std::string& id) override {
    auto k = std::ranges::find(drives_, id, &TRecorderInfo::id);
    if (k == drives_.end()) throw EDiscServiceError("Unknown recorder " + id);
    TRecorderInfo info = *k;
    if (IsImageAddress(id)) {
      info.mountPaths = {ImagePathOf(id)};
    } else {
      info.mountPaths = MountPointsOf(id);
      info.volumeName = UdevPropertyOf(id, "ID_FS_LABEL");
      if (id.rfind("/dev/sr", 0) == 0) info.legacyNumber = std::atoi(id.c_str() + 7);
    }
    return info;
  }
  TMediumFacts Inspect(const std::string& id) override { return InspectDrive(id, AcquireDrive(id)->d); }
  bool Archive(const std::string& id, const TArchiveRequest& request) override {
    // A mounted disc keeps the drive busy: the system is asked to unmount it (an image file may be
    // loop-mounted too).
    UnmountDevice(IsImageAddress(id) ? ImagePathOf(id) : id);
    std::unique_ptr<Drive> drive = AcquireDrive(id);
    if (request.check) request.check(InspectDrive(id, drive->d));
    return WriteArchive(id, std::move(drive), request, options_.PollIntervalMs);
  }
  int32_t AddImageTarget(const std::string& path) override {
    const std::string adr = ImageTargetAddress(path);
    auto at = std::ranges::find(drives_, adr, &TRecorderInfo::id);
    if (at == drives_.end()) {
      if (std::ranges::find(options_.ImageTargets, path) == options_.ImageTargets.end())
        options_.ImageTargets.push_back(path);  // kept over a rescan
      at = drives_.insert(drives_.end(), TRecorderInfo{adr, {}, "Image file"});
    }
    return static_cast<int32_t>(at - drives_.begin()) + 1;
  }
  void Rescan() override { dirty_ = true; }

 private:
  void Refresh() {
    dirty_ = false;
    drives_.clear();
    if (options_.ScanRealDrives) drives_ = ScanOpticalDrives();
    const std::vector<std::string> targets = options_.ImageTargets;
    for (const std::string& t : targets) AddImageTarget(t);
  }

  LibburnServiceOptions options_;
  std::vector<TRecorderInfo> drives_;
  bool dirty_ = false;
};

}  // namespace

std::shared_ptr<IDiscDrives> CreateLibburnService(const LibburnServiceOptions& options) {
  return std::make_shared<LibburnService>(options);
}
