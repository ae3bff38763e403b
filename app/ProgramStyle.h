#pragma once
// The platform's style with one picture drawn by the program: the menu bar's overflow arrow. The
// stock picture is read with a format probe that loads every image plugin, which cost more than the
// rest of the menu bar at start-up.
#include <QProxyStyle>

class TProgramStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QIcon standardIcon(StandardPixmap sp, const QStyleOption* option, const QWidget* widget) const override;
};
