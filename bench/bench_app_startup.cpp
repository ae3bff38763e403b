// Start-up: from creating the process to the main window on screen, for the program's start
// sequence and for a bare QMainWindow program. Medians of 7 runs, alternating.
#include <cstdio>
#include <cstdlib>

#include "AppBench.h"

int main() {
  PrepareBenchEnvironment();
  const std::string folder = SelfFolder();
  std::vector<double> real, bare;
  for (int run = 0; run < 8; ++run) {
    for (const char* child : {"startup_child_bare", "startup_child_app"}) {
      double start = 0;
      const std::string out = RunChild({folder + "/" + child}, &start);
      const double shown = std::atof(out.c_str());
      if (out.empty() || shown <= 0) {
        std::printf("  %s failed\n", child);
        return 1;
      }
      if (run == 0) continue;  // the first run only warms the file cache
      (child[14] == 'a' ? real : bare).push_back(shown - start);
    }
  }
  std::printf("start-up to main window shown (%s), median of %zu runs\n", PlatformName(), real.size());
  std::printf("  bare QMainWindow program  %8.1f ms\n", Median(bare));
  std::printf("  main window (TfmReaderFM) %8.1f ms   (%+.1f ms)\n", Median(real), Median(real) - Median(bare));
  return 0;
}
