#include "app/ReportView.h"

#include <QFont>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <string>

#include "device/ReportCodec.h"
#include "support/TextUtils.h"

namespace {

// The two looks of a report line, made once per fill: a format per line would be built and
// looked up again for each of a million lines.
struct TReportFormats {
  QTextCharFormat normal, heading;
  explicit TReportFormats(const QColor& text) {
    normal.setFontFamilies({QStringLiteral("Courier New")});
    normal.setFontPointSize(12);
    normal.setFontWeight(QFont::Normal);
    // The text colour of the view's own palette, so the report stays readable in dark themes.
    normal.setForeground(text);
    heading = normal;
    heading.setFontWeight(QFont::Bold);
  }
};

void AppendLine(QTextCursor& end, std::string_view line, const TReportFormats& formats) {
  // A heading's first visible character is "^"; leading blanks and control bytes do not count.
  const auto first =
      std::find_if(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) > 32; });
  const bool heading = first != line.end() && *first == '^';
  const QTextCharFormat& format = heading ? formats.heading : formats.normal;
  std::string shown = CenterText(std::string(line), TReportView::kLineWidth);
  if (heading) std::replace(shown.begin(), shown.end(), '^', ' ');
  if (!end.atStart()) end.insertBlock(QTextBlockFormat(), format);
  end.insertText(ReportText(shown), format);
}

}  // namespace

TReportView::TReportView(QWidget* parent) : QPlainTextEdit(parent) {}

bool TReportView::HasLines() const { return !document()->isEmpty(); }

void TReportView::AddLine(std::string_view line) {
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  AppendLine(end, line, TReportFormats(palette().color(QPalette::Text)));
}

void TReportView::Fill(const TReportLines& lines) {
  // The report font is loaded with the first report, not at start-up: the empty view
  // shown first does not need it.
  QFont viewFont(QStringLiteral("Courier New"));
  viewFont.setPointSize(12);
  setFont(viewFont);
  QTextDocument* doc = document();
  clear();
  // One edit block defers the layout to its end; the fill is no operator edit to undo.
  doc->setUndoRedoEnabled(false);
  const TReportFormats formats(palette().color(QPalette::Text));
  QTextCursor end(doc);
  end.beginEditBlock();
  for (const std::string_view line : lines) AppendLine(end, line, formats);
  end.endEditBlock();
  doc->setUndoRedoEnabled(true);
  moveCursor(QTextCursor::Start);
}
