#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/Exceptions.h"

// An INI file with the results of the classic profile calls: a read gives the stored value or the
// default; a write creates the file, the section and the key as needed or replaces the key's value,
// keeping every other line of the file as it was. Section and key names are compared without
// regard to letter case; at most 2047 characters of a value come back. Nothing is cached: every
// call reads the file anew, every write replaces it whole (temporary file in the same folder,
// then rename), so a failed write never leaves a truncated file behind.
class TIniFile {
 public:
  static constexpr size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string path);
  virtual ~TIniFile();

  const std::string& FileName() const;

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // "0x"/"0X" (on a text longer than two characters) reads as "$"; "$" introduces hexadecimal;
  // otherwise decimal with an optional sign. Text that does not convert gives the default.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;

  // Throw Exception("Unable to write to <path>") on failure. Names and values that would break
  // the file's line structure (line breaks, "=" or "]" in names, empty names) are refused the same way.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Several keys of one section in one rewrite of the file, in order, by WriteString's rules.
  void WriteStrings(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& keyValues);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);

 protected:
  void SetFileName(std::string path);

 private:
  std::string path_;
};

// One reading of an INI file for a window that looks up many keys at once: the file is opened,
// read and closed once, here, and every lookup follows ReadString's rules on what was read then.
// A missing or unreadable file (or an empty path) reads as a file without keys.
class TIniSnapshot {
 public:
  explicit TIniSnapshot(std::string path);
  const std::string& FileName() const { return path_; }
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;

 private:
  std::string path_;
  std::vector<std::string> lines_;  // without their line ends
};

// ReadString's lookup over a file's lines.
std::string LookUpIniValue(const std::vector<std::string>& lines, const std::string& section,
                           const std::string& key, const std::string& def);

// The conversion ReadInteger applies to a value text (exposed for the options and their tests).
bool IniTextToInt(const std::string& text, int32_t& out);

// The program's settings file: <UserProgramFolder>/<fileName>, where a blank fileName means the
// program file's name with the extension ".ini". The constructor makes sure the folder exists
// (one level), but neither opens nor creates the file.
class TIniFile_VT : public TIniFile {
 public:
  explicit TIniFile_VT(const std::string& fileName = "");
};
