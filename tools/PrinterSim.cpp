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

uint8_t NextSeq(uint8_t seq) { return seq >= 0x7F ? 0x20 : uint8_t(seq + 1); }

int64_t MsBetween(PrinterSim::Clock::time_point a, PrinterSim::Clock::time_point b) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

}  // namespace

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
