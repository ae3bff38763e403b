#pragma once
#include <string>

#include "support/Exceptions.h"

// A file that could not be written; the message names the file and the reason, Reason is the reason
// alone (the system's words where it gave some).
class EWriteFailed : public Exception {
 public:
  EWriteFailed(const std::string& path, std::string reason)
      : Exception("Cannot create file \"" + path + "\". " + reason), Reason(std::move(reason)) {}
  std::string Reason;
};

// Replaces the file at `path` with `data` as a whole or not at all: the bytes go to a
// temporary file in the same folder, are flushed to disk and then renamed over the target.
// An existing file keeps its permission bits, and its owner and group where the user may set
// them; a symbolic link stays a link and the file it points at receives the bytes. A file that
// has no write permission bit for anybody is refused and left untouched, for root too, so that
// root cannot silently replace a file the user marked read-only.
// Throws EWriteFailed naming the file and the reason.
void WriteFileAtomically(const std::string& path, const std::string& data);

// Creates the file at `path` with `data` as a whole or not at all, and never replaces anything: false
// (and nothing written) when a file of that name exists already, also one made meanwhile by another
// program. While the bytes are written they have no name in the folder (where the file system allows
// it). The new file is private to the user (0600). Throws EWriteFailed when it cannot be written.
bool WriteNewFileAtomically(const std::string& path, const std::string& data);
