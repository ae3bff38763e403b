#pragma once
// Checks that a shown window's controls fit their texts: every control lies inside its parent,
// no two sibling controls overlap, and none is smaller than its size hint (so no text is cut).
// The inner parts of compound widgets (the field of a date edit, the view of a combo box) are
// theirs to manage and are not looked into.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>

inline void CollectFitProblems(const QWidget* parent, QStringList& problems) {
  QList<const QWidget*> kids;
  for (const QObject* o : parent->children()) {
    const auto* w = qobject_cast<const QWidget*>(o);
    if (w == nullptr || w->isWindow() || !w->isVisible() || w->objectName().startsWith(QLatin1String("qt_")))
      continue;
    kids << w;
  }
  for (int i = 0; i < kids.size(); ++i) {
    const QWidget* w = kids[i];
    const QString name =
        w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (!parent->rect().contains(w->geometry()))
      problems << QStringLiteral("%1 sticks out of %2").arg(name, parent->objectName());
    for (int j = i + 1; j < kids.size(); ++j)
      if (w->geometry().intersects(kids[j]->geometry()))
        problems << QStringLiteral("%1 overlaps %2").arg(name, kids[j]->objectName());
    // Whatever shows a text must have the room its text asks for; fields scroll their text.
    const bool showsText =
        qobject_cast<const QLabel*>(w) != nullptr || qobject_cast<const QAbstractButton*>(w) != nullptr ||
        qobject_cast<const QComboBox*>(w) != nullptr || qobject_cast<const QGroupBox*>(w) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(w) != nullptr;
    const auto* label = qobject_cast<const QLabel*>(w);
    const bool wraps = label != nullptr && label->wordWrap();
    const QSize hint = w->sizeHint();
    if (showsText && !wraps && (w->width() < hint.width() || w->height() < hint.height()))
      problems << QStringLiteral("%1 is %2x%3, needs %4x%5")
                      .arg(name)
                      .arg(w->width())
                      .arg(w->height())
                      .arg(hint.width())
                      .arg(hint.height());
    if (wraps && w->height() < label->heightForWidth(w->width()))
      problems << QStringLiteral("%1 cuts its lines").arg(name);
    if (const auto* edit = qobject_cast<const QLineEdit*>(w);
        edit != nullptr && !edit->text().isEmpty() && w->parent() != nullptr &&
        qobject_cast<const QAbstractSpinBox*>(w->parentWidget()) == nullptr &&
        edit->fontMetrics().horizontalAdvance(edit->text()) > edit->width() - 8)
      problems << QStringLiteral("%1 cuts its text").arg(name);
    if (qobject_cast<const QComboBox*>(w) == nullptr && qobject_cast<const QAbstractSpinBox*>(w) == nullptr &&
        qobject_cast<const QAbstractScrollArea*>(w) == nullptr)
      CollectFitProblems(w, problems);
  }
}

// The problems as one text, empty when the window fits.
inline std::string FitProblems(const QWidget* window) {
  QStringList problems;
  CollectFitProblems(window, problems);
  return problems.join(QLatin1Char('\n')).toStdString();
}

// A Strings.ini giving every listed key of a section its default text twice over.
inline std::string DoubledTexts(const char* section,
                                std::initializer_list<std::pair<const char*, const char*>> keys) {
  std::string out = std::string("[") + section + "]\r\n";
  for (const auto& [key, text] : keys) out += std::string(key) + "=" + text + text + "\r\n";
  return out;
}

// A menu caption as the operator reads it: without the marker of its shortcut letter ("&File").
inline QString ShownCaption(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && ++i >= text.size()) break;
    out += text[i];
  }
  return out;
}
