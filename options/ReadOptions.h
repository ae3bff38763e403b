#pragma once
// The read options dialog: port and speed, which part of the fiscal memory to report
// and the report type. It only collects and lightly filters; the Read command checks.
#include <QDate>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QComboBox;
class QLineEdit;
class QDateEdit;
class QRadioButton;
class QGroupBox;
class QPushButton;
class QFrame;
class TfrmConfigComServer;

namespace Ui {
class TfmReadOptions;
}

class TfmReadOptions : public QDialog {
  Q_OBJECT
 public:
  // Throws when the serial ports cannot be listed; the dialog then does not exist.
  explicit TfmReadOptions(QWidget* parent = nullptr);
  ~TfmReadOptions() override;

  void SetPortName(const std::string& name);
  void SetBaud(int32_t baud);
  std::string GetPortName() const;
  int32_t GetBaud() const;
  int GetSearchMode() const;  // 0 by date, 1 by report number, 2 by month
  int GetReportType() const;  // 0 detailed, 1 summary
  QDate GetFromDate() const;
  QDate GetToDate() const;
  int GetFromNumber() const;  // 1 when empty or not a number
  int GetToNumber() const;
  std::string GetMonthYear() const;  // month item text followed by the year text

  void LoadDialogTexts();

  // Closing with a report-number warning still waiting shows the warning first.
  void done(int result) override;

  // Tests count the beeps of the key filter; an empty function restores the real beep.
  static void SetBeepHookForTesting(std::function<void()> hook);

  // The warning limit for report numbers.
  static constexpr int kMaxReportNumber = 1830;

  QString IncorrectReportNumberText;

  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QFrame* Panel2 = nullptr;
  QGroupBox* gbSerialPort = nullptr;
  TfrmConfigComServer* frmConfigComServer1 = nullptr;
  QGroupBox* gbSearch = nullptr;
  QFrame* Panel1 = nullptr;
  QRadioButton* rbByMonth = nullptr;
  QComboBox* cbMonth = nullptr;
  QLabel* lblYear = nullptr;
  QLineEdit* eYear = nullptr;
  QRadioButton* rbByDate = nullptr;
  QLabel* lblFromDate = nullptr;
  QDateEdit* dtpFrom = nullptr;
  QLabel* lblToDate = nullptr;
  QDateEdit* dtpTo = nullptr;
  QRadioButton* rbByRptNumber = nullptr;
  QLabel* lblFromNumber = nullptr;
  QLineEdit* eFromNum = nullptr;
  QLabel* lblToNumber = nullptr;
  QLineEdit* eToNum = nullptr;
  QGroupBox* gbTypeReport = nullptr;
  QRadioButton* rbDetailed = nullptr;
  QRadioButton* rbSummary = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void rbByDateClick();
  void rbByRptNumberClick();
  void rbByMonthClick();
  // Returns true when the key is taken by the field, false when it must be discarded.
  bool eFromNumKeyPress(QChar key);
  void eFromNumEnter();
  void eToNumExit();
  void WarnIfAboveLimit(const QString& text);
  void ShowPendingWarning();

  int pendingWarnings_ = 0;

  std::unique_ptr<Ui::TfmReadOptions> ui_;
};
