// The printer simulator's options and what its printer says: the identification and the report
// texts, shaped by the request like a real printer's (see tools/PrinterSim.h).
#include "tools/PrinterSim.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

#include "device/PortMap.h"
#include "support/TextUtils.h"

namespace {

constexpr size_t kMaxIdentData = 238;

[[noreturn]] void SysFail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

long long ParseNumber(const std::string& text, const std::string& what, long long lo, long long hi) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    throw std::invalid_argument(what + ": not a number: \"" + text + "\"");
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno || v < lo || v > hi)
    throw std::invalid_argument(what + ": " + text + " is outside " + std::to_string(lo) + ".." +
                                std::to_string(hi));
  return v;
}

bool ParseDecimal(const std::string& text, int& value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::atoi(text.c_str());
  return true;
}

uint32_t Hash(const std::string& s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

uint32_t Mix(uint32_t h, uint32_t i) {
  h ^= i * 0x9E3779B9u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Options

void ApplyPrinterSimModes(const std::string& list, PrinterSimOptions& o) {
  for (const std::string& item : SplitText(list, ',')) {
    if (item.empty()) continue;
    std::string name = item, value;
    bool hasValue = false;
    if (size_t eq = item.find('='); eq != std::string::npos) {
      name = item.substr(0, eq);
      value = item.substr(eq + 1);
      hasValue = true;
    }
    auto count = [&](int always) -> int {
      return hasValue ? int(ParseNumber(value, "mode " + name, 0, INT_MAX)) : always;
    };
    auto needValue = [&]() {
      if (!hasValue) throw std::invalid_argument("mode " + name + " needs a value (" + name + "=N)");
    };
    if (name == "silent" && !hasValue) {
      o.Silent = true;
    } else if (name == "nak-always" && !hasValue) {
      o.NakCount = -1;
    } else if (name == "nak-first") {
      needValue();
      o.NakCount = count(-1);
    } else if (name == "damaged") {
      o.DamagedCount = count(-1);
    } else if (name == "wrong-seq") {
      o.WrongSeqCount = count(-1);
    } else if (name == "status-05") {
      o.Status05Count = count(-1);
    } else if (name == "long-answer") {
      o.LongAnswerCount = count(-1);
    } else if (name == "syn-busy") {
      needValue();
      o.SynBusyMs = int(ParseNumber(value, "mode syn-busy", 0, 3600000));
    } else if (name == "text-gap" || name == "text-gap-always") {
      needValue();
      o.TextGapMs = int(ParseNumber(value, "mode " + name, 0, 3600000));
      o.TextGapCount = name == "text-gap" ? 1 : -1;
    } else if (name == "keep-streaming") {
      o.KeepStreamBaud = hasValue ? int(ParseNumber(value, "mode keep-streaming", 1000, 4000000)) : 9600;
    } else if (name == "control-bytes" && !hasValue) {
      o.ControlBytes = true;
    } else if (name == "short-ident" && !hasValue) {
      o.ShortIdent = true;
    } else if (name == "huge") {
      o.ReportBytes =
          hasValue ? size_t(ParseNumber(value, "mode huge", 1, 1LL << 34)) : size_t(4) * 1024 * 1024;
    } else {
      throw std::invalid_argument("unknown mode \"" + item + "\" (see --help)");
    }
  }
}

std::string PrinterSimUsage() {
  return "usage: vq-printer-sim [--link PATH | --port COMn] [--mode MODE[,MODE...]]\n"
         "                      [--stem TEXT] [--report-lines N] [--report-bytes N]\n"
         "                      [--record FILE] [--syn-interval MS] [--raw-line] [--stdin-stop]\n"
         "Plays a fiscal printer on a fresh pseudo-terminal; prints \"READY <slave path>\" and\n"
         "serves until SIGTERM/SIGINT (or end of stdin with --stdin-stop).\n"
         "  --link PATH        symbolic link to the slave at PATH\n"
         "  --port COMn        symbolic link <user data>/veltra-qrm/ports/COMn\n"
         "  --stem TEXT        eighth field of the identification (default \"ZHK 12345678\")\n"
         "  --report-lines N   daily entries per report (default: from the request)\n"
         "  --report-bytes N   at least N bytes of report text, sent at full speed\n"
         "  --record FILE      append one line per received request to FILE\n"
         "  --raw-line         start the line raw instead of in deliberately bad settings\n"
         "modes (combinable; K = how many times, omitted = always):\n"
         "  silent             never answer\n"
         "  nak-always | nak-first=K    answer with NAK\n"
         "  damaged[=K]        answers with a bad checksum\n"
         "  wrong-seq[=K]      answers with the wrong sequence number\n"
         "  status-05[=K]      0x05 inside the status bytes (checksum over the whole frame)\n"
         "  long-answer[=K]    answer frames longer than 255 bytes\n"
         "  syn-busy=MS        SYN every 400 ms for MS ms before each answer\n"
         "  text-gap=MS        a pause of MS ms in the middle of the first report attempt\n"
         "  text-gap-always=MS the same pause in every report attempt\n"
         "  control-bytes      0x03/0x04/0x05/NUL and mixed line ends in the report text\n"
         "  keep-streaming[=BAUD]  report text at BAUD (default 9600), sent to its end even\n"
         "                     after the port is closed or a new request comes\n"
         "  short-ident        identification with fewer than eight fields\n"
         "  huge[=N]           a report of N bytes (default 4 MiB)\n";
}

bool ParsePrinterSimArgs(const std::vector<std::string>& args, PrinterSimOptions& o, std::string& portName,
                         bool& stdinStop) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    if (a == "-h" || a == "--help") {
      return false;
    } else if (a == "--link") {
      o.LinkPath = next();
      if (o.LinkPath.empty()) throw std::invalid_argument("--link: empty path");
    } else if (a == "--port") {
      portName = next();
      int number = 0;
      if (!ParseComName(portName, number))
        throw std::invalid_argument("--port: \"" + portName + "\" is not a name COMn");
    } else if (a == "--mode") {
      ApplyPrinterSimModes(next(), o);
    } else if (a == "--stem") {
      o.Stem = next();
      for (unsigned char c : o.Stem)
        if (c < 0x20 || c == ',')
          throw std::invalid_argument("--stem: control characters and commas are not allowed");
      if (o.Stem.size() > 200) throw std::invalid_argument("--stem: at most 200 characters");
    } else if (a == "--report-lines") {
      o.ReportLines = int(ParseNumber(next(), a, 1, 10000000));
    } else if (a == "--report-bytes") {
      o.ReportBytes = size_t(ParseNumber(next(), a, 1, 1LL << 34));
    } else if (a == "--record") {
      o.RecordFile = next();
    } else if (a == "--syn-interval") {
      o.SynIntervalMs = int(ParseNumber(next(), a, 1, 60000));
    } else if (a == "--raw-line") {
      o.BadLineSettings = false;
    } else if (a == "--stdin-stop") {
      stdinStop = true;
    } else {
      throw std::invalid_argument("unknown argument \"" + a + "\" (see --help)");
    }
  }
  if (!portName.empty() && !o.LinkPath.empty())
    throw std::invalid_argument("--link and --port exclude each other");
  return true;
}

std::string PortLinkPathFor(const std::string& portName) {
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  struct stat st {};
  // The same choice as the program makes: XDG_DATA_HOME when absolute and an existing folder.
  if (xdg && xdg[0] == '/' && stat(xdg, &st) == 0 && S_ISDIR(st.st_mode))
    base = xdg;
  else if (home && home[0])
    base = std::string(home) + "/.local/share";
  else
    throw std::runtime_error("neither XDG_DATA_HOME nor HOME is set: no ports folder");
  const std::string folder = base + "/veltra-qrm/ports";
  std::string partial;
  for (const std::string& piece : SplitText(folder, '/')) {
    partial += piece;
    if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) SysFail("mkdir " + partial);
    partial += '/';
  }
  const std::string path = folder;
  return path + "/" + portName;
}

// ---------------------------------------------------------------------------------------------
// What the printer says

std::string SimIdentification(const PrinterSimOptions& o) {
  if (o.ShortIdent) return "VQ-SIM,1.00,PL,1250";
  std::string text = "VQ-SIM,1.00,PL,1250,40,2,0," + o.Stem + ",3";
  return text.substr(0, kMaxIdentData);
}

// Days since 1970-01-01 of a civil date, and back (the proleptic Gregorian calendar).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

// The days a report by date ("ddMMyy" to "ddMMyy") or by month ("MMyyyy") covers, so the dates of
// its entries fall inside the period asked for. False when the parameters name no period.
bool RequestedDays(const std::vector<std::string>& fields, int64_t& from, int64_t& to) {
  auto digits = [](const std::string& t, size_t at, size_t n, int& v) {
    return at + n <= t.size() && ParseDecimal(t.substr(at, n), v);
  };
  int d1, m1, y1, d2, m2, y2;
  if (fields.size() >= 4 && fields[2].size() == 6 && fields[3].size() == 6 && digits(fields[2], 0, 2, d1) &&
      digits(fields[2], 2, 2, m1) && digits(fields[2], 4, 2, y1) && digits(fields[3], 0, 2, d2) &&
      digits(fields[3], 2, 2, m2) && digits(fields[3], 4, 2, y2)) {
    from = DaysFromCivil(2000 + y1, m1, d1);
    to = DaysFromCivil(2000 + y2, m2, d2);
  } else if (fields.size() == 3 && fields[2].size() == 6 && digits(fields[2], 0, 2, m1) &&
             digits(fields[2], 2, 4, y1) && m1 >= 1 && m1 <= 12) {
    from = DaysFromCivil(y1, m1, 1);
    to = DaysFromCivil(m1 == 12 ? y1 + 1 : y1, m1 == 12 ? 1 : m1 + 1, 1) - 1;
  } else {
    return false;
  }
  return to >= from;
}

SimReport BuildSimReport(const PrinterSimOptions& o, uint8_t cmd, const std::string& params,
                         const std::function<void()>& busy) {
  const std::vector<std::string> fields = SplitText(params, ',');
  const bool summary = !fields.empty() && fields[0] == "S";
  const uint32_t seed = Hash(std::to_string(cmd) + ":" + params);

  int first = 1 + int(seed % 700), count = 12;
  int64_t fromDay = 0, toDay = 0;
  const bool byPeriod = cmd == 94 && RequestedDays(fields, fromDay, toDay);
  if (cmd == 95 && fields.size() >= 4) {
    int a = 0, b = 0;
    if (ParseDecimal(fields[2], a) && ParseDecimal(fields[3], b) && b >= a) {
      first = a;
      count = std::min(b - a + 1, 60);
    }
  }
  if (o.ReportLines > 0) count = o.ReportLines;

  std::vector<std::string> lines;
  // Code page 1250: \xCA = E ogonek, \xD3 = O acute, \xA3 = L stroke, \xBF = z dot,
  // \xB3 = l stroke, \xA5 = A ogonek, \xB9 = a ogonek, \x9C = s acute.
  lines.push_back(
      "^     RAPORT OKRESOWY Z PAMI\xCA"
      "CI FISKALNEJ");
  lines.push_back(summary ? "^           PODSUMOWANIE" : "^     SZCZEG\xD3\xA3OWY (PE\xA3NY)");
  lines.push_back(FormatText("Polecenie %u, parametry: %s", unsigned(cmd), params.c_str()));
  if (cmd == 95)
    lines.push_back(FormatText("Raporty dobowe od nr %04d do nr %04d", first, first + count - 1));
  else
    lines.push_back("Okres: " +
                    (fields.size() > 2 ? params.substr(params.find(',', 2) + 1) : std::string("?")));
  lines.push_back("----------------------------------------");

  const std::string trailerProbe =
      "^  \xA3\xA5"
      "CZNIE\r\nSprzeda\xBF razem: 0000000000,00 z\xB3\r\n"
      "^          KONIEC RAPORTU\r\n";
  size_t bytes = 0;
  for (const auto& l : lines) bytes += l.size() + 2;
  uint64_t total = 0;
  auto addEntry = [&](int index) {
    const uint32_t h = Mix(seed, uint32_t(index));
    const int number = first + index;
    int day = 1 + int(h % 28), month = 1 + int((h >> 5) % 12), year = 10 + int((h >> 9) % 15);
    if (byPeriod) {
      CivilFromDays(fromDay + int64_t(h % uint64_t(toDay - fromDay + 1)), year, month, day);
      year %= 100;
    }
    const uint32_t gross = (h >> 3) % 5000000;
    total += gross;
    if (summary) {
      lines.push_back(FormatText("%04d  %02d-%02d-20%02d  %7u,%02u z\xB3", number % 10000, day, month, year,
                                 gross / 100, gross % 100));
      bytes += lines.back().size() + 2;
    } else {
      lines.push_back(
          FormatText("Raport dobowy nr %04d       %02d-%02d-20%02d", number % 10000, day, month, year));
      lines.push_back(FormatText("  Sprzeda\xBF opodatk. A     %7u,%02u", gross / 100, gross % 100));
      const uint32_t tax = gross * 23 / 123;
      lines.push_back(FormatText("  Kwota PTU A 23%%        %7u,%02u", tax / 100, tax % 100));
      lines.push_back(FormatText("  Liczba paragon\xF3w        %7u", (h >> 13) % 400));
      for (size_t k = lines.size() - 4; k < lines.size(); ++k) bytes += lines[k].size() + 2;
    }
  };
  int index = 0;
  auto tick = [&]() {
    if (busy && index % 512 == 0) busy();
  };
  for (; index < count; ++index) {
    tick();
    addEntry(index);
  }
  while (o.ReportBytes && bytes + trailerProbe.size() < o.ReportBytes) {
    tick();
    addEntry(index++);
  }

  lines.push_back(
      "^  \xA3\xA5"
      "CZNIE");
  lines.push_back(FormatText("Sprzeda\xBF razem: %llu,%02llu z\xB3", (unsigned long long)(total / 100),
                             (unsigned long long)(total % 100)));
  lines.push_back("^          KONIEC RAPORTU");

  SimReport r;
  r.AnswerData = std::to_string(lines.size());
  if (!o.ControlBytes) {
    r.Text.reserve(bytes + trailerProbe.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      if (busy && i % 4096 == 0) busy();
      if (i == lines.size() / 2) r.GapAt = r.Text.size();
      r.Text += lines[i];
      r.Text += "\r\n";
    }
    r.Lines = std::move(lines);
    return r;
  }

  // Control bytes outside frames: 0x03 is dropped by the program, 0x04 and 0x05 are text,
  // LF alone, CR alone and LF CR (two breaks) end lines, and a NUL ends the text.
  const std::string ctl = "Znaki ster.: \x04\x05 koniec";
  r.Text = "\x03" + lines[0] + "\r\n";
  r.Text += lines[1].substr(0, 4) + "\x03" + lines[1].substr(4) + "\n";
  r.Text += lines[2] + "\r";
  r.Text += ctl + "\n\r";
  r.Lines = {lines[0], lines[1], lines[2], ctl, ""};
  for (size_t i = 3; i < lines.size(); ++i) {
    if (i == lines.size() / 2) r.GapAt = r.Text.size();
    static const char* const breaks[] = {"\r\n", "\n", "\r"};
    r.Text += lines[i];
    r.Text += breaks[i % 3];
    r.Lines.push_back(lines[i]);
  }
  r.Text += std::string("OSTATNIA\0 PO NUL\r\nNIEWIDOCZNA\r\n", 30);
  r.Lines.push_back("OSTATNIA");
  return r;
}
