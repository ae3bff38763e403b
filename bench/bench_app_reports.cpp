// Reports opened again: File > Open of a 64 MiB report file until the view is filled, against a bare
// QPlainTextEdit filled with the same lines; then Find on it: the time to the first match, the time to
// the count, and the longest the event loop waited meanwhile (the window repaints within it).
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>
#include <cstring>

#include "AppBench.h"
#include "BareView.h"
#include "app/ReaderFM.h"
#include "app/ReportView.h"
#include "device/ReportCodec.h"
#include "tools/PrinterSim.h"

namespace {

constexpr size_t kBigReport = (size_t(64) << 20) - (size_t(128) << 10);  // a file under Open's limit

std::string MakeReportFile(const QTemporaryDir& dir, TReportLines& lines) {
  PrinterSimOptions o;
  o.ReportBytes = kBigReport - (size_t(128) << 10);  // room for the CR LF the file adds
  lines = BuildSimReport(o, 95, "D,1,1,1830").Lines;
  const std::string path = dir.filePath(QStringLiteral("ZHK12345678_0001_1830.txt")).toStdString();
  WriteReportFile(path, lines);
  return path;
}

int OpenChild(QApplication& app, bool bare) {
  QTemporaryDir dir;
  TReportLines lines;
  const std::string path = MakeReportFile(dir, lines);
  double ms = 0;
  if (bare) {
    const TStringList list = lines.ToList();
    QPlainTextEdit edit;
    edit.resize(759, 538);
    edit.show();
    app.processEvents();
    const double t0 = MonotonicMs();
    FillBareView(edit, list, [&](size_t i) { return !list[i].empty() && list[i][0] == '^'; });
    app.processEvents();
    ms = MonotonicMs() - t0;
  } else {
    TfmReaderFM w;
    w.show();
    app.processEvents();
    const double t0 = MonotonicMs();
    w.OpenReportFile(QString::fromStdString(path));
    app.processEvents();  // the first layout and paint of the filled view
    ms = MonotonicMs() - t0;
    if (w.Report().Lines.size() != lines.size()) return 1;
  }
  std::printf("%.1f %zu\n", ms, lines.size());
  return 0;
}

// Finds `needle`: prints the time to the first match selected, to the count shown, and the longest
// wait of a 5 ms timer in between.
int FindChild(QApplication& app, const char* needle) {
  QTemporaryDir dir;
  TReportLines lines;
  const std::string path = MakeReportFile(dir, lines);
  TfmReaderFM w;
  w.show();
  w.activateWindow();
  if (!QTest::qWaitForWindowActive(&w)) return 1;
  w.OpenReportFile(QString::fromStdString(path));
  app.processEvents();
  QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
  auto* field = w.findChild<QLineEdit*>(QStringLiteral("eFind"));
  auto* count = w.findChild<QLabel*>(QStringLiteral("lblFindCount"));
  auto* view = w.findChild<TReportView*>(QStringLiteral("richResult"));
  if (!field || !count || !view) return 1;
  double first = 0, counted = 0, last = 0, longestWait = 0;
  QObject::connect(view, &QPlainTextEdit::selectionChanged, [&] {
    if (first == 0 && view->textCursor().hasSelection()) first = MonotonicMs();
  });
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const double now = MonotonicMs();
    if (last > 0) longestWait = std::max(longestWait, now - last);
    last = now;
    if (!count->text().isEmpty()) {
      counted = now;
      app.quit();
    }
  });
  const double t0 = MonotonicMs();
  tick.start(5);
  field->setText(QString::fromUtf8(needle));
  if (!count->text().isEmpty()) counted = MonotonicMs();
  if (counted == 0) app.exec();
  std::printf("%.1f %.1f %.1f %s\n", first > 0 ? first - t0 : -1.0, counted - t0, longestWait,
              count->text().toUtf8().constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  PrepareBenchEnvironment();
  if (argc == 3 && (std::strcmp(argv[1], "--open") == 0 || std::strcmp(argv[1], "--find") == 0)) {
    QApplication app(argc, argv);
    return std::strcmp(argv[1], "--open") == 0 ? OpenChild(app, std::strcmp(argv[2], "bare") == 0)
                                               : FindChild(app, argv[2]);
  }

  const std::string self = SelfFolder() + "/bench_app_reports";
  std::printf("Reports opened again (%s)\n", PlatformName());
  std::vector<double> real, bare;
  size_t lines = 0;
  for (int run = 0; run < 3; ++run) {
    double r = 0, b = 0;
    if (std::sscanf(RunChild({self, "--open", "real"}).c_str(), "%lf %zu", &r, &lines) != 2 ||
        std::sscanf(RunChild({self, "--open", "bare"}).c_str(), "%lf", &b) != 1) {
      std::printf("  open: a child failed\n");
      return 1;
    }
    real.push_back(r);
    bare.push_back(b);
  }
  const double ratio = Median(real) / Median(bare);
  std::printf("  Open of a 64 MiB report file (%zu lines) until the view is filled, median of 3\n", lines);
  std::printf("    Open %8.1f ms, bare QPlainTextEdit fill %8.1f ms: %.2fx   goal <= 1.2x: %s\n",
              Median(real), Median(bare), ratio, ratio <= 1.2 ? "met" : "NOT MET");
  std::printf("  Find on it (first match, count shown, longest wait of the event loop)\n");
  // A word of every daily report, and one near the end only.
  for (const char* needle : {"kwota ptu", "nr 1829"}) {
    double first = 0, counted = 0, wait = 0;
    char shown[64] = {0};
    if (std::sscanf(RunChild({self, "--find", needle}).c_str(), "%lf %lf %lf %63[^\n]", &first, &counted,
                    &wait, shown) < 3) {
      std::printf("    \"%s\": a child failed\n", needle);
      return 1;
    }
    std::printf("    \"%s\": first match %7.1f ms, count \"%s\" after %7.1f ms, longest wait %5.1f ms%s\n",
                needle, first, shown, counted, wait,
                std::strcmp(needle, "kwota ptu") == 0
                    ? (first <= 100 && wait <= 100 ? "   goal first <= 100 ms, wait <= 100 ms: met"
                                                   : "   goal first <= 100 ms, wait <= 100 ms: NOT MET")
                    : (wait <= 100 ? "   (wait goal met)" : "   (wait goal NOT MET)"));
  }
  return 0;
}
