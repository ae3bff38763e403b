#include "disc/DiscTypes.h"

#include <cstddef>

namespace {
struct CodeMap {
  int32_t code;
  uint8_t value;
};

constexpr CodeMap kProfiles[] = {
    {0x01, pfNonRemovableDisk}, {0x02, pfRemovableDisk}, {0x03, pfMoErasable}, {0x04, pfMoWriteOnce},
    {0x05, pfAsMo}, {0x08, pfCdRom}, {0x09, pfCdRecordable}, {0x0A, pfCdRewritable}, {0x10, pfDvdRom},
    {0x11, pfDvdDashRecordable}, {0x12, pfDvdRam}, {0x13, pfDvdDashRewritable}, {0x14, pfDvdDashRwSequential},
    {0x15, pfDvdDashRDualSequential}, {0x16, pfDvdDashRDualLayerJump}, {0x1A, pfDvdPlusRW},
    {0x1B, pfDvdPlusR}, {0x20, pfDdCdRom}, {0x21, pfDdCdRecordable}, {0x22, pfDdCdRewritable},
    {0x2A, pfDvdPlusRwDual}, {0x2B, pfDvdPlusRDual}, {0x40, pfBdRom}, {0x41, pfBdRSequential},
    {0x42, pfBdRRandomRecording}, {0x43, pfBdRewritable}, {0x50, pfHdDvdRom}, {0x51, pfHdDvdRecordable},
    {0x52, pfHdDvdRam}, {0xFFFF, pfNonStandard}};

constexpr CodeMap kModePages[] = {{0x01, mpReadWriteErrorRecovery}, {0x03, mpMrw}, {0x05, mpWriteParameters},
                                  {0x08, mpCaching}, {0x1C, mpInformationalExceptions},
                                  {0x1D, mpTimeoutAndProtect}, {0x1A, mpPowerCondition},
                                  {0x2A, mpLegacyCapabilities}};

constexpr CodeMap kMediaOfProfile[] = {
    {0x01, mtDisk}, {0x02, mtDisk}, {0x08, mtCdRom}, {0x09, mtCdR}, {0x0A, mtCdRW}, {0x10, mtDvdRom},
    {0x11, mtDvdDashR}, {0x12, mtDvdRam}, {0x13, mtDvdDashRW}, {0x14, mtDvdDashRW}, {0x15, mtDvdDashRDualLayer},
    {0x16, mtDvdDashRDualLayer}, {0x1A, mtDvdPlusRW}, {0x1B, mtDvdPlusR}, {0x2A, mtDvdPlusRWDualLayer},
    {0x2B, mtDvdPlusRDualLayer}, {0x40, mtBdRom}, {0x41, mtBdR}, {0x42, mtBdR}, {0x43, mtBdRE},
    {0x50, mtHdDvdRom}, {0x51, mtHdDvdR}, {0x52, mtHdDvdRam}, {0xFFFF, mtDisk}};

template <size_t N>
uint8_t Lookup(const CodeMap (&table)[N], int32_t code, uint8_t other) {
  for (const CodeMap& m : table) {
    if (m.code == code) return m.value;
  }
  return other;
}
}  // namespace

TProfile ProfileOfCode(int32_t code) { return static_cast<TProfile>(Lookup(kProfiles, code, pfInvalid)); }
TModePage ModePageOfCode(int32_t code) { return static_cast<TModePage>(Lookup(kModePages, code, mpUnknown)); }
TMediaType MediaTypeOfCode(int32_t code) {
  return code >= 1 && code <= 19 ? static_cast<TMediaType>(code) : mtUnknown;
}
TMediaType MediaTypeOfProfile(int32_t code) {
  return static_cast<TMediaType>(Lookup(kMediaOfProfile, code, mtUnknown));
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
