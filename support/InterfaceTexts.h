#pragma once
#include <QString>
#include <string>

#include "support/IniFile.h"

// Strings.ini next to the program file: the replaceable texts of the windows.
std::string StringsIniPath();  // ProgramFolder() + "/Strings.ini"

// One window's look-ups in Strings.ini: the stored value (taken as UTF-8), or def when the file,
// the section or the key is missing. A present key with an empty value gives "". Names are compared
// without regard to letter case; at most 2047 bytes of a value are used.
class TTextTable {
 public:
  TTextTable();
  explicit TTextTable(const std::string& path);  // another file (tests)
  QString Read(const char* section, const char* key, const char* def) const;
  const std::string& FileName() const { return ini_.FileName(); }

 private:
  TIniFile ini_;
};
