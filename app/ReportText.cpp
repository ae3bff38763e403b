#include "app/ReportText.h"

#include <cstdint>

#include "support/TextUtils.h"

namespace {

// The printer sends its report in this code page; the bytes themselves are kept unchanged.
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
  QString Decode(const std::string& bytes) const {
    if (!exact_) return AnsiStringToWideString(bytes, kReportCodePage);
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

 private:
  QChar table_[256];
  bool exact_ = true;
};

}  // namespace

QString ReportText(const std::string& bytes) {
  static const TReportDecoder decoder;
  return decoder.Decode(bytes);
}
