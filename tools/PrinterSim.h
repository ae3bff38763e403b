#pragma once
// A fiscal printer played on a pseudo-terminal, for tests, benchmarks and trying the program
// out by hand. It knows only what the program relies on: request frames in, answer frames,
// NAK and SYN bytes out, and report text outside frames before the answer to a report command.
// It builds its frames itself, independently of the program's frame code, so a mistake there
// cannot hide behind the same mistake here.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

struct PrinterSimOptions {
  // Fault modes. A count of -1 means "every time".
  bool Silent = false;      // never answers anything
  int NakCount = 0;         // answer this many requests (the first ones) with NAK
  int DamagedCount = 0;     // this many answers with a bad checksum
  int WrongSeqCount = 0;    // this many answers with the wrong sequence number
  int Status05Count = 0;    // this many answers with 0x05 inside the status bytes
  int LongAnswerCount = 0;  // this many answer frames longer than 255 bytes
  int SynBusyMs = 0;        // before each answer: SYN every SynIntervalMs for this long
  int SynIntervalMs = 400;
  int TextGapMs = 0;          // a pause this long in the middle of the report text ...
  int TextGapCount = 1;       // ... in this many report attempts (-1: all)
  bool ControlBytes = false;  // 0x03/0x04/0x05/NUL and mixed line ends in the report text
  bool ShortIdent = false;    // identification with fewer than eight fields
  // Like a real printer on a real line: report text goes out at this many baud (10 bits a
  // byte), and a report once started is sent to its end even when the port is closed or a new
  // request comes; answers to new requests go out between its pieces. 0: text at full speed,
  // and a new request ends what was still being sent.
  int KeepStreamBaud = 0;

  std::string Stem = "ZHK 12345678";  // eighth field of the identification
  int ReportLines = 0;                // daily entries in a report; 0: derived from the request
  size_t ReportBytes = 0;             // at least this many bytes of report text (whole lines)

  // Where the slave is published: a symbolic link at LinkPath, or "" for none.
  std::string LinkPath;
  // Append a line per received request frame (and stray bytes) to this file; "" for none.
  std::string RecordFile;
  // Leave the line in deliberately bad settings (echo, canonical mode, CR/LF translation,
  // 7 bits, parity, flow control) so only a program that sets every flag itself gets through.
  // false: start raw.
  bool BadLineSettings = true;
};

// Parses "--mode", "--stem", "--report-lines", ... into options; throws std::invalid_argument
// with a message naming the bad argument. Returns false when help was asked for.
// portName receives a "COMn" given with --port (the caller resolves the ports folder).
bool ParsePrinterSimArgs(const std::vector<std::string>& args, PrinterSimOptions& options,
                         std::string& portName, bool& stdinStop);
// One comma-separated mode list, e.g. "nak-first=2,syn-busy=1500".
void ApplyPrinterSimModes(const std::string& list, PrinterSimOptions& options);
std::string PrinterSimUsage();

// <XDG_DATA_HOME or HOME/.local/share>/veltra-qrm/ports/<name>, created as needed.
std::string PortLinkPathFor(const std::string& portName);

// What the simulator streams for one report request, and the lines the program must make of it.
struct SimReport {
  std::string Text;                // bytes outside frames, in order
  size_t GapAt = 0;                // offset at which a text gap is placed
  std::vector<std::string> Lines;  // the lines after the program's line rule
  std::string AnswerData;          // data field of the report command's answer
};
// busy, when given, is called now and then while a long report is being put together (the
// simulator sends SYN from it, so the preparation does not look like silence).
SimReport BuildSimReport(const PrinterSimOptions& options, uint8_t cmd, const std::string& params,
                         const std::function<void()>& busy = {});
// Data field of the identification answer (command 90).
std::string SimIdentification(const PrinterSimOptions& options);
// A whole answer frame. The checksum covers every byte from LEN through the postamble, as a
// printer computes it; damage alters one checksum digit.
std::string BuildSimAnswer(uint8_t seq, uint8_t cmd, const std::string& data, const uint8_t status[6],
                           bool damage);

class PrinterSim {
 public:
  using Clock = std::chrono::steady_clock;

  struct Request {
    std::vector<uint8_t> Bytes;  // the frame from 0x01 through 0x03
    Clock::time_point Received;  // when its last byte was read
    uint8_t Seq = 0;
    uint8_t Cmd = 0;
    std::string Data;
    bool Valid = false;            // checksum and length right
    std::string Reply;             // "answer", "nak", "silent", "damaged", ...
    bool Answered = false;         // the whole answer frame was handed to the line
    Clock::time_point AnswerDone;  // start of the write call that carried its last byte
  };

  explicit PrinterSim(PrinterSimOptions options = {});
  ~PrinterSim();
  PrinterSim(const PrinterSim&) = delete;
  PrinterSim& operator=(const PrinterSim&) = delete;

  // Opens a fresh pseudo-terminal, publishes the link and starts serving in a thread.
  // Throws std::runtime_error with the failing call's text.
  void Start();
  // Stops the thread, removes the link, closes the pseudo-terminal. Idempotent.
  void Stop();

  const std::string& SlavePath() const { return SlavePath_; }
  const PrinterSimOptions& Options() const { return Options_; }

  std::vector<Request> Requests() const;
  size_t RequestCount() const;
  std::vector<uint8_t> Received() const;
  // Waits until at least n requests have arrived; false on time-out.
  bool WaitForRequests(size_t n, std::chrono::milliseconds timeout) const;
  // Puts the line back into the deliberately bad settings (as after Start).
  void SpoilLineSettings();

 private:
  struct Step {
    std::string Bytes;  // written first
    int SleepMs = 0;    // then this pause
    bool AnswerEnd = false;
  };
  // A list of steps being played out, and how far it has got.
  struct Lane {
    std::vector<Step> Plan;
    size_t Index = 0;
    size_t Offset = 0;
    bool Sleeping = false;
    Clock::time_point WakeAt;
    size_t Request = 0;  // whose answer it carries
    bool Busy() const { return Index < Plan.size(); }
  };

  void Run();
  void OnByte(uint8_t b);
  void OnFrame(std::vector<uint8_t> frame);
  void PlanReply(size_t requestIndex);
  bool Pump();  // writes/sleeps the plans as far as possible; true when one waits for POLLOUT
  bool PumpLane(Lane& lane);
  int PollTimeoutMs() const;
  void MarkAnswered(size_t request, bool answered);
  void AddText(std::string text, int pauseAfterMs);
  void BusyTick();
  void Record(const std::string& line);
  static bool Take(int& count);

  PrinterSimOptions Options_;
  std::string SlavePath_;
  int Master_ = -1;
  int SpareSlave_ = -1;
  int StopFd_ = -1;
  std::thread Thread_;
  bool LinkCreated_ = false;
  FILE* RecordOut_ = nullptr;
  Clock::time_point Started_;

  mutable std::mutex Mutex_;
  std::vector<Request> Requests_;
  std::vector<uint8_t> Received_;

  // Serving thread only.
  bool InFrame_ = false;
  std::vector<uint8_t> Frame_;
  std::string Stray_;
  Lane Current_;  // the reply to the latest request
  Lane Earlier_;  // what is left of reports that were cut short (keep-streaming only)
  int ReportAttempts_ = 0;
  Clock::time_point LastBusy_;
  std::string CachedKey_;  // the last report built, reused for retransmissions
  SimReport Cached_;
  // Fault counts still to use up, copied from the options at Start (the options stay as given).
  int NakLeft_ = 0, DamagedLeft_ = 0, WrongSeqLeft_ = 0, Status05Left_ = 0, LongAnswerLeft_ = 0;
};

// The simulator as a separate process (the vq-printer-sim executable), for rigs that need the
// master held outside the program's process.
class PrinterSimProcess {
 public:
  // Starts exe with args and waits (up to 10 s) for its "READY <path>" line.
  PrinterSimProcess(const std::string& exe, const std::vector<std::string>& args);
  ~PrinterSimProcess();  // SIGTERM, then waits
  PrinterSimProcess(const PrinterSimProcess&) = delete;
  PrinterSimProcess& operator=(const PrinterSimProcess&) = delete;
  const std::string& SlavePath() const { return SlavePath_; }
  pid_t Pid() const { return Pid_; }

 private:
  pid_t Pid_ = -1;
  std::string SlavePath_;
};
