#pragma once
// Internal to disc/: what the drive access (LibburnDrives.cpp), the archive writer
// (ArchiveWriter.cpp) and the archive reader share over libburn (drives, writing), libisofs (image
// trees) and libisoburn (sessions): starting the libraries, their message queues, holding a drive,
// the facts of its medium, and reading a session. Every library flag the program passes is named
// here or where it is used.
//
// Threads: the libraries are started once per process; a drive is used by one thread at a time.
#include <stdint.h>
// Order matters: libisofs declares a global struct burn_source, libburn wraps itself in namespace burn.
#include <libisofs.h>
#include <libburn.h>
using namespace burn;  // NOLINT: the library's own namespace, for its C names
#include <libisoburn.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

#include "disc/DiscService.h"

namespace discdrive {

// Drive roles (burn_drive_get_drive_role).
constexpr int kRoleMmcDrive = 1;        // a real optical drive
constexpr int kRoleReadOnlyFile = 4;    // an image file that cannot be written (with kAllowReadOnlyRoles)
constexpr int kAllowReadOnlyRoles = 1;  // burn_allow_drive_role_4: bit0, roles 4 and 5 for new drives
// burn_preset_device_open: drives opened exclusively (O_EXCL, the library's default), or shared.
constexpr int kOpenExclusive = 1;
constexpr int kOpenShared = 0;
// isoburn_drive_aquire flags.
constexpr int kAcquirePlain = 0;
constexpr int kOverwritableAsBlank = 1 << 1;  // regard overwritable media as blank
constexpr int kReassessAcquired = 1 << 8;     // look at the drive already held again, do not acquire
// burn_disc_next_track_is_damaged: bit0, the track is damaged (and may still be writable).
constexpr int kTrackDamaged = 1;
// isoburn_disc_erase: a fast erase (blanks the table of contents, not every block).
constexpr int kFastErase = 1;
// iso_image_set_ignore_aclea: files added from the local file system bring no ACL (bit0) and no
// extended attributes (bit1).
constexpr int kIgnoreLocalAcl = 1;
constexpr int kIgnoreLocalXattr = 2;
// burn_read_data: no bits; read errors reach the message queue.
constexpr int kReadWithMessages = 0;
// MMC feature "Removable Medium" (0x0003): the loading mechanism in bits 5-7 of its first byte (0 a
// caddy or slot, 1 a tray) and the eject bit 3.
constexpr int kFeatureRemovableMedium = 0x0003;
constexpr int kLoadingMechanismShift = 5;
constexpr unsigned char kEjectBit = 0x08;
// The debug message of libburn's write thread as it ends.
constexpr int kWriteThreadEnded = 0x00020178;

// Starts the libraries once; throws EDiscServiceError when they cannot be started.
void EnsureLibraries();
// Lets the burn library's queue take debug messages (while a write runs), or only SORRY and above.
void QueueDebugMessages(bool on);
// What the libraries' queues said over one or more drains: the most severe message of at least SORRY
// (the earliest of equals), and the system's reason that any of them gave.
struct TLibraryMessages {
  std::string text, systemReason;
  int rank = -1;
  bool writeEnded = false;   // the write thread's last words passed
  void Drain();              // takes every message of both queues
  std::string Text() const;  // the message, with the system's reason when it does not say it already
};
// One drain of both queues: TLibraryMessages::Text().
std::string TakeLibraryMessage();
// Raises the library's message, or `fallback` when the library gave none.
[[noreturn]] void Raise(const std::string& libraryMessage,
                        const std::string& fallback = "The disc library failed without giving a reason");
[[noreturn]] inline void Fail() { Raise(TakeLibraryMessage()); }

// A count of sectors or bytes as a property value: negative and overlarge values are clamped.
inline int32_t Clamp32(long long v) { return static_cast<int32_t>(std::clamp<long long>(v, 0, INT32_MAX)); }

inline bool IsImageAddress(const std::string& adr) { return adr.rfind("stdio:", 0) == 0; }
inline std::string ImagePathOf(const std::string& adr) { return adr.substr(6); }

// A library object owned by a unique_ptr with the library's own release function.
template <typename T, typename F>
std::unique_ptr<T, F> Owned(T* p, F free) {
  return {p, free};
}

// An acquired drive; released (its tray unlocked) with the object.
struct Drive {
  burn_drive_info* info = nullptr;
  burn_drive* d = nullptr;
  Drive();
  ~Drive();
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;
};
// How many drives the process holds now: the list is not scanned again meanwhile.
int DrivesHeld();

// Acquires the drive at `adr` ("/dev/sr0", "stdio:/path/image.iso"); throws saying why it cannot.
// alongsideMounts: for reading only, a disc that is mounted is opened without unmounting it.
std::unique_ptr<Drive> AcquireDrive(const std::string& adr, bool alongsideMounts = false);
// The medium in an acquired drive.
TMediumFacts InspectDrive(const std::string& adr, burn_drive* d);
// The write action of a drive state.
TWriteAction ActionOfStatus(burn_drive_status s);
// The disc's newest session as a fresh image, or none (the library's message stays queued). `extensions` are
// isoburn_ropt_* bits; without noaaip the recorded checksums are loaded, and tags that do not match refuse
// the session.
IsoImage* LoadSession(burn_drive* d, int extensions);
// Reads up to `want` bytes of a stream; fewer only at its end or on a read error.
int ReadFull(IsoStream* stream, char* buf, int want);

// Builds, writes and verifies one archive on an acquired drive (ArchiveWriter.cpp); false when the
// request's onAdding handler stopped the build. The archive reader (ArchiveReader.cpp) is
// TArchiveReadJob of disc/DiscArchive.h.
bool WriteArchive(const std::string& adr, std::unique_ptr<Drive> drive, const TArchiveRequest& request,
                  int pollMs);

}  // namespace discdrive
