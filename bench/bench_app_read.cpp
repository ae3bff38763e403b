// The Read command through the main window against the printer simulator:
//  - Cancel -> progress window closed, 20 tries each during a report stream, during the waits of
//    a silent give-up and during a SYN-busy wait (a fresh simulator for every try);
//  - a 64 MiB report: the peak RSS of the whole read, and the time from the last byte to the
//    filled view, against a bare QPlainTextEdit filled with the same lines (accessibility on).
// Each case runs in a process of its own; the 64 MiB simulator runs in another process, so its
// copy of the report does not count.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <cstring>
#include <sstream>

#include "AppBench.h"
#include "BareView.h"
#include "app/ReaderFM.h"
#include "app/ReportFiles.h"
#include "support/Settings.h"
#include "jobs/SmProgressThread.h"
#include "jobs/SmallProgressForm.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/MessageBox.h"
#include "tools/PrinterSim.h"

namespace {

constexpr size_t kBigReport = (size_t(64) << 20) - (size_t(64) << 10);  // under the link's limit

long PeakRssKiB() { return ProcStatusKiB("VmHWM:"); }

const char* const kParams = "D,1,1,1830";

// Presses Read, confirms the options and runs `onProgress` on the progress window every 2 ms.
void Read(TfmReaderFM& w, const std::function<void(TSmallProgressForm*)>& onProgress) {
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* d = qobject_cast<TfmReadOptions*>(modal)) {
      d->rbByRptNumber->click();  // kParams
      d->eFromNum->setText(QStringLiteral("1"));
      d->eToNum->setText(QStringLiteral("1830"));
      d->btnOK->click();
    }
    if (auto* f = qobject_cast<TSmallProgressForm*>(modal)) onProgress(f);
  });
  poll.start(2);
  w.findChild<QAction*>(QStringLiteral("acRead"))->trigger();
}

int CancelChild(const char* mode) {
  int argc = 1;
  char name[] = "bench_app_read";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SetMessageBoxObserverForTesting([](const MessageBoxRequest&) { return IDOK; });
  TfmReaderFM w;
  w.show();
  const bool stream = std::strcmp(mode, "stream") == 0;
  for (int i = 0; i < 20; ++i) {
    PrinterSimOptions o;
    o.LinkPath = PortLinkPathFor("COM1");
    if (stream) {
      o.KeepStreamBaud = 115200;
      o.ReportLines = 2000;
    }
    o.Silent = std::strcmp(mode, "silent") == 0;
    if (std::strcmp(mode, "syn-busy") == 0) o.SynBusyMs = 5000;
    PrinterSim sim(o);
    sim.Start();
    double seen = 0, clicked = 0;
    Read(w, [&](TSmallProgressForm* f) {
      if (clicked > 0) return;
      const QString status = f->eStat->text();
      if (stream ? !status.startsWith(QStringLiteral("Received")) : status.isEmpty()) return;
      if (seen == 0) seen = MonotonicMs();
      if (MonotonicMs() - seen < 300) return;  // well inside the stream or the wait
      clicked = MonotonicMs();
      f->btnCancel->click();
    });
    const double closed = MonotonicMs();
    if (clicked == 0) return 1;
    std::printf("%.2f\n", closed - clicked);
    std::fflush(stdout);
  }
  return 0;
}

// A read whose report's last byte and filled view (after the first layout and paint) are timed.
std::pair<double, double> TimedRead(TfmReaderFM& w, QApplication& app) {
  double lastByte = 0;
  bool hooked = false;
  Read(w, [&](TSmallProgressForm* f) {
    if (hooked || f->Job == nullptr) return;
    hooked = true;
    QObject::connect(
        f->Job, &TSmProgressThread::progressChanged, f->Job,
        [&](qint64 done, qint64 total) {
          if (total > 0 && done == total) lastByte = MonotonicMs();
        },
        Qt::DirectConnection);
  });
  app.processEvents();
  return {lastByte, MonotonicMs()};
}

int BigChild(bool bare) {
  int argc = 1;
  char name[] = "bench_app_read";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QAccessible::setActive(true);
  PrinterSimOptions o;
  o.ReportBytes = kBigReport;
  if (bare) {
    const TStringList lines = BuildSimReport(o, 95, kParams).Lines;
    QPlainTextEdit edit;
    edit.resize(759, 538);
    edit.show();
    app.processEvents();
    const double t0 = MonotonicMs();
    FillBareView(edit, lines, [&](size_t i) { return !lines[i].empty() && lines[i][0] == '^'; });
    app.processEvents();
    std::printf("%.1f 0 %zu\n", MonotonicMs() - t0, lines.size());
    return 0;
  }
  PrinterSimProcess sim(VQ_PRINTER_SIM_EXE, {"--port", "COM1", "--report-bytes", std::to_string(kBigReport)});
  TfmReaderFM w;
  w.show();
  app.processEvents();
  const long before = RssKiB();
  const auto [lastByte, filled] = TimedRead(w, app);
  if (lastByte == 0 || w.Report().Lines.empty()) return 1;
  std::printf("%.1f %ld %zu %ld\n", filled - lastByte, PeakRssKiB(), w.Report().Lines.size(), before);
  return 0;
}

// Reads of a 1 MiB report, each into an empty history folder ([History] Keep on) or with keeping
// off: prints the median of last byte -> filled view (keeping included) and of the whole read.
int KeepChild(bool keep) {
  int argc = 1;
  char name[] = "bench_app_read";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SetMessageBoxObserverForTesting([](const MessageBoxRequest&) { return IDOK; });
  {
    TIniFile_VT ini;
    WriteSetting(ini, Setting::HistoryKeep, keep ? 1 : 0);
  }
  const size_t bytes = size_t(1) << 20;
  PrinterSimProcess sim(VQ_PRINTER_SIM_EXE, {"--port", "COM1", "--report-bytes", std::to_string(bytes)});
  TfmReaderFM w;
  w.show();
  std::vector<double> tail, whole;
  for (int run = 0; run < 9; ++run) {
    QDir(QString::fromStdString(HistoryFolder())).removeRecursively();
    app.processEvents();
    const double start = MonotonicMs();
    const auto [lastByte, filled] = TimedRead(w, app);
    const bool kept = QFileInfo::exists(QString::fromStdString(HistoryFolder() + "/" + w.Report().FileName));
    if (lastByte == 0 || w.Report().Lines.empty() || kept != keep) return 1;
    if (run == 0) continue;  // warms the caches
    tail.push_back(filled - lastByte);
    whole.push_back(filled - start);
  }
  std::printf("%.2f %.1f\n", Median(tail), Median(whole));
  return 0;
}

void Stats(const char* what, std::vector<double> v, bool& met) {
  if (v.empty()) {
    std::printf("  %-10s failed\n", what);
    met = false;
    return;
  }
  const double median = Median(v), most = *std::max_element(v.begin(), v.end());
  std::printf("  %-10s median %7.1f ms   max %7.1f ms   (%zu tries)\n", what, median, most, v.size());
  if (median > 250 || most > 500) met = false;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareBenchEnvironment();
  // The window's ports folder, where the simulator publishes COM1.
  ActAsSiblingProgram("veltra-qrm");
  if (argc == 3 && std::strcmp(argv[1], "--cancel") == 0) return CancelChild(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--big") == 0) return BigChild(std::strcmp(argv[2], "bare") == 0);
  if (argc == 3 && std::strcmp(argv[1], "--keep") == 0) return KeepChild(std::strcmp(argv[2], "on") == 0);

  const std::string self = SelfFolder() + "/bench_app_read";
  std::printf("Read through the main window (%s)\n", PlatformName());
  std::printf("Cancel -> progress window closed\n");
  bool met = true;
  for (const char* mode : {"stream", "silent", "syn-busy"}) {
    std::vector<double> ms;
    std::istringstream out(RunChild({self, "--cancel", mode}));
    for (double v; out >> v;) ms.push_back(v);
    if (ms.size() != 20) ms.clear();
    Stats(mode, ms, met);
  }
  std::printf("  goal: median <= 250 ms, max <= 500 ms: %s\n", met ? "met" : "NOT MET");

  double keptMs = 0, plainMs = 0, readMs = 0, ignoredMs = 0;
  if (std::sscanf(RunChild({self, "--keep", "on"}).c_str(), "%lf %lf", &keptMs, &readMs) != 2 ||
      std::sscanf(RunChild({self, "--keep", "off"}).c_str(), "%lf %lf", &plainMs, &ignoredMs) != 2) {
    std::printf("keeping a 1 MiB report: a child failed\n");
    return 1;
  }
  const double added = keptMs - plainMs, allowed = std::max(20.0, readMs / 100);
  std::printf("Keeping a 1 MiB report in the history (medians of 8 reads, read %.0f ms)\n", readMs);
  std::printf(
      "  last byte -> view shown: kept %.2f ms, not kept %.2f ms, added %.2f ms   goal <= %.0f ms: %s\n",
      keptMs, plainMs, added, allowed, added <= allowed ? "met" : "NOT MET");

  double realMs = 0, bareMs = 0;
  long peak = 0, ignored = 0, before = 0;
  size_t lines = 0, bareLines = 0;
  if (std::sscanf(RunChild({self, "--big", "real"}).c_str(), "%lf %ld %zu %ld", &realMs, &peak, &lines,
                  &before) != 4 ||
      std::sscanf(RunChild({self, "--big", "bare"}).c_str(), "%lf %ld %zu", &bareMs, &ignored, &bareLines) !=
          3) {
    std::printf("64 MiB report: a child failed\n");
    return 1;
  }
  const double size = double(kBigReport) / 1024.0;
  std::printf("64 MiB report (%zu lines, accessibility on)\n", lines);
  std::printf("  peak RSS of the whole read   %8.1f MiB = %.2fx the report   goal <= 8x: %s\n", peak / 1024.0,
              peak / size, peak <= 8 * size ? "met" : "NOT MET");
  std::printf("  RSS of the window before the read %8.1f MiB\n", before / 1024.0);
  std::printf("  last byte -> filled view     %8.1f ms\n", realMs);
  std::printf("  bare QPlainTextEdit fill     %8.1f ms   ratio %.2fx   goal <= 1.2x: %s\n", bareMs,
              realMs / bareMs, realMs <= 1.2 * bareMs ? "met" : "NOT MET");
  return 0;
}
