// Start-up: from creating the process to the main window on screen, for the program's start
// sequence, for a bare QMainWindow program (the yardstick: at most 1.5 times its time) and, for
// comparison, for a QMainWindow with a menu and a text field, which has to read the font
// configuration as every window with a text does. Medians of 7 runs, alternating.
//
// The program reads the font configuration on a second thread, so on a machine whose other core
// is busy the figure shows less gain than on an idle desktop. Instructions to the first paint,
// per thread and independent of load, come from running build/bench/startup_child_app under
// valgrind --tool=callgrind --separate-threads=yes --dump-before='QCoreApplication::quit()'.
#include <cstdio>
#include <cstdlib>

#include "AppBench.h"

int main() {
  PrepareBenchEnvironment();
  const std::string folder = SelfFolder();
  std::vector<double> real, bare, text;
  for (int run = 0; run < 8; ++run) {
    for (const std::string child : {"startup_child_bare", "startup_child_text", "startup_child_app"}) {
      double start = 0;
      const std::string out = RunChild({folder + "/" + child}, &start);
      const double shown = std::atof(out.c_str());
      if (out.empty() || shown <= 0) {
        std::printf("  %s failed\n", child.c_str());
        return 1;
      }
      if (run == 0) continue;  // the first run only warms the file cache
      (child == "startup_child_app"    ? real
       : child == "startup_child_bare" ? bare
                                       : text)
          .push_back(shown - start);
    }
  }
  std::printf("start-up to main window shown (%s), median of %zu runs\n", PlatformName(), real.size());
  std::printf("  bare QMainWindow program  %8.1f ms\n", Median(bare));
  std::printf("  with a menu and a text    %8.1f ms   (%.2fx)\n", Median(text), Median(text) / Median(bare));
  std::printf("  main window (TfmReaderFM) %8.1f ms   (%.2fx)\n", Median(real), Median(real) / Median(bare));
  const double againstText = Median(real) / Median(text);
  std::printf("  main window / menu and text %.2fx (goal: at most 1.05x) %s\n", againstText,
              againstText <= 1.05 ? "met" : "NOT MET");
  return 0;
}
