#include "disc/DiscTypes.h"

#include <cstddef>

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
