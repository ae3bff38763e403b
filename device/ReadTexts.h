#pragma once
// The texts of the read command, which the main window and the headless reader both show: section
// "fmReaderFM" of Strings.ini and of the language files, with their English defaults.
#include "support/InterfaceTexts.h"

namespace ReadTexts {
inline constexpr TTextKey Caption{"fmReaderFM", "Read", "Read"};  // the progress window's caption
inline constexpr TTextKey Progress{"fmReaderFM", "ProgressText", "Read of the fiscal memory. Please wait..."};
inline constexpr TTextKey StatusLabel{"fmReaderFM", "lblStatus", "Status:"};
inline constexpr TTextKey Cancel{"fmReaderFM", "btnCancel", "Cancel"};
inline constexpr TTextKey NoAnswer{"fmReaderFM", "DnR", "Device not respond!"};
inline constexpr TTextKey IncorrectPeriod{"fmReaderFM", "IncorrectPeriod", "Incorrect period!"};
inline constexpr TTextKey IncorrectRange{"fmReaderFM", "IncorrectRange", "Incorrect range!"};
inline constexpr TTextKey FinishingEarlier{"fmReaderFM", "FinishingEarlier",
                                           "The printer is finishing an earlier report..."};
// The live count of a read: %1 lines, %2 bytes, %3 seconds.
inline constexpr TTextKey ReceivedCount{"fmReaderFM", "ReceivedCount", "Received %1 lines, %2 bytes in %3 s"};
// A report that could not be kept in the history folder: %1 the folder, %2 the reason.
inline constexpr TTextKey KeepFailed{"fmReaderFM", "KeepFailed", "The report could not be kept in %1: %2"};
}  // namespace ReadTexts
