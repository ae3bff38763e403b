#include "app/ReportFile.h"

#include "support/AtomicFile.h"

void WriteReportFile(const std::string& path, const TStringList& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string data;
  data.reserve(size);
  for (const std::string& line : lines) {
    data += line;
    data += "\r\n";
  }
  WriteFileAtomically(path, data);
}

std::string SafeFileNameStem(const std::string& stem) {
  std::string out;
  out.reserve(stem.size());
  for (const char c : stem) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ') continue;
    if (b == '/' || b == '\\' || b < 0x20 || b == 0x7F)
      out += '_';
    else
      out += c;
  }
  if (out == "." || out == "..") return "_";
  return out;
}
