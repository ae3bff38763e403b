#include "app/ReportView.h"

#include <QFont>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <string>

#include "device/ReportCodec.h"
#include "support/Settings.h"
#include "support/TextUtils.h"

namespace {

// The two looks of a report line, made once per fill: a format per line would be built and
// looked up again for each of a million lines.
struct TReportFormats {
  QTextCharFormat normal, heading;
  explicit TReportFormats(const QColor& text) {
    // The size comes from the view's font, so that zooming reaches every line at once.
    normal.setFontFamilies({QStringLiteral("Courier New")});
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

TReportView::TReportView(QWidget* parent) : QPlainTextEdit(parent) {
  connect(this, &QPlainTextEdit::updateRequest, this, [this] { UpdateMarks(); });
  connect(document(), &QTextDocument::contentsChanged, this, [this] { markedFirst_ = markedLast_ = -1; });
}

void TReportView::ApplyFont() {
  QFont viewFont(QStringLiteral("Courier New"));
  viewFont.setPointSize(kPointSize + zoom_);
  setFont(viewFont);
  fontSet_ = true;
}

void TReportView::SetZoom(int steps) {
  const int zoom = std::clamp(steps, kLeastZoom, kMostZoom);
  if (zoom == zoom_) return;
  zoom_ = zoom;
  if (fontSet_) ApplyFont();
  try {
    TIniFile_VT ini;
    WriteSetting(ini, Setting::ViewZoom, zoom_);
  } catch (const std::exception&) {
  }
  emit zoomChanged(zoom_);
}

void TReportView::LoadZoom(const TIniFile& settings) {
  zoom_ = std::clamp(ReadSetting(settings, Setting::ViewZoom), kLeastZoom, kMostZoom);
  if (fontSet_) ApplyFont();
}

void TReportView::SetMarkedText(const QString& text) {
  marked_ = text;
  markedFirst_ = markedLast_ = -1;
  UpdateMarks();
}

void TReportView::UpdateMarks() {
  // Only the blocks on screen are looked at; nothing is done while they and the text stay the same
  // (setting the marks repaints, which asks for this again).
  QTextBlock block = firstVisibleBlock();
  const int height = viewport()->height();
  int last = block.blockNumber();
  for (QTextBlock b = block; b.isValid(); b = b.next()) {
    if (blockBoundingGeometry(b).translated(contentOffset()).top() > height) break;
    last = b.blockNumber();
  }
  if (block.blockNumber() == markedFirst_ && last == markedLast_) return;
  markedFirst_ = block.blockNumber();
  markedLast_ = last;
  QList<QTextEdit::ExtraSelection> marks;
  if (!marked_.isEmpty()) {
    QTextCharFormat look;
    look.setBackground(palette().color(QPalette::Highlight).lighter(160));
    for (QTextBlock b = block; b.isValid() && b.blockNumber() <= last; b = b.next()) {
      const QString text = b.text();
      for (qsizetype at = text.indexOf(marked_, 0, Qt::CaseInsensitive); at >= 0;
           at = text.indexOf(marked_, at + marked_.size(), Qt::CaseInsensitive)) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(b);
        mark.cursor.setPosition(b.position() + static_cast<int>(at));
        mark.cursor.setPosition(b.position() + static_cast<int>(at + marked_.size()),
                                QTextCursor::KeepAnchor);
        mark.format = look;
        marks << mark;
      }
    }
  }
  setExtraSelections(marks);
}

bool TReportView::HasLines() const { return !document()->isEmpty(); }

void TReportView::AddLine(std::string_view line) {
  if (!fontSet_) ApplyFont();
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  AppendLine(end, line, TReportFormats(palette().color(QPalette::Text)));
}

void TReportView::Fill(const TReportLines& lines) {
  // The report font is loaded with the first report, not at start-up: the empty view
  // shown first does not need it.
  if (!fontSet_) ApplyFont();
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
