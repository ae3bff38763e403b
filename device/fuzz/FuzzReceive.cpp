// libFuzzer target for the receive path: the answer wait's byte machine, ParseAnswer and the
// retry rules, fed from the fuzzer's bytes through a scripted device and a fake clock.
//
// Input encoding: bytes are what the printer sends, except
//   0xFE 0xFE            a literal 0xFE;
//   0xFE 0xFD n d... s6  a well-formed answer to the request last written (its sequence number
//                        and checksum filled in when it is read), n % 240 data bytes, 6 status
//                        bytes; the sequence start is program-wide, so the input cannot know it;
//   0xFE k               otherwise: k * 10 ms pass before the following bytes arrive.
// The first byte chooses how many bytes one read hands over (1..64).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "device/FiscalLink.h"
#include "device/Frame.h"
#include "device/SerialDevice.h"
#include "device/SerialPort.h"
#include "support/Exceptions.h"

namespace {

struct Arrival {
  int64_t at;
  uint8_t byte;
  std::string answer;  // when not empty: the data + status of an answer frame to build
};

struct Feed {
  int64_t now = 0;
  std::deque<Arrival> bytes;
  uint32_t chunk = 1;
  int writes = 0;
  uint8_t lastSeq = 0x20, lastCmd = 0;

  // Turns an answer token at the front into its bytes, for the request written last; done only
  // when the token is due, so it answers the request that is awaited then.
  void Expand() {
    if (bytes.empty() || bytes.front().answer.empty()) return;
    const Arrival a = bytes.front();
    bytes.pop_front();
    const std::string data = a.answer.substr(0, a.answer.size() - 6);
    std::string f;
    f += char(kPRE);
    f += char(0x20 + 4 + data.size() + 8);
    f += char(lastSeq);
    f += char(lastCmd);
    f += data;
    f += char(kSEP);
    f += a.answer.substr(a.answer.size() - 6);
    f += char(kPOST);
    f += "0000";
    f += char(kTERM);
    EncodeChecksum(reinterpret_cast<uint8_t*>(f.data()), int(f.size()));
    for (size_t i = f.size(); i-- > 0;) bytes.push_front({a.at, uint8_t(f[i]), {}});
  }
};

class FuzzDevice : public SerialDevice {
 public:
  explicit FuzzDevice(Feed* feed) : F(feed) {}
  bool Open(const std::string&, int&) override { return Opened = true; }
  bool ConfigureLine(int32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetupQueues(int32_t, int32_t) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool PurgeOutput() override { return true; }
  bool Read(uint8_t* buf, uint32_t max, uint32_t& got, int& err) override {
    got = 0;
    err = 0;
    if (F->bytes.empty() || F->bytes.front().at > F->now) {
      F->now += 10;
      if (F->bytes.empty() || F->bytes.front().at > F->now) return true;
    }
    while (got < max && got < F->chunk && !F->bytes.empty() && F->bytes.front().at <= F->now) {
      F->Expand();
      buf[got++] = F->bytes.front().byte;
      F->bytes.pop_front();
    }
    return true;
  }
  bool Write(const uint8_t* buf, uint32_t len, uint32_t& written, int&) override {
    ++F->writes;
    if (len >= 4) {
      F->lastSeq = buf[2];
      F->lastCmd = buf[3];
    }
    written = len;
    return true;
  }
  void Close() override { Opened = false; }
  bool IsOpen() const override { return Opened; }

 private:
  Feed* F;
  bool Opened = false;
};

class QuietLink : public TFiscalLink {
 public:
  using TFiscalLink::TFiscalLink;

 protected:
  void WriteLogLine(const std::string&) override {}
};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Feed feed;
  feed.chunk = 1 + (data[0] % 64);
  int64_t t = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFE && i + 1 < size) {
      ++i;
      if (data[i] == 0xFD && i + 1 < size) {
        const size_t n = data[++i] % 240;
        const size_t take = std::min(n + 6, size - i - 1);
        if (take < 6) break;
        feed.bytes.push_back({t, 0, std::string(reinterpret_cast<const char*>(data + i + 1), take)});
        i += take;
        continue;
      }
      if (data[i] != 0xFE) {
        t += int64_t(data[i]) * 10;
        continue;
      }
    }
    feed.bytes.push_back({t, data[i], {}});
  }

  // ParseAnswer on the raw bytes as if they were one received frame.
  {
    uint8_t frame[kFrameBufferSize] = {};
    const int n = int(size < size_t(kMaxAnswerFrame) ? size : size_t(kMaxAnswerFrame));
    std::memcpy(frame, data, size_t(n));
    (void)VerifyChecksum(frame, n);
    (void)FrameSum(frame, n);
  }

  auto port = std::make_unique<TSerialPort>(std::make_unique<FuzzDevice>(&feed));
  port->Open("/dev/fuzz", 9600);
  QuietLink link(
      std::move(port), [&feed] { return feed.now; }, [&feed](int64_t ms) { feed.now += ms; });
  link.SetReportTextLimit(1 << 16);
  int fails = 0;
  link.OnFail = [&fails](void*) { ++fails; };

  for (int command = 0; command < 3; ++command) {
    uint8_t answer[kFrameBufferSize];
    const int writesBefore = feed.writes;
    const bool gaveUpBefore = link.GaveUp();
    uint8_t len = 0;
    try {
      len = link.SendCommand(uint8_t(0x50 + command), reinterpret_cast<const uint8_t*>("#"), 1, answer);
    } catch (const Exception&) {
      continue;  // over-long frame or report: a clear error, nothing else to check
    }
    Check(len <= kMaxAnswerData);
    Check(std::memchr(answer, kSEP, len) == nullptr);
    if (gaveUpBefore) Check(feed.writes == writesBefore && len == 0);
    // The first write, three counted retries, and before each of the four counted outcomes at
    // most kMaxRejectedInRow free retransmissions.
    Check(feed.writes - writesBefore <= 1 + 3 + 4 * TFiscalLink::kMaxRejectedInRow);
    for (char c : link.ReportText()) {
      const uint8_t b = uint8_t(c);
      Check(b != kPRE && b != kTERM && b != kNAK && b != kSYN);
    }
    if (len > 0) {
      int32_t code = -7;
      link.StatusToErrorCode(code);
      Check(code >= -7 && code <= 6);
      (void)link.ErrorText(code);
    }
  }
  Check(fails <= 3);
  return 0;
}
