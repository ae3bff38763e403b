#pragma once
// Port and speed selector: a frame a window embeds to pick the serial port and the
// baud rate. The port list follows devices coming and going while the frame exists.
#include <QFrame>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QComboBox;
class QResizeEvent;
class QSocketNotifier;
class PortEventSource;

namespace Ui {
class TfrmConfigComServer;
}

class TfrmConfigComServer : public QFrame {
  Q_OBJECT
 public:
  // Fills the port list from the port discovery; a discovery error leaves the
  // constructor (so the hosting window is not created).
  explicit TfrmConfigComServer(QWidget* owner = nullptr);
  ~TfrmConfigComServer() override;

  static constexpr std::array<int32_t, 10> SpeedTable = {1200,  2400,  4800,  9600,  14400,
                                                         19200, 28800, 38400, 57600, 115200};

  // Rebuilds the list from the port discovery and keeps the chosen port.
  void FillPorts();
  std::string GetComPort() const;  // "" when nothing is selected
  // Letter case ignored. A port that is not present (an unplugged adapter, a device path
  // that does not exist) is added to the list, marked, and selected all the same.
  void SetComPort(const std::string& name);
  void SetNotPresentText(const QString& text);
  int32_t GetSpeed() const;              // 0 when nothing is selected
  void SetSpeed(int32_t speed);          // a rate outside the table selects nothing
  static int SpeedIndex(int32_t speed);  // position in SpeedTable, -1 when absent

  QFrame* Panel1 = nullptr;
  QLabel* lblCOM = nullptr;
  QLabel* lblSpeed = nullptr;
  QComboBox* cbComPort = nullptr;
  QComboBox* cbSpeed = nullptr;

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void AddMissingPort(const QString& name);

  std::unique_ptr<Ui::TfrmConfigComServer> ui_;
  QString notPresent_ = QStringLiteral("not present");
  std::unique_ptr<PortEventSource> events_;
  QSocketNotifier* notifier_ = nullptr;
};
