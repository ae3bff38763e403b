#pragma once
// The Burn action: copies the current report into a fresh temporary folder, lets the operator burn
// that folder in the burn dialog and removes the folder again afterwards.
#include <functional>
#include <string>
#include <vector>

#include "device/Report.h"
#include "support/TextUtils.h"

class QWidget;

// "VT_TEMP_" + local date "ddMMyy" + "_" + local time "HHmmss".
std::string MakeTempFolderName();
// The temporary folder for `folderName` in the local application-data folder ("/" + name without one).
std::string MakeTempFolderPath(const std::string& folderName);

// Deletes the report copy, then tries to remove the folder up to 50 times with a 500 ms pause after
// every failed attempt. Never throws; a folder that stays non-empty is left behind silently.
void RemoveTempFolder(const std::string& folder, const std::string& reportCopy);

// Tests replace the 500 ms pause of RemoveTempFolder; an empty function restores the real sleep.
void SetRemoveTempFolderPauseForTesting(std::function<void(int milliseconds)> pause);

// Writes `lines` into the temporary folder under `reportFileName`, shows the burn dialog on that folder
// with `fileNameStem` as proposed volume name, and cleans up. A failure of the folder, the copy or the
// dialog is thrown after the clean-up has run. The caller checks that the view is not empty.
void BurnReport(QWidget* mainWindow, const TReportLines& lines, const std::string& reportFileName,
                const std::string& fileNameStem);

// The burn module's entry point: BurnReport (see ProgramModules.h).
using TBurnReportEntry = void(QWidget* mainWindow, const TReportLines& lines,
                              const std::string& reportFileName, const std::string& fileNameStem);
inline constexpr const char* kBurnReportEntry = "vq_burn_report";
extern "C" TBurnReportEntry vq_burn_report;
