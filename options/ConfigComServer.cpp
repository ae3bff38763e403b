#include "options/ConfigComServer.h"

#include <QComboBox>
#include <QLabel>
#include <QResizeEvent>
#include <QString>
#include <algorithm>
#include <vector>

#include "options/PortDiscovery.h"
#include "ui_ConfigComServer.h"

TfrmConfigComServer::TfrmConfigComServer(QWidget* owner)
    : QFrame(owner), ui_(std::make_unique<Ui::TfrmConfigComServer>()) {
  ui_->setupUi(this);
  Panel1 = ui_->Panel1;
  lblCOM = ui_->lblCOM;
  lblSpeed = ui_->lblSpeed;
  cbComPort = ui_->cbComPort;
  cbSpeed = ui_->cbSpeed;
  setObjectName(QStringLiteral("frmConfigComServer"));

  // A discovery failure leaves here on purpose: the hosting window must not come up
  // with a port list that silently lacks ports.
  FillPorts();
  for (int32_t speed : SpeedTable) cbSpeed->addItem(QString::number(speed));
  cbSpeed->setCurrentIndex(-1);
}

TfrmConfigComServer::~TfrmConfigComServer() = default;

void TfrmConfigComServer::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  Panel1->setGeometry(rect());  // the panel fills the frame
}

void TfrmConfigComServer::FillPorts() {
  std::vector<std::string> list;
  Get_COM_EX(list);
  QStringList names;
  names.reserve(static_cast<int>(list.size()));
  for (const std::string& name : list) names << QString::fromStdString(name);
  // Ordered as text, letter case ignored: COM10 comes before COM2.
  std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  cbComPort->clear();
  cbComPort->addItems(names);
  cbComPort->setCurrentIndex(-1);
}

std::string TfrmConfigComServer::GetComPort() const {
  if (cbComPort->currentIndex() < 0) return std::string();
  return cbComPort->currentText().toStdString();
}

void TfrmConfigComServer::SetComPort(const std::string& name) {
  // MatchFixedString without MatchCaseSensitive compares whole texts ignoring case.
  cbComPort->setCurrentIndex(cbComPort->findText(QString::fromStdString(name), Qt::MatchFixedString));
}

int32_t TfrmConfigComServer::GetSpeed() const {
  if (cbSpeed->currentIndex() < 0) return 0;
  bool ok = false;
  const int32_t speed = cbSpeed->currentText().toInt(&ok);
  return ok ? speed : 0;
}

void TfrmConfigComServer::SetSpeed(int32_t speed) { cbSpeed->setCurrentIndex(SpeedIndex(speed)); }

int TfrmConfigComServer::SpeedIndex(int32_t speed) {
  for (size_t i = 0; i < SpeedTable.size(); ++i)
    if (SpeedTable[i] == speed) return static_cast<int>(i);
  return -1;
}
