#include "device/FiscalLink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/SerialDevice.h"
#include "device/SerialPort.h"
#include "support/Exceptions.h"
#include "support/LogFile.h"
#include "support/TextUtils.h"

namespace {

// The device's read returns after this long when nothing arrives; a read that comes back
// empty-handed sooner (a hang-up, a failing driver) is slept out so the wait never spins.
constexpr int64_t kPollMs = 10;
constexpr int kMaxDataText = 255;

// Bytes that mean nothing outside a frame other than report text.
inline bool IsText(uint8_t b) { return b != kPRE && b != kTERM && b != kNAK && b != kSYN; }

std::mutex gRandomLock;
uint32_t gRandomState = 0;

}  // namespace

uint32_t NextLinkRandom() {
  std::lock_guard<std::mutex> guard(gRandomLock);
  gRandomState = gRandomState * 134775813u + 1u;
  return uint32_t((uint64_t(95) * gRandomState) >> 32);
}

TFiscalLink::TFiscalLink(const std::string& portName, int32_t baud) : PortName_(portName), Baud_(baud) {
  Sequence_ = uint8_t(32 + NextLinkRandom());
  Port_ = std::make_unique<TSerialPort>();
  Port_->Open(portName, baud);
  Init();
}

TFiscalLink::TFiscalLink(std::unique_ptr<TSerialPort> port, TickFunction tick, SleepFunction sleep)
    : Port_(std::move(port)), Tick_(std::move(tick)), Sleep_(std::move(sleep)) {
  Sequence_ = uint8_t(32 + NextLinkRandom());
  if (!Port_ || !Port_->IsOpen()) throw Exception("The serial port handed to the link is not open!");
  PortName_ = Port_->DeviceName();
  Baud_ = Port_->Baud();
  Init();
}

void TFiscalLink::Init() {
  ReadTimeout_ = kReadTimeoutMs;
  // Every read returns as soon as bytes wait, or after 10 ms with nothing; writes never time out.
  Port_->SetTimeouts(0, 0, 10, 0, 0);
  Handle_ = Port_->Handle();
  ReportText_.clear();
}

TFiscalLink::~TFiscalLink() = default;

int64_t TFiscalLink::Now() const {
  if (Tick_) return Tick_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TFiscalLink::Sleep(int64_t ms) const {
  if (ms <= 0) return;
  if (Sleep_)
    Sleep_(ms);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TFiscalLink::WriteLogLine(const std::string& line) { WriteLog(line, 0); }

std::string TFiscalLink::SendCommandText(uint8_t cmd, const std::string& data) {
  if (data.size() > size_t(kMaxDataText))
    throw Exception("Command data text of " + std::to_string(data.size()) + " characters is longer than " +
                    std::to_string(kMaxDataText) + "!");
  uint8_t answer[kFrameBufferSize];
  const uint8_t len =
      SendCommand(cmd, reinterpret_cast<const uint8_t*>(data.data()), int(data.size()), answer);
  return std::string(reinterpret_cast<const char*>(answer), len);
}

void TFiscalLink::BuildFrame(uint8_t cmd, const uint8_t* data, int n) {
  // Laid out first so refused data leaves the sequence number where it was.
  const uint8_t next = NextSequenceNumber(Sequence_);
  TxLength_ = BuildRequestFrame(TxFrame_, next, cmd, data, n);
  Sequence_ = next;
}

void TFiscalLink::Abort() {
  Aborted_.store(true, std::memory_order_release);
  // Handle_ is set once before any other thread can see the link and the device object lives
  // as long as the link, so this is safe while the reading thread waits in it.
  if (Handle_ != nullptr) Handle_->Abort();
}

void TFiscalLink::ThrowIfAborted() {
  if (!Aborted()) return;
  // A cancelled report is never a report, whoever still looks at the text.
  ReportText_.clear();
  ReportText_.shrink_to_fit();
  WriteLogLine("The read was cancelled!");
  throw EReadCancelled("The read was cancelled!");
}

void TFiscalLink::ThrowDisconnected() {
  // The operator chose the name (COM1); the path tells which adapter it was.
  const std::string device = Port_->DeviceName();
  const std::string port =
      device.empty() || device == PortName_ ? PortName_ : PortName_ + " (" + device + ")";
  throw Exception("The port " + port +
                  " was disconnected during the read. Check that the printer's cable or USB adapter is "
                  "plugged in, then read again.");
}

std::string TFiscalLink::TakeReportText() {
  std::string text = std::move(ReportText_);
  ReportText_.clear();
  return text;
}

bool TFiscalLink::DrainEarlierReport(const std::function<void()>& onFinishing) {
  ThrowIfAborted();
  const int64_t lookEnd = Now() + kDrainLookMs;
  while (ReadPos_ == ReadLen_) {
    if (Now() >= lookEnd) return false;
    FillReadBuffer();
  }
  if (onFinishing) onFinishing();
  // The earlier report ends with its answer frame and then silence; SYN bytes and text both
  // mean the printer is still busy with it.
  size_t discarded = 0;
  int64_t quietUntil = Now() + ReadTimeout_;
  for (;;) {
    if (ReadPos_ < ReadLen_) {
      discarded += ReadLen_ - ReadPos_;
      ReadPos_ = ReadLen_;
      quietUntil = Now() + ReadTimeout_;
      // More than any report: a line that never falls quiet (noise, a device that is not the
      // printer) must not hold the read for ever.
      if (discarded > ReportLimit_)
        throw Exception(
            FormatText("The port %s never fell quiet: %zu bytes arrived before the first command!",
                       PortName_.c_str(), discarded));
    }
    if (Now() >= quietUntil) break;
    FillReadBuffer();
  }
  WriteLogLine(
      FormatText("%zu bytes of an earlier report were discarded before the first command.", discarded));
  return true;
}

uint8_t TFiscalLink::SendCommand(uint8_t cmd, const uint8_t* data, int n, uint8_t* answer) {
  ThrowIfAborted();
  BuildFrame(cmd, data, n);
  RetryCount_ = 0;
  RejectedInRow_ = 0;
  AnswerLength_ = 0;
  if (GaveUp_) return 0;

  std::memcpy(LastFrame_, TxFrame_, size_t(TxLength_));
  LastLength_ = TxLength_;
  SendFrame();
  for (;;) {
    const TWaitOutcome outcome = GetBlock();
    if (outcome == TWaitOutcome::Frame) {
      if (ParseAnswer(RxFrame_, RxCount_)) break;
      if (++RejectedInRow_ <= kMaxRejectedInRow) {
        SendFrame();
        continue;
      }
      WriteLogLine(FormatText("%d answers in a row were rejected! Counted as a time-out.", RejectedInRow_));
      if (!RetryOrGiveUp(true)) break;
      continue;
    }
    RejectedInRow_ = 0;
    if (!RetryOrGiveUp(outcome == TWaitOutcome::TimeOut)) break;
  }
  if (answer != nullptr && AnswerLength_ > 0) std::memcpy(answer, AnswerData_, size_t(AnswerLength_));
  return uint8_t(AnswerLength_);
}

bool TFiscalLink::RetryOrGiveUp(bool timeOut) {
  // A cancelled read has no give-up to report.
  ThrowIfAborted();
  if (RetryCount_ < kMaxRetries) {
    ++RetryCount_;
    SendFrame();
    return true;
  }
  if (timeOut) GaveUp_ = true;
  WriteLogLine(FormatText("Were made is %d unsuccess try to connect with fiscal device!", RetryCount_));
  // Text of a wait that never saw its answer is not a report, whoever listens for the failure.
  if (timeOut) ReportText_.clear();
  if (OnFail) OnFail(nullptr);
  return false;
}

void TFiscalLink::SendFrame() {
  ThrowIfAborted();
  AnswerLength_ = 0;
  uint32_t written = 0;
  int err = 0;
  bool ok;
  {
    std::lock_guard<std::mutex> guard(Lock_);
    Handle_->PurgeOutput();
    ok = Handle_->Write(LastFrame_, uint32_t(LastLength_), written, err);
  }
  if (!ok && err == kErrAccessDenied) ThrowDisconnected();
  if (!ok || written != uint32_t(LastLength_)) throw Exception("Incorrect number of bytes sent!");
}

void TFiscalLink::FillReadBuffer() {
  ThrowIfAborted();
  ReadPos_ = 0;
  ReadLen_ = 0;
  uint32_t got = 0;
  int err = 0;
  const int64_t started = Now();
  bool ok;
  {
    std::lock_guard<std::mutex> guard(Lock_);
    ok = Handle_->Read(ReadBuffer_, kReadChunk, got, err);
  }
  ReadLen_ = std::min(got, kReadChunk);
  // Whatever the read brought, a cancelled read ends here: not one byte more is taken.
  ThrowIfAborted();
  if (!ok && (err == kErrAccessDenied || err == kErrOperationAborted))
    WriteLogLine(FormatText("Read error %d! GetBlock", err));
  // A device that went away does not come back under the same open descriptor: waiting out
  // the retries would only end in a write to a dead port.
  if (!ok && err == kErrAccessDenied) ThrowDisconnected();
  if (ReadLen_ == 0) Sleep(kPollMs - (Now() - started));
}

void TFiscalLink::AppendText(const uint8_t* bytes, uint32_t count) {
  if (count > ReportLimit_ - ReportText_.size()) {
    // Keep what fits, so the text is exactly at the limit when the error is raised.
    ReportText_.append(reinterpret_cast<const char*>(bytes), ReportLimit_ - ReportText_.size());
    throw Exception("The report text is longer than the limit of " +
                    std::to_string(ReportLimit_ / (1024 * 1024)) + " MiB (" + std::to_string(ReportLimit_) +
                    " bytes)!");
  }
  ReportText_.append(reinterpret_cast<const char*>(bytes), count);
  if (OnReportProgress) OnReportProgress();
}

TFiscalLink::TWaitOutcome TFiscalLink::GetBlock() {
  bool inFrame = false;
  RxCount_ = 0;
  TimedOut_ = false;
  ReportText_.clear();
  int64_t deadline = Now() + ReadTimeout_;
  for (;;) {
    if (ReadPos_ == ReadLen_) FillReadBuffer();
    const int64_t now = Now();
    if (now > deadline) {
      TimedOut_ = true;
      return TWaitOutcome::TimeOut;
    }
    while (ReadPos_ < ReadLen_) {
      const uint8_t b = ReadBuffer_[ReadPos_++];
      if (inFrame) {
        if (b == kPRE) {  // a new frame begins: drop what was collected
          RxCount_ = 1;
          continue;
        }
        if (RxCount_ >= kMaxAnswerFrame)
          throw Exception("The answer frame is longer than " + std::to_string(kMaxAnswerFrame) + " bytes!");
        RxFrame_[RxCount_++] = b;
        if (b == kTERM) return TWaitOutcome::Frame;
        continue;
      }
      switch (b) {
        case kPRE:
          RxFrame_[0] = b;
          RxCount_ = 1;
          inFrame = true;
          break;
        case kTERM: break;
        case kNAK: return TWaitOutcome::Nak;
        case kSYN: deadline = now + ReadTimeout_; break;
        default: {
          // Report text comes in long runs: take the whole run up to the next control byte.
          const uint32_t first = ReadPos_ - 1;
          while (ReadPos_ < ReadLen_ && IsText(ReadBuffer_[ReadPos_])) ++ReadPos_;
          AppendText(ReadBuffer_ + first, ReadPos_ - first);
          deadline = now + ReadTimeout_;
          break;
        }
      }
    }
  }
}

bool TFiscalLink::ParseAnswer(const uint8_t* frame, int count) {
  if (count <= 2) return false;
  if (!VerifyChecksum(frame, count)) return false;
  if (frame[2] != LastFrame_[2]) return false;
  int sep = -1;
  for (int i = 4; i < count; ++i) {
    if (frame[i] == kSEP) {
      sep = i;
      break;
    }
  }
  // After the separator come six status bytes, 0x05, four checksum bytes and 0x03; a frame
  // without room for them would hand over bytes that are not status at all.
  if (sep < 0 || sep + 13 > count) return false;
  AnswerLength_ = sep - 4;
  std::memcpy(AnswerData_, frame + 4, size_t(AnswerLength_));
  std::memcpy(Status_, frame + sep + 1, 6);
  return true;
}

void TFiscalLink::StatusToErrorCode(int32_t& code) {
  const uint8_t s0 = Status_[0], s1 = Status_[1], s2 = Status_[2], s4 = Status_[4];
  if (s0 & 0x20) {
    if (s0 & 0x02) code = 1;
    if (s0 & 0x01) code = 2;
    if (s1 & 0x02) code = 3;
    if (s2 & 0x01) code = 4;
  } else if (s4 & 0x20) {
    if (s4 & 0x01) code = 5;
    if (s4 & 0x10) code = 6;
  } else {
    code = 0;
  }
}

std::string TFiscalLink::ErrorText(int32_t code) {
  switch (code) {
    case 0: return "No error!";
    case 1: return "Invalid command!";
    case 2: return "Syntax error!";
    case 3: return "Execution of the command is not allowed in the current fiscal mode!";
    case 4: return "Paper is finished!";
    case 5: return "Error writing fiscal memory!";
    case 6: return "The fiscal memory is full!";
    default: return "Unknown error!";
  }
}

void TFiscalLink::LogError(const std::string& prefix, int32_t code) {
  if (code == 0) return;
  // The prefix is taken as plain text: a '%' in it must not be read as a conversion.
  WriteLogLine(prefix + FormatText("-> Error code: %d! Error text: %s", int(code), ErrorText(code).c_str()));
}
