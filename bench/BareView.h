#pragma once
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

// The yardstick for the report view: a bare QPlainTextEdit filled the plain Qt way, one block per
// line in "Courier New" 12 pt, bold where isBold says so.
template <typename Lines, typename IsBold>
void FillBareView(QPlainTextEdit& edit, const Lines& lines, IsBold isBold) {
  QTextDocument* doc = edit.document();
  doc->setUndoRedoEnabled(false);
  QTextCursor c(doc);
  c.beginEditBlock();
  QTextCharFormat normal, bold;
  normal.setFontFamilies({QStringLiteral("Courier New")});
  normal.setFontPointSize(12);
  bold = normal;
  bold.setFontWeight(QFont::Bold);
  for (size_t i = 0; i < lines.size(); ++i) {
    const QTextCharFormat& f = isBold(i) ? bold : normal;
    if (i > 0) c.insertBlock(QTextBlockFormat(), f);
    c.insertText(QString::fromLatin1(lines[i].c_str()), f);
  }
  c.endEditBlock();
}
