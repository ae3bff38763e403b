#include "device/Report.h"

#include <algorithm>

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

TReportLines::TReportLines(std::initializer_list<std::string_view> lines) {
  for (const std::string_view line : lines) push_back(line);
}

TReportLines::TReportLines(const TStringList& lines) {
  ends_.reserve(lines.size());
  for (const std::string& line : lines) push_back(line);
}

TReportLines TReportLines::FromParts(std::string bytes, std::vector<uint32_t> ends) {
  TReportLines out;
  ends.shrink_to_fit();
  out.bytes_ = std::move(bytes);
  out.ends_ = std::move(ends);
  return out;
}

void TReportLines::clear() {
  bytes_.clear();
  ends_.clear();
}

void TReportLines::assign(size_t count, std::string_view line) {
  clear();
  for (size_t i = 0; i < count; ++i) push_back(line);
}

void TReportLines::push_back(std::string_view line) {
  bytes_.append(line);
  ends_.push_back(static_cast<uint32_t>(bytes_.size()));
}

TStringList TReportLines::ToList() const {
  TStringList out;
  out.reserve(size());
  for (const std::string_view line : *this) out.emplace_back(line);
  return out;
}

bool operator==(const TReportLines& a, const TStringList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
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
