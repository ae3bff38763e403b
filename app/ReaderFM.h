#pragma once
// The main window: its actions (Read, Open, Recent Reports, Save As, Print, Print Preview, Burn, Archive,
// Exit, Find and zoom) over one report view, and the state those actions share for the whole run: the port
// and speed of the next read and the report shown. Start-up around it is TProgramStart's
// (app/ProgramStart.h); a report file dropped on the window opens like File > Open.
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/Report.h"

class QDate;
class QPrinter;
class TFindBar;
class TReportShelf;

namespace Ui {
class fmReaderFM;
}

class TfmReaderFM : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfmReaderFM(QWidget* parent = nullptr);
  ~TfmReaderFM() override;

  // The report of the last whole read (or Open): its lines exactly as the device sent them, its stem
  // and its file name. Save As, Print and Burn work on it.
  const TReport& Report() const { return report_; }
  const std::string& PortName() const { return portName_; }
  int32_t Baud() const { return baud_; }

  // Shows a report as if it had just been read: it becomes the window's report and fills the view.
  void ShowReport(TReport report);
  // Opens a report file as File > Open does; a refused file gets its box and changes nothing.
  void OpenReportFile(const QString& path);

  // Turns the confirmed options into the device command; throws with the window's text for a
  // bad period or range.
  TReportCommand MakeReportRequest(int searchMode, int reportType, const QDate& from, const QDate& to,
                                   int fromNumber, int toNumber, const std::string& monthYear) const;

  // Seams for the modal file and printer dialogs. Unset, the real dialogs are shown.
  // The save chooser gets the previously chosen name and returns the chosen one ("" = cancelled).
  std::function<QString(const QString& previous)> SaveFileChooser;
  // The open chooser gets the folder to start in and returns the chosen file ("" = cancelled).
  std::function<QString(const QString& folder)> OpenFileChooser;
  // The print chooser configures the printer and returns false when the operator cancelled.
  std::function<bool(QPrinter& printer)> PrintChooser;

  // The name chosen in the last Save As of this run.
  const QString& LastSaveFileName() const { return lastSaveFileName_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  friend struct TfmReaderFMPeer;  // the window's tests

  // Message texts from Strings.ini.
  struct TTexts {
    QString Read, Progress, StatusLabel, Cancel, NoAnswer, IncorrectPeriod, IncorrectRange, FinishingEarlier,
        ReceivedCount;
  };

  void LoadTexts();
  void LoadSettings();
  void SaveSettings();
  void SetUpKeys();

  // The action bodies; they throw, RunAction shows what they throw in the application's error box.
  void RunAction(void (TfmReaderFM::*body)());
  void acReadExecute();
  void acOpenExecute();
  void acSaveAsExecute();
  void acPrintExecute();
  void acPrintPreviewExecute();
  void acBurnExecute();
  void acArchiveExecute();
  void acExitExecute();
  void acFindExecute();

  // Tells the operator that the printer did not answer; after the progress window has closed.
  void ShowNoAnswer();
  QString ChooseSaveFileName();
  QString DocName() const;

  std::unique_ptr<Ui::fmReaderFM> ui_;
  TTexts texts_;
  std::string portName_;
  int32_t baud_ = 0;
  TReport report_;
  QString lastSaveFileName_;
  TFindBar* findBar_ = nullptr;  // made at the first Ctrl+F
  TReportShelf* shelf_ = nullptr;
};
