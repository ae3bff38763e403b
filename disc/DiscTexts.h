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

// The Archive window; veltra-qrm-archive prints its summaries and its messages.
inline constexpr TTextKey ArchiveCaption{"fmArchive", "Caption", "Archive"};
inline constexpr TTextKey Source{"fmArchive", "lblSource", "Source:"};
inline constexpr TTextKey Check{"fmArchive", "btnCheck", "Check"};
inline constexpr TTextKey Open{"fmArchive", "btnOpen", "Open"};
inline constexpr TTextKey Close{"fmArchive", "btnClose", "Close"};
inline constexpr TTextKey Cancel{"fmArchive", "btnCancel", "Cancel"};  // Check's caption while reading
inline constexpr TTextKey ColumnSession{"fmArchive", "ColSession", "Session"};
inline constexpr TTextKey ColumnDate{"fmArchive", "ColDate", "Date"};
inline constexpr TTextKey ColumnReport{"fmArchive", "ColReport", "Report"};
inline constexpr TTextKey ColumnSize{"fmArchive", "ColSize", "Size"};
inline constexpr TTextKey ColumnState{"fmArchive", "ColState", "State"};
inline constexpr TTextKey NotChecked{"fmArchive", "NotChecked", "not checked"};
inline constexpr TTextKey Intact{"fmArchive", "Intact", "intact"};
inline constexpr TTextKey Damaged{"fmArchive", "Damaged", "damaged"};
inline constexpr TTextKey Unreadable{"fmArchive", "Unreadable", "unreadable"};
inline constexpr TTextKey NoChecksum{"fmArchive", "NoChecksum", "no checksum"};
inline constexpr TTextKey UnreadableSession{"fmArchive", "UnreadableSession", "(contents cannot be read)"};
inline constexpr TTextKey Device{"fmArchive", "Device", "Device"};
inline constexpr TTextKey ImageFile{"fmArchive", "ImageFile", "Image file\u2026"};
inline constexpr TTextKey Reading{"fmArchive", "Reading", "Reading the archive\u2026"};
// %1 reports, %2 sessions.
inline constexpr TTextKey Listed{"fmArchive", "Listed", "%1 reports in %2 sessions."};
inline constexpr TTextKey AllIntact{"fmArchive", "AllIntact", "All %1 reports in %2 sessions are intact."};
// %1 damaged or unreadable reports of %2.
inline constexpr TTextKey SomeBad{"fmArchive", "SomeBad", "%1 of %2 reports are damaged or unreadable."};
// Failures; %1 the source, or the report and %2 its session or the source.
inline constexpr TTextKey SourceMissing{"fmArchive", "SourceMissing",
                                        "There is no image file or recorder %1."};
inline constexpr TTextKey NoDisc{"fmArchive", "NoDisc", "There is no disc in the recorder %1."};
inline constexpr TTextKey NoArchive{"fmArchive", "NoArchive", "%1 holds no archive."};
inline constexpr TTextKey NotFound{"fmArchive", "NotFound", "There is no report named %1 in %2."};
inline constexpr TTextKey ReportDamaged{
    "fmArchive", "ReportDamaged",
    "The report %1 of session %2 is damaged: its data differ from its checksum. Nothing was written."};
inline constexpr TTextKey ReportUnreadable{
    "fmArchive", "ReportUnreadable",
    "The report %1 of session %2 cannot be read whole. Nothing was written."};
}  // namespace DiscTexts
