#pragma once
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// The text centred in width characters: (width - length) / 2 blanks on the left, the rest on the
// right. A text longer than the width comes back unchanged.
std::string CenterText(const std::string& text, int32_t width);

// The text cut at every sep: n separators give n + 1 fields, empty ones included, so "" gives one
// empty field. The one splitter for lists in settings, texts and device answers.
TStringList SplitText(const std::string& text, char sep);

// Field n (from 1) of text split at sep. Empty fields between separators count; a blank last field
// is dropped. n = 0 or beyond the last field gives "".
std::string GetField(const std::string& text, uint8_t n, char sep);

// Two-column print layout: blocks of rows lines, the left column taking source lines
// b*2*rows .. b*2*rows+rows-1, the right column the next rows lines. Each cell is
// CenterText(line, width) padded on the left to at least 42 characters; cells are joined by three
// blanks. rows <= 0 gives no output.
void MakePrintColumns(const TStringList& src, TStringList& out, int32_t rows, int32_t width);

// 8-bit text in a Windows code page (1250, 1252, ..., 65001 for UTF-8, 0 for the system's own)
// to wide text, as the published code page tables say. Conversion stops at a NUL. An unknown code
// page gives "". Throws Exception("Exception in \"VStrParser.AnsiStringToWideString\" metod : ...").
QString AnsiStringToWideString(const std::string& text, uint16_t codePage);

// The text with every blank (space) removed.
std::string StripBlanks(const std::string& text);
// The text without leading and trailing blanks and control characters (codes up to 32).
std::string TrimBlanksAndControls(const std::string& text);
// printf-style formatting into a std::string.
std::string FormatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
