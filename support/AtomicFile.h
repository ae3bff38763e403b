#pragma once
#include <string>

// Replaces the file at `path` with `data` as a whole or not at all: the bytes go to a
// temporary file in the same folder, are flushed to disk and then renamed over the target.
// An existing file keeps its permission bits, and its owner and group where the user may set
// them; a symbolic link stays a link and the file it points at receives the bytes. A file that
// has no write permission bit for anybody is refused and left untouched, for root too, so that
// root cannot silently replace a file the user marked read-only.
// Throws Exception naming the file and the reason.
void WriteFileAtomically(const std::string& path, const std::string& data);
