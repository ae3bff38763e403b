#include "support/IniFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/AppPaths.h"
#include "support/AtomicFile.h"

namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n" or "" (last line without a break)
};

bool ReadLines(const std::string& path, std::vector<Line>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  const std::string data = ss.str();
  size_t pos = 0;
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    Line l;
    if (nl == std::string::npos) {
      l.text = data.substr(pos);
      pos = data.size();
    } else {
      l.text = data.substr(pos, nl - pos);
      l.end = "\n";
      pos = nl + 1;
    }
    if (!l.text.empty() && l.text.back() == '\r') {
      l.text.pop_back();
      if (!l.end.empty())
        l.end = "\r\n";
      else
        l.end = "\r";  // a lone trailing CR is kept as it was
    }
    lines.push_back(std::move(l));
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A line's text with a UTF-8 byte-order mark at the very start of the file ignored.
std::string Content(const std::vector<Line>& lines, size_t i) {
  if (i == 0 && lines[0].text.compare(0, 3, "\xEF\xBB\xBF") == 0) return lines[0].text.substr(3);
  return lines[i].text;
}

// Section name of a "[name]" line, trimmed; false for other lines.
bool SectionOf(const std::string& text, std::string& name) {
  std::string t = TrimBlanks(text);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  name = TrimBlanks(close == std::string::npos ? t.substr(1) : t.substr(1, close - 1));
  return true;
}

// Key and value of a "key=value" line, both trimmed; false for other lines (comments included).
bool KeyOf(const std::string& text, std::string& key, std::string& value) {
  std::string t = TrimBlanks(text);
  if (t.empty() || t[0] == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(t.substr(0, eq));
  value = TrimBlanks(t.substr(eq + 1));
  return true;
}

bool HasLineBreak(const std::string& s) {
  return s.find('\n') != std::string::npos || s.find('\r') != std::string::npos ||
         s.find('\0') != std::string::npos;
}

[[noreturn]] void WriteFailed(const std::string& path) { throw Exception("Unable to write to " + path); }

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}
TIniFile::~TIniFile() = default;

const std::string& TIniFile::FileName() const { return path_; }
void TIniFile::SetFileName(std::string path) { path_ = std::move(path); }

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  std::vector<Line> lines;
  if (!ReadLines(path_, lines)) return LookUpIniValue({}, section, key, def);
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (Line& l : lines) texts.push_back(std::move(l.text));
  return LookUpIniValue(texts, section, key, def);
}

std::string LookUpIniValue(const std::vector<std::string>& lines, const std::string& section,
                           const std::string& key, const std::string& def) {
  std::string result = def;
  const std::string wantSection = TrimBlanks(section), wantKey = TrimBlanks(key);
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    // A UTF-8 byte-order mark at the very start of the file is no part of the first line.
    const std::string text =
        i == 0 && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0 ? lines[0].substr(3) : lines[i];
    std::string name, value;
    if (SectionOf(text, name)) {
      if (inSection) break;  // the first section of that name is the one that counts
      inSection = SameName(name, wantSection);
    } else if (inSection && KeyOf(text, name, value) && SameName(name, wantKey)) {
      // As the platform's profile calls do: blanks around a value are dropped, and a value
      // in matching quotes keeps what is between them, so translators can write " Search ".
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      result = value;
      break;
    }
  }
  if (result.size() > TIniFile::kMaxValueLength) result.resize(TIniFile::kMaxValueLength);
  return result;
}

TIniSnapshot::TIniSnapshot(std::string path) : path_(std::move(path)) {
  std::vector<Line> lines;
  if (path_.empty() || !ReadLines(path_, lines)) return;
  lines_.reserve(lines.size());
  for (Line& l : lines) lines_.push_back(std::move(l.text));
}

std::string TIniSnapshot::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
  return LookUpIniValue(lines_, section, key, def);
}

bool IniTextToInt(const std::string& input, int32_t& out) {
  std::string text = input;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  size_t i = 0;
  bool neg = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    neg = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  }
  if (i >= text.size()) return false;
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  int64_t s;
  if (hex) {
    // Hexadecimal spells the 32 bits: $FFFFFFFF is -1.
    s = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (neg) s = -s;
    if (s > INT32_MAX || s < INT32_MIN) return false;
  } else {
    s = neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    if (s > INT32_MAX || s < INT32_MIN) return false;
  }
  out = static_cast<int32_t>(s);
  return true;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
  int32_t v;
  return IniTextToInt(ReadString(section, key, ""), v) ? v : def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  WriteStrings(section, {{key, value}});
}

void TIniFile::WriteStrings(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& keyValues) {
  const std::string wantSection = TrimBlanks(section);
  if (wantSection.empty() || HasLineBreak(section) || wantSection.find(']') != std::string::npos)
    WriteFailed(path_);
  for (const auto& [key, value] : keyValues) {
    const std::string wantKey = TrimBlanks(key);
    if (wantKey.empty() || HasLineBreak(key) || HasLineBreak(value) ||
        wantKey.find('=') != std::string::npos || wantKey[0] == '[' || wantKey[0] == ';')
      WriteFailed(path_);
  }

  std::vector<Line> lines;
  if (!ReadLines(path_, lines)) {
    if (FileExists(path_)) WriteFailed(path_);  // present but unreadable: never replace it blindly
    lines.clear();
  }
  // New lines take the line end most of the file uses, so one stray LF in a CR LF file
  // (or garbage at its start) does not decide it.
  size_t crlf = 0, lf = 0;
  for (const Line& l : lines) {
    if (l.end == "\n")
      ++lf;
    else if (!l.end.empty())
      ++crlf;
  }
  const std::string eol = crlf > lf ? "\r\n" : "\n";

  for (const auto& [key, value] : keyValues) {
    const std::string wantKey = TrimBlanks(key);
    const std::string newLine = wantKey + "=" + value;
    bool inSection = false, done = false;
    size_t sectionLine = lines.size(), lastKeyLine = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string text = Content(lines, i);
      std::string name, v;
      if (SectionOf(text, name)) {
        if (inSection) break;
        if (SameName(name, wantSection)) {
          inSection = true;
          sectionLine = lastKeyLine = i;
        }
      } else if (inSection) {
        if (KeyOf(text, name, v)) {
          if (SameName(name, wantKey)) {
            std::string bom = (i == 0 && text.size() != lines[0].text.size()) ? "\xEF\xBB\xBF" : "";
            lines[i].text = bom + newLine;
            done = true;
            break;
          }
          lastKeyLine = i;
        } else if (!TrimBlanks(text).empty()) {
          lastKeyLine = i;  // keep comments that belong to the section above the new key
        }
      }
    }
    if (done) continue;
    auto terminate = [&](size_t i) {
      if (lines[i].end.empty() || lines[i].end == "\r") lines[i].end = eol;
    };
    if (sectionLine == lines.size()) {
      if (!lines.empty()) terminate(lines.size() - 1);
      lines.push_back({"[" + wantSection + "]", eol});
      lines.push_back({newLine, eol});
    } else {
      terminate(lastKeyLine);
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastKeyLine) + 1, Line{newLine, eol});
    }
  }
  std::string data;
  for (const Line& l : lines) data += l.text + l.end;
  try {
    WriteFileAtomically(path_, data);
  } catch (const Exception&) {
    WriteFailed(path_);
  }
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

namespace {
std::string SettingsPath(const std::string& fileName) {
  std::string folder = UserProgramFolder();
  bool blank = TrimBlanks(fileName).empty();
  std::string name = blank ? ChangeFileExt(ExtractFileName(ProgramFilePath()), ".ini") : fileName;
  return folder + "/" + name;
}
}  // namespace

TIniFile_VT::TIniFile_VT(const std::string& fileName) : TIniFile(SettingsPath(fileName)) {}
