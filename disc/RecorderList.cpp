#include "disc/RecorderList.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleOptionComboBox>
#include <memory>

namespace {

class TMiddleElideComboStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (element == CE_ComboBoxLabel) {
      if (const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
        QStyleOptionComboBox shortened = *combo;
        const QRect text = subControlRect(CC_ComboBox, combo, SC_ComboBoxEditField, widget);
        shortened.currentText = combo->fontMetrics.elidedText(
            combo->currentText, Qt::ElideMiddle,
            text.width() - 4 - (combo->currentIcon.isNull() ? 0 : combo->iconSize.width() + 4));
        QProxyStyle::drawControl(element, &shortened, painter, widget);
        return;
      }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

}  // namespace

void SetUpRecorderList(QComboBox* list) {
  auto* elide = new TMiddleElideComboStyle(list->style()->name());
  elide->setParent(list);
  list->setStyle(elide);
  list->view()->setTextElideMode(Qt::ElideMiddle);
  QObject::connect(list, &QComboBox::currentTextChanged, list, &QComboBox::setToolTip);
}

void FillRecorderList(QComboBox* list, TDiscRecorder& recorder, const QString& deviceWord,
                      const QString& imageFileWord) {
  list->clear();
  const int32_t count = recorder.DeviceCount();
  for (int32_t i = 1; i <= count; ++i) {
    const std::unique_ptr<TRecorderInfo> info = recorder.OpenRecorder(i);
    QStringList paths;
    for (const std::string& p : info ? info->mountPaths : std::vector<std::string>())
      paths << QString::fromStdString(p);
    // An image file is named in the window's language: the word of the last entry without its "…".
    QString product = info ? QString::fromStdString(info->product) : QString();
    if (info && info->id.rfind("stdio:", 0) == 0) {
      product = imageFileWord;
      while (product.endsWith(QChar(0x2026)) || product.endsWith(QLatin1Char('.'))) product.chop(1);
    }
    list->addItem(info ? product + QStringLiteral(" [") + paths.join(QLatin1Char(',')) + QStringLiteral("]")
                       : deviceWord + QLatin1Char(' ') + QString::number(i));
  }
  list->addItem(imageFileWord);
  list->setCurrentIndex(0);
}

bool IsImageFileEntry(const QComboBox* list, int index) { return index >= 0 && index == list->count() - 1; }
