#include "app/PrintReport.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "device/ReportCodec.h"
#include "support/Exceptions.h"
#include "support/MessageBox.h"

namespace {

// Longest prefix of `text` (at least one character) whose width fits `width`.
int FittingLength(const QFontMetrics& fm, const QString& text, int width) {
  if (fm.horizontalAdvance(text) <= width) return static_cast<int>(text.size());
  int lo = 1, hi = static_cast<int>(text.size()) - 1;
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (fm.horizontalAdvance(text.left(mid)) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

}  // namespace

int PrintRows(QPrinter& printer, const TStringList& rows) {
  QPainter painter;
  if (!painter.begin(&printer)) throw Exception("Unable to start the print job");
  // The job is closed on every way out, so a failure never leaves it open.
  struct JobCloser {
    QPainter& p;
    ~JobCloser() {
      if (p.isActive()) p.end();
    }
  } closer{painter};

  QFont font(QStringLiteral("Courier New"));
  font.setPointSize(10);
  painter.setFont(font);
  const QFontMetrics fm(painter.font(), painter.device());
  const int lineHeight = fm.lineSpacing();
  // With the painter on the printer, (0, 0) is the top left of the printable area.
  const int pageWidth = printer.width();
  const int pageHeight = printer.height();

  int pages = 1;
  int y = 0;
  auto printLine = [&](const QString& text) {
    if (y > 0 && y + lineHeight > pageHeight) {
      if (!printer.newPage()) throw Exception("Unable to start a new page of the print job");
      ++pages;
      y = 0;
    }
    if (!text.isEmpty()) painter.drawText(0, y + fm.ascent(), text);
    y += lineHeight;
  };
  for (const std::string& row : rows) {
    QString rest = ReportText(row);
    if (rest.isEmpty()) {
      printLine(rest);
      continue;
    }
    while (!rest.isEmpty()) {
      const int n = FittingLength(fm, rest, pageWidth);
      printLine(rest.left(n));
      rest.remove(0, n);
    }
  }
  if (!painter.end()) throw Exception("Unable to finish the print job");
  return pages;
}

void PrintReport(QWidget* window, const TStringList& rows, const QString& docName,
                 const std::function<bool(QPrinter&)>& chooser) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(docName);
  if (chooser) {
    if (!chooser(printer)) return;
  } else {
    QPrintDialog dialog(&printer, window);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    if (dialog.exec() != QDialog::Accepted) return;
  }
  PrintRows(printer, rows);
}

void PreviewReport(QWidget* window, const TStringList& rows, const QString& docName) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(docName);
  QPrintPreviewDialog preview(&printer, window);
  preview.setObjectName(QStringLiteral("PrintPreviewDialog1"));
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&rows](QPrinter* target) {
    // The dialog asks for the pages from its own event handling, where nothing may be thrown.
    try {
      PrintRows(*target, rows);
    } catch (const std::exception& e) {
      ShowErrorBox(e);
    }
  });
  preview.exec();
}

extern "C" void vq_print_report(QWidget* window, const TStringList& rows, const QString& docName,
                                const std::function<bool(QPrinter&)>& chooser) {
  PrintReport(window, rows, docName, chooser);
}

extern "C" void vq_preview_report(QWidget* window, const TStringList& rows, const QString& docName) {
  PreviewReport(window, rows, docName);
}
