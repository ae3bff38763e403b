#include "app/ProgramStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>

QIcon TProgramStyle::standardIcon(StandardPixmap sp, const QStyleOption* option,
                                  const QWidget* widget) const {
  if (sp != SP_ToolBarHorizontalExtensionButton && sp != SP_ToolBarVerticalExtensionButton)
    return QProxyStyle::standardIcon(sp, option, widget);
  QPixmap arrow(16, 16);
  arrow.fill(Qt::transparent);
  QPainter painter(&arrow);
  QStyleOption o;
  o.rect = arrow.rect().adjusted(3, 3, -3, -3);
  o.palette = widget != nullptr ? widget->palette() : QApplication::palette();
  o.state = State_Enabled;
  baseStyle()->drawPrimitive(
      sp == SP_ToolBarHorizontalExtensionButton ? PE_IndicatorArrowRight : PE_IndicatorArrowDown, &o,
      &painter, widget);
  painter.end();
  return QIcon(arrow);
}
