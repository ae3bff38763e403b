// Report view fill: report lines through AddReportLine into the real main window, against a bare
// QPlainTextEdit filled in one edit block. Each case runs in its own process; medians of 3.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <cstring>

#include "AppBench.h"
#include "BareView.h"
#include "app/ReaderFM.h"
#include "app/ReportView.h"
#include "support/TextUtils.h"

namespace {

// 42-character report lines, every tenth a heading.
TStringList MakeReport(int n) {
  TStringList lines;
  lines.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    if (i % 10 == 0)
      lines.push_back(FormatText("^   RAPORT DOBOWY NR %06d   ^", i));
    else
      lines.push_back(FormatText("  Sprzeda\xBF opodatk. A   %12d,%02d  ", i * 37, i % 100));
  }
  return lines;
}

int Child(const char* mode, int n) {
  int argc = 1;
  char name[] = "bench_app_view";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const TStringList lines = MakeReport(n);
  double ms = 0;
  long rssBefore = 0, rssAfter = 0;
  if (std::strcmp(mode, "real") == 0) {
    TfmReaderFM w;
    w.show();
    app.processEvents();
    rssBefore = RssKiB();
    const double t0 = MonotonicMs();
    w.findChild<TReportView*>(QStringLiteral("richResult"))->Fill(lines);
    app.processEvents();  // includes the first layout and paint of the filled view
    ms = MonotonicMs() - t0;
    rssAfter = RssKiB();
  } else {
    QPlainTextEdit edit;
    edit.resize(759, 538);
    edit.show();
    app.processEvents();
    rssBefore = RssKiB();
    const double t0 = MonotonicMs();
    FillBareView(edit, lines, [](size_t i) { return i % 10 == 0; });
    app.processEvents();
    ms = MonotonicMs() - t0;
    rssAfter = RssKiB();
  }
  std::printf("%.2f %ld %ld\n", ms, rssAfter - rssBefore, rssAfter);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareBenchEnvironment();
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], std::atoi(argv[3]));

  const std::string self = SelfFolder() + "/bench_app_view";
  std::printf("report view fill (%s), median of 3 runs, each in a fresh process\n", PlatformName());
  std::printf("  %8s  %12s %12s %7s  %14s %14s\n", "lines", "bare ms", "view ms", "ratio", "bare RSS MiB",
              "view RSS MiB");
  bool met = true;
  for (int n : {2000, 20000, 100000}) {
    std::vector<double> bareMs, realMs, bareRss, realRss;
    for (int run = 0; run < 3; ++run) {
      for (const char* mode : {"bare", "real"}) {
        const std::string out = RunChild({self, "--child", mode, std::to_string(n)});
        double ms = 0;
        long delta = 0, total = 0;
        if (std::sscanf(out.c_str(), "%lf %ld %ld", &ms, &delta, &total) != 3) {
          std::printf("  child %s %d failed\n", mode, n);
          return 1;
        }
        (std::strcmp(mode, "real") == 0 ? realMs : bareMs).push_back(ms);
        (std::strcmp(mode, "real") == 0 ? realRss : bareRss).push_back(double(total) / 1024.0);
      }
    }
    const double ratio = Median(realMs) / std::max(Median(bareMs), 0.001);
    if (n >= 20000 && ratio > 1.5) met = false;
    std::printf("  %8d  %12.1f %12.1f %6.2fx  %14.1f %14.1f\n", n, Median(bareMs), Median(realMs), ratio,
                Median(bareRss), Median(realRss));
  }
  std::printf("  goal: view within 1.5x of the bare fill (20,000 and 100,000 lines): %s\n",
              met ? "met" : "NOT MET");
  return 0;
}
