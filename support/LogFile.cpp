#include "support/LogFile.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "support/AppPaths.h"
#include "support/TextUtils.h"

namespace {

struct LogState {
  std::recursive_mutex mutex;
  bool isOpen = false;
  int64_t sizeLimit = kLogSizeLimit;
  uint8_t enabledCategories = 0;
  std::string fileName;
  std::string linePrefix;
  int64_t logSize = 0;
  FILE* file = nullptr;

  ~LogState() {
    // Finalisation: whatever the program forgot to close is closed here.
    if (file) std::fclose(file);
    file = nullptr;
  }
};

LogState& State() {
  static LogState state;
  return state;
}

}  // namespace

std::string LogTimestamp() {
  time_t now = ::time(nullptr);
  struct tm t {};
  ::localtime_r(&now, &t);
  return FormatText("%2d.%.2d.%.4d %.2d:%.2d:%.2d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour,
                    t.tm_min, t.tm_sec);
}

int64_t MeasureFileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

std::string LogFileName() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  return s.fileName;
}

int OpenLog() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (s.isOpen) return kLogAlreadyOpen;
  try {
    std::string program = ProgramFilePath();
    if (program.empty() || ExtractFileName(program).empty()) return kLogNameFailed;
    std::string name = ExtractFileName(ChangeFileExt(program, ".log"));
    std::string folder = GetLocalAppDataPath();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::string base = ChangeFileExt(name, "");
    if (!DirectoryExists(folder + base)) ::mkdir((folder + base).c_str(), 0755);  // failure shows at open
    s.fileName = folder + base + "/" + name;
    s.linePrefix = " " + name.substr(0, name.find('.')) + ": ";
    s.logSize = MeasureFileSize(s.fileName);
  } catch (...) {
    return kLogNameFailed;
  }
  // Append, created when missing, not inherited by child processes.
  s.file = std::fopen(s.fileName.c_str(), "abe");
  if (!s.file) return kLogOpenFailed;
  s.isOpen = true;
  return kLogOk;
}

int CloseLog() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (!s.isOpen) return kLogNotOpen;
  int rc = std::fclose(s.file);
  s.file = nullptr;  // the stream is gone even when fclose reports an error
  if (rc != 0) {
    // Nothing more can be written through it; keep the state honest but report the failure.
    s.isOpen = false;
    return kLogCloseFailed;
  }
  s.isOpen = false;
  return kLogOk;
}

int RotateLog() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  try {
    std::string current = s.fileName;
    if (current.empty()) return kLogRotateFailed;
    std::string old = ChangeFileExt(current, ".LO0");
    if (FileExists(old) && ::unlink(old.c_str()) != 0) {
      // The old generation cannot go: keep writing to the current file rather than losing it.
      return kLogRotateFailed;
    }
    CloseLog();
    bool renamed = ::rename(current.c_str(), old.c_str()) == 0;
    int rc = OpenLog();
    if (!renamed) return kLogRotateFailed;
    return rc;
  } catch (...) {
    return kLogRotateFailed;
  }
}

int WriteLog(const std::string& message, uint8_t categories) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  if (!s.isOpen) return kLogNotOpen;
  if (categories != 0 && (categories & s.enabledCategories) == 0) return kLogCategoryOff;
  if (s.logSize >= s.sizeLimit) {
    RotateLog();
    if (!s.isOpen) return kLogWriteFailed;  // the fresh log could not be opened
  }
  try {
    std::string line = LogTimestamp() + s.linePrefix + message + "\r\n";
    size_t n = std::fwrite(line.data(), 1, line.size(), s.file);
    s.logSize += static_cast<int64_t>(n);
    if (n != line.size() || std::fflush(s.file) != 0) return kLogWriteFailed;
  } catch (...) {
    return kLogWriteFailed;
  }
  return kLogOk;
}
