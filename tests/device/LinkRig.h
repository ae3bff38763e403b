#pragma once
// A scripted serial device and a fake millisecond clock for exercising the device link's rules
// without waiting: bytes are scheduled to "arrive" at given times, every write is recorded, and
// a responder may schedule the printer's reply to each request.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/FiscalLink.h"
#include "device/Frame.h"
#include "device/SerialDevice.h"
#include "device/SerialPort.h"

struct LinkRig {
  struct Write {
    int64_t at;
    std::string bytes;
  };

  int64_t now = 1000;
  std::multimap<int64_t, std::string> arrivals;  // time -> bytes available from then on
  std::vector<Write> writes;
  std::vector<int64_t> sleeps;
  int reads = 0;
  int purges = 0;
  bool shortWrite = false;
  bool emptyReadsTakeNoTime = false;  // a driver whose empty reads return at once
  uint32_t readChunk = 4096;          // most bytes one read hands over
  // Called before each read; returning true makes the read fail at once with err.
  std::function<bool(int& err)> failRead;
  // Called after each write with the frame written.
  std::function<void(LinkRig&, const std::string&)> onWrite;

  void At(int64_t delay, const std::string& bytes) { arrivals.emplace(now + delay, bytes); }
  size_t Pending() const { return arrivals.size(); }
};

// Request frame fields as the printer sees them.
struct Request {
  uint8_t seq = 0, cmd = 0;
  std::string data;
};
Request ParseRequest(const std::string& frame);

// An answer frame as a printer would build it (checksum over LEN .. first 0x05).
std::string AnswerFrame(uint8_t seq, uint8_t cmd, const std::string& data,
                        const std::string& status = std::string(6, '\x20'));

// A link over the rig that records its log lines.
class RigLink : public TFiscalLink {
 public:
  RigLink(std::unique_ptr<TSerialPort> port, std::shared_ptr<LinkRig> rig);
  std::vector<std::string> log;
  int failCalls = 0;

 protected:
  void WriteLogLine(const std::string& line) override { log.push_back(line); }
};

std::unique_ptr<TSerialPort> OpenRigPort(std::shared_ptr<LinkRig> rig);
std::unique_ptr<RigLink> MakeRigLink(std::shared_ptr<LinkRig> rig);
// Replies to every request with a valid answer carrying data (after delay ms).
std::function<void(LinkRig&, const std::string&)> AnswerAll(const std::string& data, int64_t delay = 5);
