#pragma once
// Enumerations, sets and code mappings shared by the disc components, the burn dialog and the tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

// A set of enumeration values held in an integer: bit n stands for the value with ordinal n.
template <typename E, typename Bits>
class TSet {
 public:
  TSet() = default;
  TSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static TSet FromBits(Bits bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  bool Contains(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
  void Include(E v) { bits_ = static_cast<Bits>(bits_ | (Bits(1) << static_cast<unsigned>(v))); }
  void Exclude(E v) { bits_ = static_cast<Bits>(bits_ & ~(Bits(1) << static_cast<unsigned>(v))); }
  bool Empty() const { return bits_ == 0; }
  Bits ToBits() const { return bits_; }
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

// Service codes -> component values. Unknown codes map to pfInvalid, mpUnknown, mtUnknown, waCompleted.
TProfile ProfileOfCode(int32_t mmcProfile);
TModePage ModePageOfCode(int32_t mmcModePage);
TMediaType MediaTypeOfCode(int32_t code);
TWriteAction WriteActionOfCode(int32_t code);
TProfiles ProfilesOf(const std::vector<int32_t>& codes);
TModePages ModePagesOf(const std::vector<int32_t>& codes);
TMediaTypes MediaTypesOf(const std::vector<int32_t>& codes);
TMediaStatus MediaStatusOf(uint32_t flagWord);
TWriteProtectStatus WriteProtectStatusOf(uint32_t flagWord);
// Towards the image builder: fsISO9660 1, fsJoliet 2, fsUDF 4; fsUnknown adds nothing.
uint32_t FileSystemFlagsOf(TFileSystems systems);
// From an import notice: the first of the flags 1, 2, 4 that is set, else fsUnknown.
TFileSystem FileSystemOfFlags(uint32_t flags);
// The media type a disc of this MMC profile is (0xFFFF, a plain file or disk, is mtDisk).
TMediaType MediaTypeOfProfile(int32_t mmcProfile);
// Whether a recorder writes a medium of this MMC profile.
bool IsWritableProfile(int32_t mmcProfile);
