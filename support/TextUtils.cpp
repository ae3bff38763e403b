#include "support/TextUtils.h"

#include <QStringDecoder>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/Exceptions.h"

std::string CenterText(const std::string& text, int32_t width) {
  const int64_t len = static_cast<int64_t>(text.size());
  if (len > width) return text;
  const int64_t left = (width - len) / 2;
  std::string result(static_cast<size_t>(left), ' ');
  result += text;
  result.append(static_cast<size_t>(width - len - left), ' ');
  return result;
}

std::string TrimBlanksAndControls(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string StripBlanks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

TStringList SplitText(const std::string& text, char sep) {
  TStringList fields;
  size_t start = 0;
  for (size_t end; (end = text.find(sep, start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  fields.push_back(text.substr(start));
  return fields;
}

std::string GetField(const std::string& text, uint8_t n, char sep) {
  try {
    TStringList fields = SplitText(text, sep);
    if (TrimBlanksAndControls(fields.back()).empty()) fields.pop_back();
    if (n == 0 || n > fields.size()) return "";
    return fields[n - 1];
  } catch (...) {
    return "";
  }
}

namespace {
std::string PrintCell(const std::string& line, int32_t width) {
  std::string cell = CenterText(line, width);
  if (cell.size() < 42) cell.insert(0, 42 - cell.size(), ' ');
  return cell;
}
}  // namespace

void MakePrintColumns(const TStringList& src, TStringList& out, int32_t rows, int32_t width) {
  out.clear();
  if (rows <= 0) return;  // no rows per column: nothing can be laid out (and the walk would never end)
  const size_t r = static_cast<size_t>(rows);
  for (size_t block = 0;; ++block) {
    for (size_t row = 0; row < r; ++row) {
      const size_t left = block * 2 * r + row, right = left + r;
      if (right < src.size())
        out.push_back(PrintCell(src[left], width) + "   " + PrintCell(src[right], width));
      else if (left < src.size())
        out.push_back(PrintCell(src[left], width));
      else
        return;
    }
  }
}

namespace {
QByteArray CodecName(uint16_t codePage) {
  switch (codePage) {
    case 65001: return "UTF-8";
    case 20127: return "US-ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + QByteArray::number(codePage);
  if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + QByteArray::number(codePage - 28590);
  if (codePage == 874) return "windows-874";
  return "IBM" + QByteArray::number(codePage);  // the OEM pages: 437, 850, 852, 866, ...
}
}  // namespace

QString AnsiStringToWideString(const std::string& text, uint16_t codePage) {
  try {
    const size_t len = ::strnlen(text.c_str(), text.size());  // a NUL ends the text
    if (len == 0) return QString();
    QStringDecoder decoder = codePage == 0 ? QStringDecoder(QStringDecoder::System)
                                           : QStringDecoder(CodecName(codePage).constData());
    if (!decoder.isValid()) return QString();
    QString result = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(len)));
    return result;
  } catch (const std::exception& e) {
    throw Exception(std::string("Exception in \"VStrParser.AnsiStringToWideString\" metod : ") + e.what());
  }
}

std::string FormatText(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap);
  return out;
}
