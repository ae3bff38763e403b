// Cancel at the device link: Abort -> SendCommand returned and Abort -> port closed (the link
// destroyed on the reading thread, as a job does), during a report stream, during the waits
// before a silent give-up and during a SYN-busy wait; and the time the look for an earlier report
// adds to a read on a quiet line.
#include <cmath>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "DeviceBench.h"
#include "device/FiscalLink.h"
#include "tools/PrinterSim.h"

namespace {

struct Try {
  double returned = -1, closed = -1;
};

// One read aborted after delayMs; -1 fields when the read did not end by cancellation.
Try AbortOnce(const char* modes, uint8_t cmd, int delayMs) {
  PrinterSimOptions o;
  o.ReportLines = 200;  // about 27 kB: at 9600 baud still streaming when the abort comes
  ApplyPrinterSimModes(modes, o);
  PrinterSim sim(o);
  sim.Start();
  auto link = std::make_unique<TFiscalLink>(sim.SlavePath(), 115200);
  std::mutex held;  // the link stays alive while Abort may be called, as a job's cancel hook does
  BenchClock::time_point returned, closed;
  bool cancelled = false;
  std::thread reader([&] {
    try {
      link->SendCommandText(cmd, "D,1,0312");
    } catch (const EReadCancelled&) {
      cancelled = true;
    }
    returned = BenchClock::now();
    std::lock_guard<std::mutex> guard(held);
    link.reset();  // closes the port
    closed = BenchClock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  BenchClock::time_point aborted;
  {
    std::lock_guard<std::mutex> guard(held);
    aborted = BenchClock::now();
    if (link) link->Abort();
  }
  reader.join();
  if (!cancelled) return {};
  return {Ms(returned - aborted), Ms(closed - aborted)};
}

}  // namespace

int main(int argc, char** argv) {
  const int tries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::mt19937 random(9);
  bool allMet = true;
  const struct {
    const char* name;
    const char* modes;
    uint8_t cmd;
  } cases[] = {{"report stream (9600 baud)", "keep-streaming=9600", 94},
               {"silent printer", "silent", 90},
               {"SYN-busy printer", "syn-busy=60000", 90}};
  std::printf("Abort -> SendCommand returned / -> port closed, %d tries each (ms)\n", tries);
  for (const auto& c : cases) {
    std::vector<double> returned, closed;
    for (int i = 0; i < tries; ++i) {
      // Aborts land at different points of the wait: within a read, between retransmissions.
      const Try t = AbortOnce(c.modes, c.cmd, 150 + int(random() % 1200));
      if (t.returned < 0) {
        std::printf("  %s: try %d did not end by cancellation\n", c.name, i + 1);
        return 1;
      }
      returned.push_back(t.returned);
      closed.push_back(t.closed);
    }
    std::printf("  %-26s returned median %6.2f max %6.2f | closed median %6.2f max %6.2f\n", c.name,
                Percentile(returned, 50), Percentile(returned, 100), Percentile(closed, 50),
                Percentile(closed, 100));
    allMet = allMet && Percentile(closed, 50) <= 250 && Percentile(closed, 100) <= 500;
  }
  Verdict("median <= 250 ms, max <= 500 ms", allMet);

  // The look before the first command on a line where nothing arrives.
  std::vector<double> look;
  PrinterSim sim;
  sim.Start();
  for (int i = 0; i < tries; ++i) {
    TFiscalLink link(sim.SlavePath(), 115200);
    const auto start = BenchClock::now();
    if (link.DrainEarlierReport({})) {
      std::printf("  the quiet line was taken for an earlier report\n");
      return 1;
    }
    look.push_back(Ms(BenchClock::now() - start));
  }
  std::printf("quiet line, %d tries: the look adds median %.1f ms, max %.1f ms\n", tries,
              Percentile(look, 50), Percentile(look, 100));
  Verdict("look <= 150 ms", Percentile(look, 100) <= 150);
  return 0;
}
