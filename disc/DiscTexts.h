#pragma once
// The texts of disc/ that its windows, its non-visual parts and the command line all show: section
// "fmArchive" (the Archive window and veltra-qrm-archive) and "fmBurnToCD" of Strings.ini and of the
// language files, each with its English default. Read them through a TTextTable.
#include "support/InterfaceTexts.h"

namespace DiscTexts {
// An image file too large for what is left of its file system: %1 the file, %2 the bytes the session
// adds to it, %3 the bytes free.
inline constexpr TTextKey NoRoom{
    "fmBurnToCD", "NoRoom",
    "The image file %1 needs %2 more bytes for this session, but its file system has only %3 bytes free. "
    "Nothing was written. Free some room or choose another image file."};
}  // namespace DiscTexts
