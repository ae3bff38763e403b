#include "LinkRig.h"

#include <algorithm>
#include <cstring>

namespace {

class ScriptedDevice : public SerialDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<LinkRig> rig) : Rig(std::move(rig)) {}
  bool Open(const std::string&, int&) override { return Opened = true; }
  bool ConfigureLine(int32_t, uint8_t, uint8_t, uint8_t) override { return true; }
  bool SetupQueues(int32_t, int32_t) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool PurgeOutput() override {
    ++Rig->purges;
    return true;
  }
  bool Read(uint8_t* buf, uint32_t max, uint32_t& got, int& err) override {
    LinkRig& r = *Rig;
    ++r.reads;
    got = 0;
    if (r.failRead && r.failRead(err)) return false;
    if (!Take(buf, max, got)) {
      // Nothing waiting: the read waits up to 10 ms, or until the next byte arrives.
      if (!r.emptyReadsTakeNoTime) {
        int64_t until = r.now + 10;
        if (!r.arrivals.empty()) until = std::min(until, std::max(r.now, r.arrivals.begin()->first));
        r.now = until;
        Take(buf, max, got);
      }
    }
    return true;
  }
  bool Write(const uint8_t* buf, uint32_t len, uint32_t& written, int&) override {
    std::string frame(reinterpret_cast<const char*>(buf), len);
    Rig->writes.push_back({Rig->now, frame});
    written = Rig->shortWrite ? len - 1 : len;
    if (Rig->onWrite) Rig->onWrite(*Rig, frame);
    return true;
  }
  void Close() override { Opened = false; }
  bool IsOpen() const override { return Opened; }

 private:
  bool Take(uint8_t* buf, uint32_t max, uint32_t& got) {
    LinkRig& r = *Rig;
    const uint32_t limit = std::min(max, r.readChunk);
    while (got < limit && !r.arrivals.empty() && r.arrivals.begin()->first <= r.now) {
      auto it = r.arrivals.begin();
      const uint32_t n = std::min<uint32_t>(limit - got, uint32_t(it->second.size()));
      std::memcpy(buf + got, it->second.data(), n);
      got += n;
      if (n == it->second.size())
        r.arrivals.erase(it);
      else
        it->second.erase(0, n);
    }
    return got > 0;
  }

  std::shared_ptr<LinkRig> Rig;
  bool Opened = false;
};

}  // namespace

Request ParseRequest(const std::string& frame) {
  Request r;
  if (frame.size() >= 10) {
    r.seq = uint8_t(frame[2]);
    r.cmd = uint8_t(frame[3]);
    r.data = frame.substr(4, frame.size() - 10);
  }
  return r;
}

std::string AnswerFrame(uint8_t seq, uint8_t cmd, const std::string& data, const std::string& status) {
  std::string f;
  f += char(kPRE);
  f += char(0x20 + 4 + data.size() + 1 + 6 + 1);
  f += char(seq);
  f += char(cmd);
  f += data;
  f += char(kSEP);
  f += status;
  f += char(kPOST);
  f += "0000";
  f += char(kTERM);
  EncodeChecksum(reinterpret_cast<uint8_t*>(f.data()), int(f.size()));
  return f;
}

RigLink::RigLink(std::unique_ptr<TSerialPort> port, std::shared_ptr<LinkRig> rig)
    : TFiscalLink(
          std::move(port), [rig] { return rig->now; },
          [rig](int64_t ms) {
            rig->sleeps.push_back(ms);
            rig->now += ms;
          }) {
  OnFail = [this](void*) { ++failCalls; };
}

std::unique_ptr<TSerialPort> OpenRigPort(std::shared_ptr<LinkRig> rig) {
  auto port = std::make_unique<TSerialPort>(std::make_unique<ScriptedDevice>(rig));
  port->Open("/dev/scripted-printer", 115200);
  return port;
}

std::unique_ptr<RigLink> MakeRigLink(std::shared_ptr<LinkRig> rig) {
  return std::make_unique<RigLink>(OpenRigPort(rig), rig);
}

std::function<void(LinkRig&, const std::string&)> AnswerAll(const std::string& data, int64_t delay) {
  return [data, delay](LinkRig& r, const std::string& frame) {
    const Request q = ParseRequest(frame);
    r.At(delay, AnswerFrame(q.seq, q.cmd, data));
  };
}
