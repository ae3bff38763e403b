#pragma once
// The main window: five actions (Read, Save As, Print, Burn, Exit) over one report view,
// and the state those actions share for the whole run.
#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/PrintReport.h"
#include "device/Report.h"
#include "support/Settings.h"
#include "support/TextUtils.h"

class QAction;
class QDate;
class QFrame;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPrinter;
class QToolButton;

namespace Ui {
class fmReaderFM;
}

// The program's start around the main window. main() and the start-up benchmark run the same
// steps, so the benchmark times what the operator waits for:
//
//   TProgramStart start;                 // first of all, before the QApplication
//   QApplication app(argc, argv);
//   start.PrepareApplication();
//   TfmReaderFM window;
//   window.show();
//   start.AfterMainWindowShown(window);
//
// Reading the system's font configuration is the largest single step before the first window
// with text can be painted, and it needs nothing from Qt; so it runs on a second thread while Qt
// starts, and the main thread waits for it only where the first font is needed.
class TProgramStart {
 public:
  TProgramStart();
  ~TProgramStart();  // waits for the font configuration when nobody did
  TProgramStart(const TProgramStart&) = delete;
  TProgramStart& operator=(const TProgramStart&) = delete;

  // Once the QApplication exists: the program's names, the toolkit's own texts in the
  // desktop's language, font substitutes, application title, style and window icon. Returns
  // with the font configuration read.
  void PrepareApplication();
  // Opens the log after the window's first paint: only a read writes to it, and no read can
  // start before the window is on screen.
  void AfterMainWindowShown(QWidget& window);

 private:
  std::thread fontConfiguration_;
};

// A picture of the program's resources ("read", "veltra-qrm", ...), sharp at 1x and 2x.
QIcon PictureIcon(const char* name);

class TfmReaderFM : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfmReaderFM(QWidget* parent = nullptr);
  ~TfmReaderFM() override;

  // Shared state of the actions.
  std::string PortName = Setting::SerialPort.Default;
  int32_t Baud = Setting::BaudRate.Default;
  // The report of the last whole read, held once; the names below are its parts.
  TReport Report;
  std::string& ReportFileName = Report.FileName;
  std::string& FileNameStem = Report.Stem;
  TReportLines& ReportLines = Report.Lines;  // raw report lines, exactly as the device sent them

  // Message texts from Strings.ini.
  QString ReadText, ProgressText, StatusLabelText, CancelText, DnRText, IncorrectPeriodText,
      IncorrectRangeText, FinishingEarlierText, ReceivedCountText;

  // Controls (objectNames double as Strings.ini keys).
  QFrame* Panel1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  QPlainTextEdit* richResult = nullptr;
  QMenuBar* MM = nullptr;
  QMenu* mmFile = nullptr;
  QAction* acRead = nullptr;
  QAction* acSaveAs = nullptr;
  QAction* acPrint = nullptr;
  QAction* acBurn = nullptr;
  QAction* acExit = nullptr;

  void LoadTexts();
  void LoadSettings();
  void SaveSettings();

  // Appends one report line to the view: centred in 42 characters, bold with every "^"
  // turned into a blank for a heading line.
  void AddReportLine(std::string_view line);
  // Clears the view and adds every line, in one edit step outside the undo history.
  void FillView(const TReportLines& lines);
  // The view has at least one line (the operator may have edited it).
  bool ViewHasLines() const;

  // The action bodies; they throw, the action slots show what they throw.
  void acReadExecute();
  void acSaveAsExecute();
  void acPrintExecute();
  void acBurnExecute();
  void acExitExecute();

  // Tells the operator that the printer did not answer; after the progress window has closed.
  void ShowNoAnswer();

  // Turns the confirmed options into the device command; throws with the window's text for a
  // bad period or range.
  TReportCommand MakeReportRequest(int searchMode, int reportType, const QDate& from, const QDate& to,
                                   int fromNumber, int toNumber, const std::string& monthYear) const;

  // Seams for the modal file and printer dialogs. Unset, the real dialogs are shown.
  // The save chooser gets the previously chosen name and returns the chosen one ("" = cancelled).
  std::function<QString(const QString& previous)> SaveFileChooser;
  // The print chooser configures the printer and returns false when the operator cancelled.
  std::function<bool(QPrinter& printer)> PrintChooser;

  // The name chosen in the last Save As of this run.
  const QString& LastSaveFileName() const { return lastSaveFileName_; }

 private:
  // Runs an action body and shows whatever it throws in the application's error box.
  void RunAction(void (TfmReaderFM::*body)());
  QString ChooseSaveFileName();

  std::unique_ptr<Ui::fmReaderFM> ui_;
  QString lastSaveFileName_;
};
