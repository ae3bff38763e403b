#pragma once
// One conversation with the fiscal printer over one open serial port: request frames,
// the answer wait with its retries, and the report text that arrives outside frames.
//
// A report read, on one worker thread:
//   TFiscalLink link(port, baud);                 // opens the port; throws ECommError
//   link.OnReportProgress = [&] { ...link.ReportText().size()... };
//   link.DrainEarlierReport([&] { status("finishing an earlier report"); });
//   link.SendCommandText(90, "#");                // identification
//   link.SendCommandText(94, params);             // the report streams in while this waits
//   std::string text = link.TakeReportText();
//   // the link's destructor closes the port
//
// Cancelling from any other thread: link.Abort() wakes the blocking serial wait at once, and
// that call and every later one throw EReadCancelled. The owner must keep the link alive while
// Abort may still be called (a TCancelToken registration released before the link goes does
// that), and then destroys it, which closes the port.
//
// A printer does not stop a report it has started: after a cancelled read it keeps sending into
// the line. Every read therefore starts with DrainEarlierReport, so no byte of the cancelled
// report can become part of the next one.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "device/Frame.h"

#include "support/Exceptions.h"

class TSerialPort;
class SerialDevice;

// Thrown out of every wait of a link after Abort(). It is the end of a cancelled read, not a
// failure of the printer or the port: callers drop it rather than show it.
class EReadCancelled : public Exception {
 public:
  using Exception::Exception;
};

// Program-wide start-value generator for sequence numbers: 0..94. Its state starts at 0 with
// the program and is never seeded, so the first link starts at 32 and the second at 34.
uint32_t NextLinkRandom();

class TFiscalLink {
 public:
  // Millisecond tick and a sleep; the defaults use the steady clock and a real sleep.
  using TickFunction = std::function<int64_t()>;
  using SleepFunction = std::function<void(int64_t ms)>;

  enum class TWaitOutcome { Frame, Nak, TimeOut };

  static constexpr int64_t kReadTimeoutMs = 500;
  static constexpr int kMaxRetries = 3;
  // Damaged answers are retransmitted at once and not counted; past this many in a row the
  // next one counts like a time-out, so a printer that only sends garbage is given up.
  static constexpr int kMaxRejectedInRow = 8;
  // No real report comes near this; a device streaming without end must not exhaust memory.
  static constexpr size_t kReportTextLimit = size_t(64) * 1024 * 1024;
  static constexpr uint32_t kReadChunk = 4096;
  // How long DrainEarlierReport looks for a byte of an earlier report before the first command.
  static constexpr int64_t kDrainLookMs = 100;

  // Opens portName at baud (8N1) and sets the link's read time-outs; throws ECommError.
  TFiscalLink(const std::string& portName, int32_t baud);
  // Takes an already open port (tests inject a scripted device). tick/sleep may be empty.
  explicit TFiscalLink(std::unique_ptr<TSerialPort> port, TickFunction tick = {}, SleepFunction sleep = {});
  virtual ~TFiscalLink();
  TFiscalLink(const TFiscalLink&) = delete;
  TFiscalLink& operator=(const TFiscalLink&) = delete;

  // Called (with nullptr) on the caller's thread when a command is given up.
  std::function<void(void*)> OnFail;
  // Called on the reading thread after report text was appended during a wait; ReportText() may
  // be read inside. It comes once per chunk the driver hands over, so a listener that updates a
  // window throttles itself.
  std::function<void()> OnReportProgress;

  // Any thread, any time (also before a wait starts or after the last one): wakes a blocking
  // serial wait at once and makes that wait and every later one throw EReadCancelled. No frame
  // is written after it.
  void Abort();
  bool Aborted() const { return Aborted_.load(std::memory_order_acquire); }

  // The look before the first command. Waits kDrainLookMs for a byte; when none comes, returns
  // false. When one comes (the printer is still sending a report it started for an earlier,
  // cancelled read), calls onFinishing once, discards everything until the line has been quiet
  // for kReadTimeoutMs and returns true. Discarded bytes never reach ReportText(). Throws
  // EReadCancelled after Abort(), and the disconnection error of a port that went away.
  bool DrainEarlierReport(const std::function<void()>& onFinishing);

  // data is sent byte for byte; the answer's data bytes come back the same way.
  // Throws Exception for a text longer than 255 characters or longer than 219 bytes.
  std::string SendCommandText(uint8_t cmd, const std::string& data);
  // One whole exchange. answer must hold kFrameBufferSize bytes; returns the answer length,
  // 0 when no answer was accepted. Throws Exception on over-long data, a short write, a port
  // that went away (unplugged adapter), an answer frame longer than 255 bytes or report text
  // past kReportTextLimit; EReadCancelled after Abort().
  uint8_t SendCommand(uint8_t cmd, const uint8_t* data, int n, uint8_t* answer);
  // Bytes received outside frames during the current or last wait.
  const std::string& ReportText() const { return ReportText_; }
  // Moves the report text out; the link keeps no copy (a report may be tens of MiB).
  std::string TakeReportText();

  virtual bool ParseAnswer(const uint8_t* frame, int count);
  virtual void LogError(const std::string& prefix, int32_t code);
  virtual void StatusToErrorCode(int32_t& code);
  virtual std::string ErrorText(int32_t code);

  const std::string& PortName() const { return PortName_; }
  int32_t Baud() const { return Baud_; }
  uint8_t Sequence() const { return Sequence_; }
  bool GaveUp() const { return GaveUp_; }
  bool TimedOut() const { return TimedOut_; }
  int RetryCount() const { return RetryCount_; }
  const uint8_t* Status() const { return Status_; }
  // Lower the report text limit (tests); 0 restores kReportTextLimit.
  void SetReportTextLimit(size_t limit) { ReportLimit_ = limit ? limit : kReportTextLimit; }

 protected:
  // Every log line of the link goes through here (tests capture them).
  virtual void WriteLogLine(const std::string& line);

 private:
  void Init();
  void BuildFrame(uint8_t cmd, const uint8_t* data, int n);
  void SendFrame();
  TWaitOutcome GetBlock();
  void FillReadBuffer();
  void AppendText(const uint8_t* bytes, uint32_t count);
  int64_t Now() const;
  void Sleep(int64_t ms) const;
  bool RetryOrGiveUp(bool timeOut);
  void ThrowIfAborted();
  [[noreturn]] void ThrowDisconnected();

  std::string PortName_;
  int32_t Baud_ = 0;
  std::unique_ptr<TSerialPort> Port_;
  SerialDevice* Handle_ = nullptr;
  std::mutex Lock_;
  TickFunction Tick_;
  SleepFunction Sleep_;

  uint8_t Sequence_ = kFirstSequence;
  int RetryCount_ = 0;
  int RejectedInRow_ = 0;
  int64_t ReadTimeout_ = kReadTimeoutMs;
  uint8_t TxFrame_[kFrameBufferSize] = {};
  int TxLength_ = 0;
  uint8_t LastFrame_[kFrameBufferSize] = {};
  int LastLength_ = 0;
  uint8_t RxFrame_[kFrameBufferSize] = {};
  int RxCount_ = 0;
  uint8_t AnswerData_[kFrameBufferSize] = {};
  int AnswerLength_ = 0;
  uint8_t Status_[6] = {};
  bool TimedOut_ = false;
  bool GaveUp_ = false;
  std::string ReportText_;
  size_t ReportLimit_ = kReportTextLimit;
  std::atomic<bool> Aborted_{false};

  // What one Read call brought and the state machine has not taken yet. It survives the end
  // of a wait, so bytes that arrived together with an answer are not lost.
  uint8_t ReadBuffer_[kReadChunk] = {};
  uint32_t ReadPos_ = 0;
  uint32_t ReadLen_ = 0;
};
