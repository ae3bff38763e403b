// Printing: 20,000 report lines in two columns (the Print command's path) and 20,000 rows as
// they are, into a PDF printer at high resolution. Medians of 3.
#include <QApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include <cstdio>

#include "AppBench.h"
#include "app/PrintReport.h"
#include "support/TextUtils.h"

int main(int argc, char** argv) {
  PrepareBenchEnvironment();
  QApplication app(argc, argv);
  QTemporaryDir dir;

  TStringList report;
  for (int i = 0; i < 20000; ++i)
    report.push_back(i % 10 == 0 ? FormatText("^  RAPORT DOBOWY NR %06d", i)
                                 : FormatText("Sprzeda\xBF opodatk. A   %10d,%02d", i * 37, i % 100));

  auto measure = [&](const char* what, const TStringList& rows) {
    std::vector<double> ms;
    int pages = 0;
    for (int run = 0; run < 3; ++run) {
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(dir.filePath(QStringLiteral("bench.pdf")));
      const double t0 = MonotonicMs();
      pages = PrintRows(printer, rows);
      ms.push_back(MonotonicMs() - t0);
    }
    std::printf("  %-44s %8.1f ms  %5d pages  %6zu rows\n", what, Median(ms), pages, rows.size());
  };

  std::printf("printing into a PDF QPrinter (A4, high resolution), median of 3\n");
  const double t0 = MonotonicMs();
  TStringList columns;
  MakePrintColumns(report, columns, 74, 42);
  const double layoutMs = MonotonicMs() - t0;
  std::printf("  two-column layout of 20,000 lines           %8.1f ms\n", layoutMs);
  measure("20,000 report lines, two columns", columns);
  measure("20,000 rows, one per line", report);
  return 0;
}
