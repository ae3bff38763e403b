#pragma once
// Reports on disk, for the window and the headless reader alike: the history folder that keeps every
// report a read completes, and a report file read back as if it had just been read.
//
//   if (HistoryEnabled()) std::string kept = KeepReport(report);   // throws EReportNotKept
//   TReport report = LoadReportFile("/srv/fiscal/ZHK12345678_0007_0120.txt");   // throws EReportFileRefused
//
// The history folder holds only report files, each written whole or not at all under its report file
// name with exactly the bytes Save As writes. A report already kept under its name is kept once; other
// bytes under a taken name get "<stem> (2).txt", "(3)", ... Nothing there is ever overwritten.
#include <cstdint>
#include <string>

#include "device/Report.h"
#include "support/Exceptions.h"

// $XDG_DATA_HOME/veltra-qrm/reports (by default ~/.local/share/veltra-qrm/reports).
std::string HistoryFolder();
// The settings file's [History] Keep, on unless 0.
bool HistoryEnabled();

// A report that could not be kept: the folder and the system's reason.
class EReportNotKept : public Exception {
 public:
  EReportNotKept(std::string folder, std::string reason)
      : Exception(folder + ": " + reason), Folder(std::move(folder)), Reason(std::move(reason)) {}
  std::string Folder, Reason;
};

// Keeps a report in the history folder (made private to the user when missing) and gives the path of
// its file there. Throws EReportNotKept.
std::string KeepReport(const TReport& report);

// A file that is refused as a report: what is wrong with it.
class EReportFileRefused : public Exception {
 public:
  enum TReason { TooLarge, NotText, NotAFile, Unreadable };
  EReportFileRefused(std::string path, TReason reason, std::string systemReason = {})
      : Exception(path + ": " + (systemReason.empty() ? std::to_string(reason) : systemReason)),
        Path(std::move(path)),
        Reason(reason),
        SystemReason(std::move(systemReason)) {}
  std::string Path;
  TReason Reason;
  std::string SystemReason;  // the system's words when Unreadable
};

constexpr int64_t kMaxReportFileSize = int64_t(64) << 20;

// Reads a report file (a path in the file system's encoding): its bytes are the printer's code page,
// its lines may end in CR LF, LF or CR. The report's file name is the file's own name and its stem and
// range part are taken from it. Refuses, without waiting on it, anything but a regular file; a file over
// kMaxReportFileSize; a file that is not text (over 1 % of its bytes control bytes other than CR, LF,
// TAB and form feed); a file that cannot be read.
TReport LoadReportFile(const std::string& path);

// The stem and range part of a report file name on disk ("ZHK12345678_0007_0120 (2).txt" gives
// "ZHK12345678" and "0007_0120"), in the printer's code page.
void SplitReportFileName(const std::string& fileNameOnDisk, std::string& stem, std::string& rangePart);
