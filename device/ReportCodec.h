#pragma once
// The report's bytes, and the one place they are cut into lines, read as text and named on disk.
//
// The printer sends its report as 8-bit text in code page 1250, lines ended by CR, LF or CR LF. The
// program keeps those bytes unchanged everywhere (view, Save As, Print, Burn, the headless reader, the
// kept reports and the archive); only at the edge, where a person reads them or a file system names
// them, do they become Unicode:
//
//   TReportLines lines = SplitReportText(std::move(bytes));  // bytes to lines, cut in place
//   QString shown = ReportText(lines[i]);                    // a line as the operator reads it
//   std::string bytes = ReportFileBytes(lines);              // what Save As writes: each line + CR LF
//   WriteReportFile(path, lines);                            // those bytes, whole or not at all
//   std::string name = ReportFileNameOnDisk(report.FileName);// the report's name as a UTF-8 file name
//
// TLineSplitter is the rule itself, for a text that is still growing (the read counts lines as the
// report streams in).
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/Report.h"

// The rule of report lines: CR, LF or CR LF end a line (LF CR are two breaks); a NUL ends the text; a
// text that ends with a break has no empty last line. Feed() may be called again as the text grows:
// each call looks only at the bytes it has not seen.
class TLineSplitter {
 public:
  // Calls line(begin, end), offsets into text, for each line that ends in the bytes not seen before.
  template <typename F>
  void Feed(std::string_view text, F&& line) {
    for (; seen_ < text.size() && !ended_; ++seen_) {
      const char c = text[seen_];
      if (c == '\0') {
        ended_ = true;
        break;
      }
      if (c == '\n' && lastCr_) {
        lastCr_ = false;  // the LF of a CR LF
        start_ = seen_ + 1;
      } else if (c == '\r' || c == '\n') {
        line(start_, seen_);
        ++lines_;
        lastCr_ = c == '\r';
        open_ = false;
        start_ = seen_ + 1;
      } else {
        lastCr_ = false;
        open_ = true;
      }
    }
  }
  // At the end of the text: the last line, when it has no break of its own.
  template <typename F>
  void Finish(F&& line) {
    if (open_) line(start_, seen_);
    lines_ += open_ ? 1 : 0;
    open_ = false;
    ended_ = true;
  }
  // The lines so far, an unended last one included.
  int64_t Count() const { return lines_ + (open_ ? 1 : 0); }
  size_t Seen() const { return seen_; }

 private:
  size_t seen_ = 0, start_ = 0;
  int64_t lines_ = 0;
  bool lastCr_ = false, open_ = false, ended_ = false;
};

// The whole text cut into lines by TLineSplitter's rule, in place: the bytes are not copied.
TReportLines SplitReportText(std::string text);

// The same cut into a list of strings, replacing the whole content of `lines`.
void LoadReportLines(const std::string& text, TStringList& lines);

// A line (or any report bytes, a name among them) as the operator reads it: code page 1250; a NUL
// ends the text.
QString ReportText(std::string_view bytes);

// Text back in the printer's code page, as ReportText reads it; a character the code page lacks becomes
// "?" (a report name taken from a file name on disk).
std::string ReportBytes(const QString& text);

// The bytes of a saved report: every line as received, followed by CR LF.
std::string ReportFileBytes(const TReportLines& lines);

// Writes ReportFileBytes(lines) to `path` whole or not at all, keeping an existing file's permissions
// and links (see WriteFileAtomically). Throws Exception with the reason.
void WriteReportFile(const std::string& path, const TReportLines& lines);

// A report's file name (printer bytes, MakeReportFileName) as a name on disk: made safe as one
// component, then UTF-8. Throws Exception when the name cannot be written.
std::string ReportFileNameOnDisk(const std::string& reportFileName);
