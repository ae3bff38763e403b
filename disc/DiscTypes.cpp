#include "disc/DiscTypes.h"

#include <algorithm>
#include <iterator>

namespace {

// The one table of MMC profiles: the component value, the kind of medium, whether a recorder
// writes it, whether it is a read-only (pressed) medium and whether it is overwritten in place.
struct ProfileRow {
  int32_t mmc;
  TProfile profile;
  TMediaType media;
  bool writable, readOnly = false, overwriteOnly = false;
};
// clang-format off
constexpr ProfileRow kProfiles[] = {
    {0x01, pfNonRemovableDisk, mtDisk, false}, {0x02, pfRemovableDisk, mtDisk, false},
    {0x03, pfMoErasable, mtUnknown, false}, {0x04, pfMoWriteOnce, mtUnknown, false},
    {0x05, pfAsMo, mtUnknown, false}, {0x08, pfCdRom, mtCdRom, false, true}, {0x09, pfCdRecordable, mtCdR, true},
    {0x0A, pfCdRewritable, mtCdRW, true}, {0x10, pfDvdRom, mtDvdRom, false, true},
    {0x11, pfDvdDashRecordable, mtDvdDashR, true}, {0x12, pfDvdRam, mtDvdRam, true, false, true},
    {0x13, pfDvdDashRewritable, mtDvdDashRW, true, false, true}, {0x14, pfDvdDashRwSequential, mtDvdDashRW, true},
    {0x15, pfDvdDashRDualSequential, mtDvdDashRDualLayer, true},
    {0x16, pfDvdDashRDualLayerJump, mtDvdDashRDualLayer, true},
    {0x1A, pfDvdPlusRW, mtDvdPlusRW, true, false, true}, {0x1B, pfDvdPlusR, mtDvdPlusR, true},
    {0x20, pfDdCdRom, mtUnknown, false}, {0x21, pfDdCdRecordable, mtUnknown, false},
    {0x22, pfDdCdRewritable, mtUnknown, false}, {0x2A, pfDvdPlusRwDual, mtDvdPlusRWDualLayer, true, false, true},
    {0x2B, pfDvdPlusRDual, mtDvdPlusRDualLayer, true}, {0x40, pfBdRom, mtBdRom, false, true},
    {0x41, pfBdRSequential, mtBdR, true}, {0x42, pfBdRRandomRecording, mtBdR, true},
    {0x43, pfBdRewritable, mtBdRE, true, false, true},
    {0x50, pfHdDvdRom, mtHdDvdRom, false, true}, {0x51, pfHdDvdRecordable, mtHdDvdR, false},
    {0x52, pfHdDvdRam, mtHdDvdRam, false}, {0xFFFF, pfNonStandard, mtDisk, true, false, true}};
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
bool IsReadOnlyProfile(int32_t code) { return ProfileRowOf(code).readOnly; }
bool IsOverwriteOnlyProfile(int32_t code) { return ProfileRowOf(code).overwriteOnly; }
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
