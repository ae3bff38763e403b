#pragma once
#include <string>

#include "device/Report.h"  // the report file name
#include "support/TextUtils.h"

// Writes the report lines to `path`, each line as received followed by CR LF.
// The file is written whole or not at all and keeps an existing file's permissions
// and links (see WriteFileAtomically). Throws Exception with the reason.
void WriteReportFile(const std::string& path, const TReportLines& lines);
