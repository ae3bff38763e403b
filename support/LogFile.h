#pragma once
#include <cstdint>
#include <string>

// The communication log: one plain-text file per user in UserProgramFolder(), named like the
// program file with ".log", one previous generation under ".LO0", rotated at 5 MiB.
// Each line: LogTimestamp(), " <name up to its first dot>: ", the message, CR LF.
// No operation throws; each returns a status code. Writes and rotation are serialised by a mutex,
// so any thread may write.
enum LogStatus : int {
  kLogOk = 0,
  kLogNotOpen = 1,
  kLogAlreadyOpen = 2,
  kLogOpenFailed = 4,
  kLogCloseFailed = 5,
  kLogWriteFailed = 6,
  kLogRotateFailed = 7,
  kLogNameFailed = 8,
  kLogCategoryOff = 10,
};

constexpr int64_t kLogSizeLimit = 5242880;

int WriteLog(const std::string& message, uint8_t categories = 0);
int OpenLog();   // called once at program start
int CloseLog();  // called at program end
int RotateLog();
std::string LogTimestamp();                        // "%2d.%.2d.%.4d %.2d:%.2d:%.2d" local time
int64_t MeasureFileSize(const std::string& path);  // 0 when missing or unreadable
std::string LogFileName();                         // current full path ("" before the first OpenLog)
