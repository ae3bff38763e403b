#pragma once
// Shared pieces of the end-to-end tests: the real serial port and link against the printer
// simulator on a fresh pseudo-terminal.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "device/FiscalLink.h"
#include "tools/PrinterSim.h"

using SimClock = std::chrono::steady_clock;

inline int64_t MsBetween(SimClock::time_point a, SimClock::time_point b) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

// A link that keeps its log lines and counts its give-ups.
class RecordingLink : public TFiscalLink {
 public:
  explicit RecordingLink(const std::string& port) : TFiscalLink(port, 115200) {
    OnFail = [this](void*) {
      ++Fails;
      FailAt = SimClock::now();
    };
  }
  std::vector<std::string> Log;
  int Fails = 0;
  SimClock::time_point FailAt;

 protected:
  void WriteLogLine(const std::string& line) override { Log.push_back(line); }
};

inline std::unique_ptr<PrinterSim> StartSim(const std::string& modes, PrinterSimOptions o = {}) {
  ApplyPrinterSimModes(modes, o);
  auto sim = std::make_unique<PrinterSim>(o);
  sim->Start();
  return sim;
}

inline std::string WithoutByte(std::string s, char b) {
  std::erase(s, b);
  return s;
}

constexpr const char* kGiveUpLine = "Were made is 3 unsuccess try to connect with fiscal device!";
