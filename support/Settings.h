#pragma once
// Every key of the settings file (TIniFile_VT), with its section and its default, in one table. The
// program reads and writes its settings through these names only.
//
//   const TIniFile_VT ini;
//   std::string port = ReadSetting(ini, Setting::SerialPort);   // "COM1" when the key is missing
//   WriteSetting(ini, Setting::BaudRate, 9600);                  // throws when it cannot be written
#include <cstdint>
#include <string>
#include <vector>

#include "support/IniFile.h"

struct TStringSetting {
  const char* Section;
  const char* Key;
  const char* Default;
};
struct TIntSetting {
  const char* Section;
  const char* Key;
  int32_t Default;
};
// A list of up to Count texts under the keys <KeyPrefix>1 ... <KeyPrefix><Count>; empty by default.
struct TListSetting {
  const char* Section;
  const char* KeyPrefix;
  int Count;
};

namespace Setting {
// The serial port and speed of the next read: the options dialog's last choice.
inline constexpr TStringSetting SerialPort{"Settings", "SerialPort", "COM1"};
inline constexpr TIntSetting BaudRate{"Settings", "BaudRate", 38400};
// Image files offered as recorders ("a.iso;~/b.iso"), and the last one chosen in the burn dialog.
inline constexpr TStringSetting ImageTargets{"Disc", "ImageTargets", ""};
inline constexpr TStringSetting LastImageFile{"Disc", "LastImageFile", ""};
// Every report a read completes is kept in the history folder unless this is 0.
inline constexpr TIntSetting HistoryKeep{"History", "Keep", 1};
// The report view's zoom: point steps from its 12 pt.
inline constexpr TIntSetting ViewZoom{"View", "Zoom", 0};
// The report files of File > Recent Reports, most recent first.
inline constexpr TListSetting RecentReports{"Recent", "File", 8};
}  // namespace Setting

// The image targets of a settings text: paths separated by ";", blanks at the ends dropped, empty
// items skipped, "~/" the home folder; relative paths are taken relative to `baseFolder`.
std::vector<std::string> SplitImageTargets(const std::string& text, const std::string& baseFolder);
// The image files the settings offer as recorders (Setting::ImageTargets), relative ones taken from the
// settings file's folder. Burn and the Archive window offer the same.
std::vector<std::string> ImageTargetsOf(const TIniFile& settings);

inline std::string ReadSetting(const TIniFile& ini, const TStringSetting& s) {
  return ini.ReadString(s.Section, s.Key, s.Default);
}
inline int32_t ReadSetting(const TIniFile& ini, const TIntSetting& s) {
  return ini.ReadInteger(s.Section, s.Key, s.Default);
}
inline void WriteSetting(TIniFile& ini, const TStringSetting& s, const std::string& value) {
  ini.WriteString(s.Section, s.Key, value);
}
inline void WriteSetting(TIniFile& ini, const TIntSetting& s, int32_t value) {
  ini.WriteInteger(s.Section, s.Key, value);
}
// The list's texts in order, empty ones left out.
inline std::vector<std::string> ReadSetting(const TIniFile& ini, const TListSetting& s) {
  std::vector<std::string> out;
  for (int i = 1; i <= s.Count; ++i) {
    std::string v = ini.ReadString(s.Section, s.KeyPrefix + std::to_string(i), "");
    if (!v.empty()) out.push_back(std::move(v));
  }
  return out;
}
// Writes the first Count texts and empties the keys after them.
inline void WriteSetting(TIniFile& ini, const TListSetting& s, const std::vector<std::string>& values) {
  std::vector<std::pair<std::string, std::string>> keys;
  for (int i = 1; i <= s.Count; ++i)
    keys.emplace_back(s.KeyPrefix + std::to_string(i),
                      static_cast<size_t>(i) <= values.size() ? values[static_cast<size_t>(i) - 1] : "");
  ini.WriteStrings(s.Section, keys);
}
