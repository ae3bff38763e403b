// End of report: from the simulator's last byte of the answer frame to SendCommand returning.
#include "DeviceBench.h"
#include "device/FiscalLink.h"
#include "tools/PrinterSim.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  PrinterSimOptions o;
  o.ReportLines = 5;
  PrinterSim sim(o);
  sim.Start();
  TFiscalLink link(sim.SlavePath(), 115200);
  std::vector<double> latency;
  for (int i = 0; i < rounds; ++i) {
    link.SendCommandText(94, "D,1,0312");
    const auto back = BenchClock::now();
    const auto requests = sim.Requests();
    if (!requests.back().Answered) {
      std::printf("round %d: no answer\n", i);
      return 1;
    }
    latency.push_back(Ms(back - requests.back().AnswerDone));
  }
  const double median = Percentile(latency, 50);
  std::printf("end of report, %d exchanges (report of %zu bytes each)\n", rounds,
              BuildSimReport(o, 94, "D,1,0312").Text.size());
  std::printf("  last answer byte -> SendCommand returns: median %.3f ms, p99 %.3f ms, max %.3f ms\n", median,
              Percentile(latency, 99), Percentile(latency, 100));
  Verdict("median <= 15 ms", median <= 15.0);
  return 0;
}
