#include "app/Captions.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

namespace {

QString Shown(const QString& text) {
  QString escaped = text;
  return escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// Marks the first letter or digit of each caption that none before it in the same menu took.
void AssignLetters(const QList<QAction*>& actions) {
  QSet<QChar> taken;
  for (QAction* action : actions) {
    if (action->isSeparator() || action->text().isEmpty()) continue;
    QString text = action->text();
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text[i] == QLatin1Char('&')) {
        ++i;  // "&&", a shown "&"
        continue;
      }
      const QChar letter = text[i].toCaseFolded();
      if (!text[i].isLetterOrNumber() || taken.contains(letter)) continue;
      taken.insert(letter);
      text.insert(i, QLatin1Char('&'));
      action->setText(text);
      break;
    }
    if (QMenu* sub = action->menu()) AssignLetters(sub->actions());
  }
}

// The text shortened to `width`. Laying a text out to measure it costs more than the rest of a
// caption's work, so a text that cannot be wider than the room even in the font's widest characters is
// taken as it is.
QString Fitted(const QString& text, const QFontMetrics& font, int width) {
  if (text.size() * font.maxWidth() <= width) return text;
  return font.elidedText(text, Qt::ElideRight, width);
}

}  // namespace

void SetActionCaption(QAction* action, const QString& text, const TCaptionRoom& room) {
  action->setText(Shown(Fitted(text, room.menu, room.menuWidth)));
  // The toolbar shows the caption as given; Qt would otherwise drop the "..." of "Save As...".
  action->setIconText(Fitted(text, room.button, room.buttonWidth));
  action->setToolTip(text);
}

void SetMenuTitle(QMenu* menu, const QString& text, const QFontMetrics& font, int width) {
  menu->setTitle(Shown(Fitted(text, font, width)));
  menu->menuAction()->setToolTip(text);
}

void AssignShortcutLetters(QMenuBar* bar) { AssignLetters(bar->actions()); }
