#include "options/ConfigComServer.h"

#include <QComboBox>
#include <QLabel>
#include <QResizeEvent>
#include <QSocketNotifier>
#include <QString>
#include <unistd.h>
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
  events_ = CreatePortEventSource();
  if (events_) {
    notifier_ = new QSocketNotifier(events_->Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
      events_->Drain();
      // A listing error while the dialog is open keeps the list it had.
      try {
        FillPorts();
      } catch (const std::exception&) {
      }
    });
  }
  for (int32_t speed : SpeedTable) cbSpeed->addItem(QString::number(speed));
  cbSpeed->setCurrentIndex(-1);
}

TfrmConfigComServer::~TfrmConfigComServer() {
  delete notifier_;  // before the descriptor it watches goes away
}

void TfrmConfigComServer::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  Panel1->setGeometry(rect());  // the panel fills the frame
}

void TfrmConfigComServer::FillPorts() {
  const std::string chosen = GetComPort();
  std::vector<PortEntry> entries = ListPortEntries();
  // Ordered as text, letter case ignored: COM10 comes before COM2.
  std::stable_sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
    return QString::compare(QString::fromStdString(a.name), QString::fromStdString(b.name),
                            Qt::CaseInsensitive) < 0;
  });
  cbComPort->clear();
  for (const PortEntry& e : entries) {
    const QString name = QString::fromStdString(e.name);
    // An adapter is recognised by what it is, not by the number it happened to get.
    const QString shown = e.description.empty()
                              ? name
                              : name + QStringLiteral("  ") + QString::fromStdString(e.device) +
                                    QStringLiteral("  ") + QString::fromStdString(e.description);
    cbComPort->addItem(shown, name);
  }
  cbComPort->setCurrentIndex(-1);
  if (!chosen.empty()) SetComPort(chosen);
}

std::string TfrmConfigComServer::GetComPort() const {
  if (cbComPort->currentIndex() < 0) return std::string();
  return cbComPort->currentData().toString().toStdString();
}

void TfrmConfigComServer::SetComPort(const std::string& name) {
  const QString wanted = QString::fromStdString(name);
  for (int i = 0; i < cbComPort->count(); ++i)
    if (QString::compare(cbComPort->itemData(i).toString(), wanted, Qt::CaseInsensitive) == 0) {
      cbComPort->setCurrentIndex(i);
      return;
    }
  if (wanted.trimmed().isEmpty()) {
    cbComPort->setCurrentIndex(-1);
    return;
  }
  AddMissingPort(wanted);
}

void TfrmConfigComServer::AddMissingPort(const QString& name) {
  // A device path that exists is used as it is; anything else stays chosen, so the read
  // names the port it cannot open instead of the setting being lost.
  const bool present = name.startsWith(u'/') && ::access(name.toLocal8Bit().constData(), F_OK) == 0;
  cbComPort->addItem(present ? name : name + QStringLiteral(" (") + notPresent_ + QStringLiteral(")"), name);
  cbComPort->setCurrentIndex(cbComPort->count() - 1);
}

void TfrmConfigComServer::SetNotPresentText(const QString& text) {
  for (int i = 0; i < cbComPort->count(); ++i) {
    const QString old = QStringLiteral(" (") + notPresent_ + QStringLiteral(")");
    if (cbComPort->itemText(i).endsWith(old))
      cbComPort->setItemText(
          i, cbComPort->itemData(i).toString() + QStringLiteral(" (") + text + QStringLiteral(")"));
  }
  notPresent_ = text;
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
