// Silent printer: from the first request to the give-up (four waits of 500 ms).
#include <cmath>

#include "DeviceBench.h"
#include "device/FiscalLink.h"
#include "tools/PrinterSim.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<double> elapsed;
  for (int i = 0; i < rounds; ++i) {
    PrinterSimOptions o;
    o.Silent = true;
    PrinterSim sim(o);
    sim.Start();
    TFiscalLink link(sim.SlavePath(), 115200);
    BenchClock::time_point failed;
    link.OnFail = [&](void*) { failed = BenchClock::now(); };
    link.SendCommandText(90, "#");
    const auto requests = sim.Requests();
    if (requests.size() != 4) {
      std::printf("round %d: %zu requests instead of 4\n", i, requests.size());
      return 1;
    }
    elapsed.push_back(Ms(failed - requests.front().Received));
    std::printf("  round %d: %.1f ms\n", i + 1, elapsed.back());
  }
  const double median = Percentile(elapsed, 50);
  const double worst =
      std::max(std::fabs(Percentile(elapsed, 0) - 2000), std::fabs(Percentile(elapsed, 100) - 2000));
  std::printf(
      "silent printer, %d rounds: first request -> give-up median %.1f ms (nominal 2000 ms), worst deviation "
      "%.2f %%\n",
      rounds, median, worst / 20.0);
  Verdict("within 5 % of 2000 ms", worst <= 100.0);
  return 0;
}
