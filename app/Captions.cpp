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

}  // namespace

void SetActionCaption(QAction* action, const QString& text, const TCaptionRoom& room) {
  action->setText(Shown(room.menu.elidedText(text, Qt::ElideRight, room.menuWidth)));
  // The toolbar shows the caption as given; Qt would otherwise drop the "..." of "Save As...".
  action->setIconText(room.button.elidedText(text, Qt::ElideRight, room.buttonWidth));
  action->setToolTip(text);
}

void SetMenuTitle(QMenu* menu, const QString& text, const QFontMetrics& font, int width) {
  menu->setTitle(Shown(font.elidedText(text, Qt::ElideRight, width)));
  menu->menuAction()->setToolTip(text);
}

void AssignShortcutLetters(QMenuBar* bar) { AssignLetters(bar->actions()); }
