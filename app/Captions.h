#pragma once
// Captions of the main window's actions and menus. A caption longer than its place is shortened with
// "…" and shown whole in the tooltip, so an overlong translation cannot push the File menu out of the
// menu bar or the buttons out of sight. A "&" in a caption is shown as it is. Every menu title and menu
// item then gets a shortcut letter (Alt+F opens File) that no neighbour in its menu has: the first free
// letter of its caption, so the shown captions stay as the texts give them, in any language.
#include <QFontMetrics>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;

// Where captions go: the menus' font and the widest menu text, the toolbar's font and widest caption.
struct TCaptionRoom {
  QFontMetrics menu, button;
  int menuWidth, buttonWidth;
};

// The caption of an action, for the menu and (iconText) for a toolbar button.
void SetActionCaption(QAction* action, const QString& text, const TCaptionRoom& room);
// The title of a menu of the bar, at most `width` wide.
void SetMenuTitle(QMenu* menu, const QString& text, const QFontMetrics& font, int width);
// Gives the bar's titles and the items of each of its menus (and their submenus) a shortcut letter.
void AssignShortcutLetters(QMenuBar* bar);
