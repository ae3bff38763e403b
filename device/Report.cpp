#include "device/Report.h"

namespace {

template <class... F>
struct TOverload : F... {
  using F::operator()...;
};
template <class... F>
TOverload(F...) -> TOverload<F...>;

std::string ShortDate(const QDate& d) { return d.toString(QStringLiteral("ddMMyy")).toStdString(); }

}  // namespace

TReportCheck TReportRequest::Check() const {
  return std::visit(TOverload{[](const TReportDates& p) {
                                return p.To < p.From ? TReportCheck::EndBeforeStart : TReportCheck::Ok;
                              },
                              [](const TReportNumbers& p) {
                                return p.First > p.Last ? TReportCheck::FirstAboveLast : TReportCheck::Ok;
                              },
                              [this](const TReportMonth&) {
                                return Type == TReportType::Summary ? TReportCheck::SummaryByMonth
                                                                    : TReportCheck::Ok;
                              }},
                    Period);
}

TReportCommand TReportRequest::Build() const {
  const char* letter = Type == TReportType::Detailed ? "D" : "S";
  TReportCommand c;
  std::visit(TOverload{[&](const TReportDates& p) {
                         const std::string from = ShortDate(p.From), to = ShortDate(p.To);
                         c.Params = FormatText("%s,1,%s,%s", letter, from.c_str(), to.c_str());
                         c.RangePart = FormatText("%s_%s", from.c_str(), to.c_str());
                       },
                       [&](const TReportNumbers& p) {
                         c.Command = 95;
                         c.Params = FormatText("%s,1,%d,%d", letter, p.First, p.Last);
                         c.RangePart = FormatText("%.4d_%.4d", p.First, p.Last);
                       },
                       [&](const TReportMonth& p) {
                         c.Params = FormatText("%s,1,%s", letter, p.MonthYear.c_str());
                       }},
             Period);
  return c;
}

std::string MakeReportFileName(const std::string& fileNameStem, const std::string& rangePart) {
  return StripBlanks(SafeFileNameStem(fileNameStem) + "_" + rangePart + ".txt");
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
