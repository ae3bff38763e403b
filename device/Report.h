#pragma once
// What the operator asks the printer for, and what a read brings back.
//
//   TReportRequest request;                    // from the options dialog or the command line
//   request.Period = TReportDates{from, to};   // or TReportNumbers / TReportMonth
//   request.Type = TReportType::Summary;
//   if (request.Check() != TReportCheck::Ok) ...   // show the caller's own text for the check
//   job.SetRequest(request.Build());           // command, parameters, range part
//   TReport report = job.TakeReport();         // moved out, never copied
//
// The command and its parameter text are built here only, byte for byte as the printer expects
// them; the callers never put them together themselves.
#include <QDate>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/TextUtils.h"

enum class TReportType { Detailed, Summary };

struct TReportDates {
  QDate From, To;
};
struct TReportNumbers {
  int First = 1, Last = 1;
};
struct TReportMonth {
  std::string MonthYear;  // two-digit month followed by the year digits as typed ("0312")
};

// Which check refused a request; each caller shows its own text for it.
enum class TReportCheck {
  Ok,
  EndBeforeStart,  // the period ends before it starts
  FirstAboveLast,  // the first report number is above the last
  SummaryByMonth,  // a month can only be read in detail
};

// What the printer is sent for one request.
struct TReportCommand {
  uint8_t Command = 94;  // 94 for a period of dates or a month, 95 for report numbers
  std::string Params;
  // The part of the report file name that names the period: "ddMMyy_ddMMyy", "0007_0120", or
  // empty for a month.
  std::string RangePart;
};

struct TReportRequest {
  std::variant<TReportDates, TReportNumbers, TReportMonth> Period = TReportDates{};
  TReportType Type = TReportType::Detailed;

  TReportCheck Check() const;
  TReportCommand Build() const;  // whatever Check() says
};

// The lines of a report in one buffer: the bytes as received, line after line without the
// breaks, and where each line ends. A report of a million lines then costs its bytes and four
// more a line, not a string object and a heap block a line, which the view needs room for.
// Lines read as std::string_view, valid until the next change.
class TReportLines {
 public:
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;
    const_iterator(const TReportLines* lines, size_t i) : lines_(lines), i_(i) {}
    std::string_view operator*() const { return (*lines_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }
    bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

   private:
    const TReportLines* lines_;
    size_t i_;
  };
  using iterator = const_iterator;
  using value_type = std::string_view;

  TReportLines() = default;
  TReportLines(std::initializer_list<std::string_view> lines);
  TReportLines(const TStringList& lines);  // NOLINT: a list of lines is a report's lines
  // The lines already in one buffer: `ends` holds where each line ends in `bytes` (SplitReportText).
  static TReportLines FromParts(std::string bytes, std::vector<uint32_t> ends);

  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  void clear();
  void assign(size_t count, std::string_view line);
  void push_back(std::string_view line);
  std::string_view operator[](size_t i) const {
    const size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }
  TStringList ToList() const;

  friend bool operator==(const TReportLines& a, const TReportLines& b) {
    return a.ends_ == b.ends_ && a.bytes_ == b.bytes_;
  }
  friend bool operator==(const TReportLines& a, const TStringList& b);

 private:
  std::string bytes_;
  std::vector<uint32_t> ends_;  // the link keeps a report well below 4 GiB
};

// One report as the printer sent it.
struct TReport {
  std::string Stem;       // eighth field of the identification, as received
  std::string RangePart;  // from the request
  std::string FileName;   // MakeReportFileName(Stem, RangePart)
  TReportLines Lines;     // every byte as received; line breaks removed
};

// The report file name: stem (made safe as a file-name component), "_", range part, ".txt",
// with every blank removed.
std::string MakeReportFileName(const std::string& fileNameStem, const std::string& rangePart);

// Makes a device-supplied name usable as one file-name component: blanks are
// removed, "/", "\", NUL and other control characters become "_", and a name
// that would be "." or ".." becomes "_". Every other byte is kept.
std::string SafeFileNameStem(const std::string& stem);
