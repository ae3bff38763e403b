#pragma once
// The Archive action: the Archive window over the archive discs and image files, from which a report
// is opened again into the main window. Loaded on first use as the module "archive" (ProgramModules.h).
#include "device/Report.h"

class QWidget;

// Shows the Archive window over the same recorders and image files as Burn. True when the operator
// opened a report: `opened` then holds its lines, its file name in the printer's code page and the
// stem and range part of that name ("ZHK12345678_0007_0012.txt": "ZHK12345678", "0007_0012").
bool OpenArchivedReport(QWidget* mainWindow, TReport& opened);

// The archive module's entry point: OpenArchivedReport.
using TArchiveWindowEntry = bool(QWidget* mainWindow, TReport& opened);
inline constexpr const char* kArchiveWindowEntry = "vq_archive_window";
extern "C" TArchiveWindowEntry vq_archive_window;
