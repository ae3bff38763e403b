#pragma once
#include <string>

#include "support/TextUtils.h"

// Writes the report lines to `path`, each line as received followed by CR LF.
// The text goes to a temporary file in the same folder which then replaces the
// target in one rename, so a failed write (full disk, no permission) leaves an
// existing file whole. Throws Exception with the platform's message.
void WriteReportFile(const std::string& path, const TStringList& lines);

// Makes a device-supplied name usable as one file-name component: blanks are
// removed, "/", "\", NUL and other control characters become "_", and a name
// that would be "." or ".." becomes "_". Every other byte is kept.
std::string SafeFileNameStem(const std::string& stem);
