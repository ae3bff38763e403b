#include "device/ReportCodec.h"

#include <algorithm>
#include <iterator>

#include "support/AtomicFile.h"
#include "support/Exceptions.h"
#include "support/TextUtils.h"

namespace {

// The printer sends its report in this code page.
constexpr uint16_t kReportCodePage = 1250;

// The report's code page, byte by byte, taken once from AnsiStringToWideString: a view of
// 100,000 lines would otherwise open a converter per line. Single-byte code page, so the
// table gives exactly what the whole-line conversion gives.
class TReportDecoder {
 public:
  TReportDecoder() {
    for (int b = 1; b < 256; ++b) {
      const QString c = AnsiStringToWideString(std::string(1, static_cast<char>(b)), kReportCodePage);
      if (c.size() != 1) {
        exact_ = false;
        return;
      }
      table_[b] = c.front();
    }
  }
  QString Decode(std::string_view bytes) const {
    if (!exact_) return AnsiStringToWideString(std::string(bytes), kReportCodePage);
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    qsizetype n = 0;
    for (const char ch : bytes) {
      const auto b = static_cast<unsigned char>(ch);
      if (b == 0) break;  // a NUL ends the text, as in the conversion itself
      d[n++] = table_[b];
    }
    out.truncate(n);
    return out;
  }
  std::string Encode(const QString& text) const {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
      const auto* at = std::find(std::begin(table_) + 1, std::end(table_), c);
      out += at != std::end(table_) ? static_cast<char>(at - std::begin(table_)) : '?';
    }
    return out;
  }

 private:
  QChar table_[256];
  bool exact_ = true;
};

}  // namespace

TReportLines SplitReportText(std::string text) {
  std::vector<uint32_t> ends;
  size_t kept = 0;  // the lines so far, without their breaks, lie in text[0, kept)
  auto keep = [&](size_t begin, size_t end) {
    std::char_traits<char>::move(text.data() + kept, text.data() + begin, end - begin);
    kept += end - begin;
    ends.push_back(static_cast<uint32_t>(kept));
  };
  TLineSplitter splitter;
  splitter.Feed(text, keep);
  splitter.Finish(keep);
  text.resize(kept);
  text.shrink_to_fit();  // the removed breaks would otherwise stay resident next to the view
  return TReportLines::FromParts(std::move(text), std::move(ends));
}

void LoadReportLines(const std::string& text, TStringList& lines) {
  lines.clear();
  auto add = [&](size_t begin, size_t end) { lines.emplace_back(text, begin, end - begin); };
  TLineSplitter splitter;
  splitter.Feed(text, add);
  splitter.Finish(add);
}

namespace {
const TReportDecoder& Decoder() {
  static const TReportDecoder decoder;
  return decoder;
}
}  // namespace

QString ReportText(std::string_view bytes) { return Decoder().Decode(bytes); }

std::string ReportBytes(const QString& text) { return Decoder().Encode(text); }

std::string ReportFileBytes(const TReportLines& lines) {
  size_t size = 0;
  for (const std::string_view line : lines) size += line.size() + 2;
  std::string data;
  data.reserve(size);
  for (const std::string_view line : lines) {
    data += line;
    data += "\r\n";
  }
  return data;
}

void WriteReportFile(const std::string& path, const TReportLines& lines) {
  WriteFileAtomically(path, ReportFileBytes(lines));
}

std::string ReportFileNameOnDisk(const std::string& reportFileName) {
  const QString name = ReportText(SafeFileNameStem(reportFileName));
  if (name.isEmpty() != reportFileName.empty())
    throw Exception("The report name \"" + reportFileName + "\" cannot be written as a file name");
  return name.toUtf8().toStdString();
}
