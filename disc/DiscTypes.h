#pragma once
// The values disc/ shares between its components (disc/DiscComponents.h) and its drive layer
// (internal): the enumerations of profiles, media, states and write actions, the sets of them, and a
// recorder as listed. Numbers follow the MMC standard where the libraries report MMC codes.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// A set of enumeration values held in an integer: bit n stands for the value with ordinal n.
template <typename E, typename Bits>
class TSet {
 public:
  using Element = E;
  TSet() = default;
  TSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  explicit TSet(Bits bits) : bits_(bits) {}  // from the property value
  bool Empty() const { return bits_ == 0; }
  bool Contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
  void Include(E v) { bits_ = static_cast<Bits>(bits_ | (Bits(1) << static_cast<unsigned>(v))); }
  operator Bits() const { return bits_; }  // the property value
  bool operator==(const TSet&) const = default;

 private:
  Bits bits_ = 0;
};

// clang-format off
enum TProfile : uint8_t {
  pfInvalid, pfNonRemovableDisk, pfRemovableDisk, pfMoErasable, pfMoWriteOnce, pfAsMo, pfCdRom,
  pfCdRecordable, pfCdRewritable, pfDvdRom, pfDvdDashRecordable, pfDvdRam, pfDvdDashRewritable,
  pfDvdDashRwSequential, pfDvdDashRDualSequential, pfDvdDashRDualLayerJump, pfDvdPlusRW, pfDvdPlusR,
  pfDdCdRom, pfDdCdRecordable, pfDdCdRewritable, pfDvdPlusRwDual, pfDvdPlusRDual, pfBdRom,
  pfBdRSequential, pfBdRRandomRecording, pfBdRewritable, pfHdDvdRom, pfHdDvdRecordable, pfHdDvdRam,
  pfNonStandard
};
using TProfiles = TSet<TProfile, uint32_t>;

enum TModePage : uint8_t {
  mpUnknown, mpReadWriteErrorRecovery, mpMrw, mpWriteParameters, mpCaching, mpInformationalExceptions,
  mpTimeoutAndProtect, mpPowerCondition, mpLegacyCapabilities
};
using TModePages = TSet<TModePage, uint16_t>;

enum TMediaType : uint8_t {
  mtUnknown, mtCdRom, mtCdR, mtCdRW, mtDvdRom, mtDvdRam, mtDvdPlusR, mtDvdPlusRW, mtDvdPlusRDualLayer,
  mtDvdDashR, mtDvdDashRW, mtDvdDashRDualLayer, mtDisk, mtDvdPlusRWDualLayer, mtHdDvdRom, mtHdDvdR,
  mtHdDvdRam, mtBdRom, mtBdR, mtBdRE
};
using TMediaTypes = TSet<TMediaType, uint32_t>;

enum TMediaState : uint8_t {
  msOverwriteOnly, msBlank, msAppendable, msFinalSession, msDamaged, msEraseRequired, msNonEmptySession,
  msWriteProtected, msFinalized, msUnsupportedMedia
};
using TMediaStatus = TSet<TMediaState, uint16_t>;

enum TWriteProtectState : uint8_t {
  wpUntilPowerDown, wpByCartridge, wpByMediaSpecificReason, wpBySoftwareWriteProtect, wpByDiscControlBlock,
  wpReadOnlyMedia
};
using TWriteProtectStatus = TSet<TWriteProtectState, uint8_t>;

enum TWriteAction : uint8_t {
  waValidatingMedia, waFormattingMedia, waInitializingHardware, waCalibratingPower, waWritingData,
  waFinalization, waCompleted, waVerifying
};

// clang-format on
enum TVerification : uint8_t { veNone, veQuick, veFull };

enum TFileSystem : uint8_t { fsISO9660, fsJoliet, fsUDF, fsUnknown };
using TFileSystems = TSet<TFileSystem, uint8_t>;

// MMC codes -> component values: a media type ordinal (for the MediaType property), MMC profiles and
// mode pages. Unknown codes map to mtUnknown, pfInvalid and mpUnknown.
TMediaType MediaTypeOfCode(int32_t code);
TProfiles ProfilesOf(const std::vector<int32_t>& codes);
TModePages ModePagesOf(const std::vector<int32_t>& codes);
// The media type a disc of this MMC profile is (0xFFFF, a plain file or disk, is mtDisk).
TMediaType MediaTypeOfProfile(int32_t mmcProfile);
// Whether a recorder writes a medium of this MMC profile; whether the medium is a pressed, read-only
// one (CD-ROM, DVD-ROM...); whether it is overwritten in place rather than appended to (DVD+RW, an
// image file...).
bool IsWritableProfile(int32_t mmcProfile);
bool IsReadOnlyProfile(int32_t mmcProfile);
bool IsOverwriteOnlyProfile(int32_t mmcProfile);

// A recorder as listed (TDiscRecorder::OpenRecorder), known without opening the drive, so that a busy
// drive (its disc mounted) is listed too.
struct TRecorderInfo {
  std::string id, vendor, product, revision, volumeName;
  std::vector<std::string> mountPaths;
  int32_t legacyNumber = -1;
};
