#include "app/ReportFile.h"

#include "support/AtomicFile.h"

void WriteReportFile(const std::string& path, const TReportLines& lines) {
  size_t size = 0;
  for (const std::string_view line : lines) size += line.size() + 2;
  std::string data;
  data.reserve(size);
  for (const std::string_view line : lines) {
    data += line;
    data += "\r\n";
  }
  WriteFileAtomically(path, data);
}
