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
#include <cstdint>
#include <string>
#include <variant>

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

// One report as the printer sent it.
struct TReport {
  std::string Stem;       // eighth field of the identification, as received
  std::string RangePart;  // from the request
  std::string FileName;   // MakeReportFileName(Stem, RangePart)
  TStringList Lines;      // every byte as received; line breaks removed
};

// The report file name: stem (made safe as a file-name component), "_", range part, ".txt",
// with every blank removed.
std::string MakeReportFileName(const std::string& fileNameStem, const std::string& rangePart);

// Makes a device-supplied name usable as one file-name component: blanks are
// removed, "/", "\", NUL and other control characters become "_", and a name
// that would be "." or ".." becomes "_". Every other byte is kept.
std::string SafeFileNameStem(const std::string& stem);
