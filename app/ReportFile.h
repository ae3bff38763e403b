#pragma once
#include <string>

#include "support/TextUtils.h"

// Writes the report lines to `path`, each line as received followed by CR LF.
// The file is written whole or not at all and keeps an existing file's permissions
// and links (see WriteFileAtomically). Throws Exception with the reason.
void WriteReportFile(const std::string& path, const TStringList& lines);

// Makes a device-supplied name usable as one file-name component: blanks are
// removed, "/", "\", NUL and other control characters become "_", and a name
// that would be "." or ".." becomes "_". Every other byte is kept.
std::string SafeFileNameStem(const std::string& stem);
