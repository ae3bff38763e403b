#include "tools/PrinterSim.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "device/PortMap.h"
#include "support/TextUtils.h"

extern char** environ;

namespace {

constexpr uint8_t kPre = 0x01;
constexpr uint8_t kTerm = 0x03;
constexpr uint8_t kSep = 0x04;
constexpr uint8_t kPost = 0x05;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kSyn = 0x16;
constexpr size_t kMaxRequestFrame = 229;  // 219 data bytes + 10
constexpr size_t kMaxIdentData = 238;

[[noreturn]] void SysFail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string Hex(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += char(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
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

uint8_t NextSeq(uint8_t seq) { return seq >= 0x7F ? 0x20 : uint8_t(seq + 1); }

int64_t MsBetween(PrinterSim::Clock::time_point a, PrinterSim::Clock::time_point b) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
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

std::string BuildSimAnswer(uint8_t seq, uint8_t cmd, const std::string& data, const uint8_t status[6],
                           bool damage) {
  std::string f;
  f.reserve(data.size() + 17);
  f += char(kPre);
  f += char(0);  // LEN, below
  f += char(seq);
  f += char(cmd);
  f += data;
  f += char(kSep);
  f.append(reinterpret_cast<const char*>(status), 6);
  f += char(kPost);
  const size_t covered = f.size() - 1;  // LEN through the postamble
  f[1] = char(std::min<size_t>(0x20 + covered, 0xFF));
  uint32_t sum = 0;
  for (size_t i = 1; i < f.size(); ++i) sum += uint8_t(f[i]);
  uint8_t digits[4] = {uint8_t(0x30 + ((sum >> 12) & 15)), uint8_t(0x30 + ((sum >> 8) & 15)),
                       uint8_t(0x30 + ((sum >> 4) & 15)), uint8_t(0x30 + (sum & 15))};
  if (damage) digits[3] = uint8_t(0x30 + ((digits[3] - 0x30 + 1) & 15));
  f.append(reinterpret_cast<const char*>(digits), 4);
  f += char(kTerm);
  return f;
}

// ---------------------------------------------------------------------------------------------
// The serving side

PrinterSim::PrinterSim(PrinterSimOptions options) : Options_(std::move(options)) {}

PrinterSim::~PrinterSim() { Stop(); }

void PrinterSim::Start() {
  if (Master_ >= 0) throw std::runtime_error("printer simulator already started");
  Started_ = Clock::now();
  NakLeft_ = Options_.NakCount;
  DamagedLeft_ = Options_.DamagedCount;
  WrongSeqLeft_ = Options_.WrongSeqCount;
  Status05Left_ = Options_.Status05Count;
  LongAnswerLeft_ = Options_.LongAnswerCount;
  ReportAttempts_ = 0;
  Master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Master_ < 0) SysFail("posix_openpt");
  char name[128];
  if (grantpt(Master_) != 0 || unlockpt(Master_) != 0 || ptsname_r(Master_, name, sizeof name) != 0) {
    int e = errno;
    Stop();
    errno = e;
    SysFail("pseudo-terminal set-up");
  }
  SlavePath_ = name;
  // Without an open slave the master reports POLLHUP at once and the loop would spin; this
  // spare descriptor also keeps the line settings alive between the program's sessions.
  SpareSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (SpareSlave_ < 0) {
    int e = errno;
    Stop();
    errno = e;
    SysFail(std::string("open ") + name);
  }
  termios t{};
  if (tcgetattr(SpareSlave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(SpareSlave_, TCSANOW, &t);
  }
  if (Options_.BadLineSettings) SpoilLineSettings();
  fcntl(Master_, F_SETFL, fcntl(Master_, F_GETFL) | O_NONBLOCK);
  StopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (StopFd_ < 0) {
    int e = errno;
    Stop();
    errno = e;
    SysFail("eventfd");
  }

  if (!Options_.LinkPath.empty()) {
    struct stat st {};
    if (lstat(Options_.LinkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      Stop();
      throw std::runtime_error(Options_.LinkPath + " exists and is not a symbolic link; not replaced");
    }
    // Replace an old link in one step, so a program looking at it never finds it missing.
    const std::string tmp = Options_.LinkPath + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), Options_.LinkPath.c_str()) != 0) {
      int e = errno;
      unlink(tmp.c_str());
      Stop();
      errno = e;
      SysFail("symbolic link " + Options_.LinkPath);
    }
    LinkCreated_ = true;
  }
  if (!Options_.RecordFile.empty()) {
    RecordOut_ = std::fopen(Options_.RecordFile.c_str(), "a");
    if (!RecordOut_) {
      int e = errno;
      Stop();
      errno = e;
      SysFail("open " + Options_.RecordFile);
    }
  }
  Thread_ = std::thread([this] { Run(); });
}

void PrinterSim::Stop() {
  if (Thread_.joinable()) {
    uint64_t one = 1;
    if (write(StopFd_, &one, sizeof one) < 0) { /* the thread also ends on the next poll error */
    }
    Thread_.join();
  }
  if (LinkCreated_) {
    char target[256];
    ssize_t n = readlink(Options_.LinkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)) == SlavePath_) unlink(Options_.LinkPath.c_str());
    LinkCreated_ = false;
  }
  if (RecordOut_) {
    std::fclose(RecordOut_);
    RecordOut_ = nullptr;
  }
  for (int* fd : {&StopFd_, &SpareSlave_, &Master_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void PrinterSim::SpoilLineSettings() {
  if (SpareSlave_ < 0) return;
  termios t{};
  if (tcgetattr(SpareSlave_, &t) != 0) return;
  t.c_iflag |= ICRNL | INLCR | IXON | IXOFF | IXANY | ISTRIP | INPCK;
  t.c_oflag |= OPOST | ONLCR | OCRNL;
  t.c_lflag |= ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN;
  t.c_cflag &= ~tcflag_t(CSIZE);
  t.c_cflag |= CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
  cfsetispeed(&t, B2400);
  cfsetospeed(&t, B2400);
  tcsetattr(SpareSlave_, TCSANOW, &t);
}

std::vector<PrinterSim::Request> PrinterSim::Requests() const {
  std::lock_guard<std::mutex> g(Mutex_);
  return Requests_;
}

size_t PrinterSim::RequestCount() const {
  std::lock_guard<std::mutex> g(Mutex_);
  return Requests_.size();
}

std::vector<uint8_t> PrinterSim::Received() const {
  std::lock_guard<std::mutex> g(Mutex_);
  return Received_;
}

bool PrinterSim::WaitForRequests(size_t n, std::chrono::milliseconds timeout) const {
  const auto end = Clock::now() + timeout;
  while (RequestCount() < n) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool PrinterSim::Take(int& count) {
  if (count == 0) return false;
  if (count > 0) --count;
  return true;
}

void PrinterSim::Record(const std::string& line) {
  if (!RecordOut_) return;
  const double t = std::chrono::duration<double>(Clock::now() - Started_).count();
  std::fprintf(RecordOut_, "%10.3f %s\n", t, line.c_str());
  std::fflush(RecordOut_);
}

void PrinterSim::Run() {
  uint8_t buf[4096];
  for (;;) {
    const bool wantOut = Pump();
    pollfd fds[2] = {{Master_, short(POLLIN | (wantOut ? POLLOUT : 0)), 0}, {StopFd_, POLLIN, 0}};
    int r = poll(fds, 2, PollTimeoutMs());
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;
    if (fds[0].revents & POLLIN) {
      ssize_t n = read(Master_, buf, sizeof buf);
      if (n > 0) {
        {
          std::lock_guard<std::mutex> g(Mutex_);
          Received_.insert(Received_.end(), buf, buf + n);
        }
        for (ssize_t i = 0; i < n; ++i) OnByte(buf[i]);
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Should not happen while the spare slave is open; never spin on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (!Stray_.empty())
    Record("RX stray " + Hex(reinterpret_cast<const uint8_t*>(Stray_.data()), Stray_.size()));
}

int PrinterSim::PollTimeoutMs() const {
  int ms = -1;
  const auto now = Clock::now();
  for (const Lane* lane : {&Current_, &Earlier_}) {
    if (!lane->Sleeping) continue;
    const int left =
        now >= lane->WakeAt
            ? 0
            : int(std::chrono::duration_cast<std::chrono::milliseconds>(lane->WakeAt - now).count()) + 1;
    ms = ms < 0 ? left : std::min(ms, left);
  }
  return ms;
}

bool PrinterSim::Pump() {
  const bool wantOut = PumpLane(Current_);
  return PumpLane(Earlier_) || wantOut;
}

bool PrinterSim::PumpLane(Lane& lane) {
  while (lane.Busy()) {
    Step& s = lane.Plan[lane.Index];
    if (!lane.Sleeping) {
      while (lane.Offset < s.Bytes.size()) {
        const size_t chunk = std::min<size_t>(s.Bytes.size() - lane.Offset, 65536);
        // Stamped before the write that may carry the answer's last byte, so the mark is in
        // place before the program can have seen that byte (a later write call re-stamps).
        if (s.AnswerEnd && lane.Offset + chunk == s.Bytes.size()) MarkAnswered(lane.Request, true);
        ssize_t n = write(Master_, s.Bytes.data() + lane.Offset, chunk);
        if (n < 0) {
          if (errno == EINTR) continue;
          if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (Options_.KeepStreamBaud <= 0) return true;
            // A printer does not wait for a reader: what the line cannot take is lost.
            if (s.AnswerEnd) MarkAnswered(lane.Request, false);
            lane.Offset = s.Bytes.size();
            break;
          }
          Record(std::string("TX failed: ") + std::strerror(errno));
          lane = Lane{};
          return false;
        }
        lane.Offset += size_t(n);
      }
      if (s.SleepMs > 0) {
        lane.Sleeping = true;
        lane.WakeAt = Clock::now() + std::chrono::milliseconds(s.SleepMs);
      }
    }
    if (lane.Sleeping) {
      if (Clock::now() < lane.WakeAt) return false;
      lane.Sleeping = false;
    }
    ++lane.Index;
    lane.Offset = 0;
  }
  return false;
}

void PrinterSim::MarkAnswered(size_t request, bool answered) {
  const auto now = Clock::now();
  std::lock_guard<std::mutex> g(Mutex_);
  if (request < Requests_.size()) {
    Requests_[request].Answered = answered;
    Requests_[request].AnswerDone = now;
  }
}

void PrinterSim::AddText(std::string text, int pauseAfterMs) {
  if (Options_.KeepStreamBaud <= 0) {
    Current_.Plan.push_back({std::move(text), pauseAfterMs, false});
    return;
  }
  // The line's pace in 10 ms pieces.
  const size_t piece = std::max(1, Options_.KeepStreamBaud / 1000);
  for (size_t at = 0; at < text.size(); at += piece) {
    const bool last = at + piece >= text.size();
    Current_.Plan.push_back({text.substr(at, piece), last ? std::max(10, pauseAfterMs) : 10, false});
  }
  if (text.empty() && pauseAfterMs > 0) Current_.Plan.push_back({std::string(), pauseAfterMs, false});
}

void PrinterSim::BusyTick() {
  // A printer busy preparing text says so with SYN; the program keeps waiting.
  const auto now = Clock::now();
  if (now - LastBusy_ < std::chrono::milliseconds(150)) return;
  const char syn = char(kSyn);
  if (write(Master_, &syn, 1) == 1) LastBusy_ = now;
}

void PrinterSim::OnByte(uint8_t b) {
  if (b == kPre) {
    if (InFrame_ && !Frame_.empty())
      Stray_.append(reinterpret_cast<const char*>(Frame_.data()), Frame_.size());
    if (!Stray_.empty()) {
      Record("RX stray " + Hex(reinterpret_cast<const uint8_t*>(Stray_.data()), Stray_.size()));
      Stray_.clear();
    }
    InFrame_ = true;
    Frame_.assign(1, b);
    return;
  }
  if (!InFrame_) {
    Stray_ += char(b);
    return;
  }
  Frame_.push_back(b);
  if (b == kTerm) {
    InFrame_ = false;
    OnFrame(std::move(Frame_));
    Frame_.clear();
  } else if (Frame_.size() > kMaxRequestFrame) {
    Stray_.append(reinterpret_cast<const char*>(Frame_.data()), Frame_.size());
    InFrame_ = false;
    Frame_.clear();
  }
}

void PrinterSim::OnFrame(std::vector<uint8_t> f) {
  Request q;
  q.Received = Clock::now();
  const size_t len = f.size();
  if (len >= 10) {
    size_t post = 1;
    while (post < len && f[post] != kPost) ++post;
    uint32_t sum = 0;
    for (size_t i = 1; i <= post && i < len; ++i) sum += f[i];
    const bool shape = post + 6 == len && f[1] == uint8_t(0x20 + post);
    bool sumOk = shape;
    for (int k = 0; shape && k < 4; ++k)
      sumOk = sumOk && f[post + 1 + k] == uint8_t(0x30 + ((sum >> (12 - 4 * k)) & 15));
    q.Valid = sumOk;
    q.Seq = f[2];
    q.Cmd = f[3];
    if (shape) q.Data.assign(f.begin() + 4, f.begin() + long(post));
  }
  q.Bytes = std::move(f);
  size_t index;
  {
    std::lock_guard<std::mutex> g(Mutex_);
    Requests_.push_back(q);
    index = Requests_.size() - 1;
  }
  PlanReply(index);
}

void PrinterSim::PlanReply(size_t index) {
  Request q;
  {
    std::lock_guard<std::mutex> g(Mutex_);
    q = Requests_[index];
  }
  if (Options_.KeepStreamBaud > 0 && Current_.Busy()) {
    // The printer goes on with a report it has started; answers now go out between its pieces.
    if (!Earlier_.Busy()) {
      Earlier_ = std::move(Current_);
    } else {
      Step rest = Current_.Plan[Current_.Index];
      rest.Bytes.erase(0, Current_.Sleeping ? rest.Bytes.size() : Current_.Offset);
      Earlier_.Plan.push_back(std::move(rest));
      Earlier_.Plan.insert(Earlier_.Plan.end(),
                           std::make_move_iterator(Current_.Plan.begin() + long(Current_.Index) + 1),
                           std::make_move_iterator(Current_.Plan.end()));
    }
  } else if (Current_.Busy() && Current_.Plan[Current_.Index].AnswerEnd &&
             Current_.Offset < Current_.Plan[Current_.Index].Bytes.size()) {
    // A new request ends whatever was still being sent for the previous one.
    MarkAnswered(Current_.Request, false);
  }
  Current_ = Lane{};
  Current_.Request = index;

  std::string reply;
  auto finish = [&](const std::string& what) {
    reply = what;
    {
      std::lock_guard<std::mutex> g(Mutex_);
      Requests_[index].Reply = reply;
    }
    if (!RecordOut_) return;
    double since = 0;
    {
      std::lock_guard<std::mutex> g(Mutex_);
      if (index > 0) since = double(MsBetween(Requests_[index - 1].Received, q.Received));
    }
    Record(FormatText("RX seq=0x%02X cmd=%u valid=%d +%.0fms reply=%s data=\"", q.Seq, unsigned(q.Cmd),
                      int(q.Valid), since, reply.c_str()) +
           Printable(q.Data) + "\" frame=" + Hex(q.Bytes.data(), q.Bytes.size()));
  };

  if (Options_.Silent) return finish("silent");
  if (!q.Valid || Take(NakLeft_)) {
    Current_.Plan.push_back({std::string(1, char(kNak)), 0, false});
    return finish(q.Valid ? "nak" : "nak (bad frame)");
  }

  std::vector<std::string> faults;
  if (Options_.SynBusyMs > 0) {
    const int n = std::max(1, Options_.SynBusyMs / std::max(1, Options_.SynIntervalMs));
    for (int k = 0; k < n; ++k)
      Current_.Plan.push_back({std::string(1, char(kSyn)), Options_.SynIntervalMs, false});
    faults.push_back("syn-busy");
  }
  std::string data;
  if (q.Cmd == 94 || q.Cmd == 95) {
    const std::string key = std::to_string(q.Cmd) + ":" + q.Data;
    if (key != CachedKey_) {
      LastBusy_ = q.Received;
      Cached_ = BuildSimReport(Options_, q.Cmd, q.Data, [this] { BusyTick(); });
      CachedKey_ = key;
    }
    SimReport report = Cached_;
    const int attempt = ReportAttempts_++;
    const bool gap = Options_.TextGapMs > 0 && (Options_.TextGapCount < 0 || attempt < Options_.TextGapCount);
    if (gap) {
      AddText(report.Text.substr(0, report.GapAt), Options_.TextGapMs);
      AddText(report.Text.substr(report.GapAt), 0);
      faults.push_back("text-gap");
    } else {
      AddText(std::move(report.Text), 0);
    }
    data = report.AnswerData;
  } else if (q.Cmd == 90) {
    data = SimIdentification(Options_);
  }
  uint8_t status[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  uint8_t seq = q.Seq;
  if (Take(LongAnswerLeft_)) {
    data = std::string(250, 'L');
    faults.push_back("long-answer");
  }
  if (Take(Status05Left_)) {
    status[3] = kPost;
    faults.push_back("status-05");
  }
  if (Take(WrongSeqLeft_)) {
    seq = NextSeq(seq);
    faults.push_back("wrong-seq");
  }
  const bool damage = Take(DamagedLeft_);
  if (damage) faults.push_back("damaged");
  Current_.Plan.push_back({BuildSimAnswer(seq, q.Cmd, data, status, damage), 0, true});
  std::string what = "answer";
  for (const auto& f : faults) what += "+" + f;
  finish(what);
}

// ---------------------------------------------------------------------------------------------
// As a separate process

PrinterSimProcess::PrinterSimProcess(const std::string& exe, const std::vector<std::string>& args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) SysFail("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int rc = posix_spawn(&Pid_, exe.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    errno = rc;
    SysFail("start " + exe);
  }
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c[256];
    ssize_t n = read(out[0], c, sizeof c);
    if (n <= 0) break;
    line.append(c, size_t(n));
  }
  close(out[0]);
  line = line.substr(0, line.find('\n'));
  if (line.compare(0, 6, "READY ") != 0) {
    kill(Pid_, SIGTERM);
    waitpid(Pid_, nullptr, 0);
    Pid_ = -1;
    throw std::runtime_error(exe + " did not report READY (got \"" + line + "\")");
  }
  SlavePath_ = line.substr(6);
}

PrinterSimProcess::~PrinterSimProcess() {
  if (Pid_ > 0) {
    kill(Pid_, SIGTERM);
    waitpid(Pid_, nullptr, 0);
  }
}
