// The Read command end to end: the toolbar button, the options dialog, the report job against
// the printer simulator on a pseudo-terminal, and the report view.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QLabel>
#include <QtTest/QTest>

#include <unistd.h>

#include "AppTestSupport.h"
#include "app/ReaderFM.h"
#include "app/ReportFiles.h"
#include "device/ReportCodec.h"
#include "support/IniFile.h"
#include "device/PortMap.h"
#include "jobs/SmallProgressForm.h"
#include "options/ConfigComServer.h"
#include "options/ReadOptions.h"
#include "support/IniFile.h"
#include "support/TextUtils.h"
#include "tools/PrinterSim.h"

namespace {

QString Today() { return QDate::currentDate().toString("ddMMyy"); }

class ReadCommandTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(fakeSys_.isValid());
    // No real serial ports of this machine in the list: only the ports folder counts.
    PortRoots roots;
    roots.sys = fakeSys_.path().toStdString();
    roots.dev = fakeSys_.path().toStdString();
    SetPortRootsForTesting(roots);
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
    SetPortRootsForTesting(PortRoots());
    AppTest::TearDown();
  }

  void StartSim(PrinterSimOptions options = {}) {
    options.LinkPath = PortLinkPathFor("COM1");
    sim_ = std::make_unique<PrinterSim>(options);
    sim_->Start();
  }

  // Presses Read and answers the options dialog with `choose` followed by OK.
  void PressRead(TfmReaderFM& w, std::function<void(TfmReadOptions*)> choose = {}) {
    WhenModal<TfmReadOptions>([choose](TfmReadOptions* d) {
      if (choose) choose(d);
      d->btnOK->click();
    });
    QTest::mouseClick(Child<QToolButton>(w, "SpeedButton1"), Qt::LeftButton);
  }

  std::unique_ptr<PrinterSim> sim_;
  QTemporaryDir fakeSys_;
};

QString ShownLine(const std::string& raw, bool& heading) {
  const std::string t = TrimBlanksAndControls(raw);
  heading = !t.empty() && t[0] == '^';
  std::string s = raw;
  if (heading) std::replace(s.begin(), s.end(), '^', ' ');
  return AnsiStringToWideString(CenterText(s, 42), 1250);
}

}  // namespace

TEST_F(ReadCommandTest, ReadFromTheButtonFillsTheView) {
  StartSim();
  TfmReaderFM w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  PressRead(w);

  ASSERT_TRUE(Boxes().empty()) << Boxes()[0].text.toStdString();
  const std::string params = "D,1," + Today().toStdString() + "," + Today().toStdString();
  const SimReport expected = BuildSimReport(sim_->Options(), 94, params);
  ASSERT_FALSE(expected.Lines.empty());
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, expected.Lines);
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "ZHK 12345678");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName,
            "ZHK12345678_" + Today().toStdString() + "_" + Today().toStdString() + ".txt");
  // Kept at once, with the bytes Save As writes, and first in Recent Reports.
  const std::string kept = HistoryFolder() + "/" + TfmReaderFMPeer::Report(w).FileName;
  EXPECT_EQ(ReadWholeFile(QString::fromStdString(kept)).toStdString(), ReportFileBytes(expected.Lines));
  EXPECT_EQ(TIniFile_VT().ReadString("Recent", "File1", ""), kept);

  // Identification first, then the report command with the parameter text.
  const auto requests = sim_->Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].Cmd, 90);
  EXPECT_EQ(requests[0].Data, "#");
  EXPECT_EQ(requests.back().Cmd, 94);
  EXPECT_EQ(requests.back().Data, params);

  // The view: every line centred, headings bold with the markers blanked.
  const QTextDocument* doc = View(w)->document();
  ASSERT_EQ(doc->blockCount(), static_cast<int>(expected.Lines.size()));
  int headings = 0;
  QTextBlock b = doc->begin();
  for (const std::string& raw : expected.Lines) {
    bool heading = false;
    EXPECT_EQ(b.text(), ShownLine(raw, heading));
    const bool bold = b.begin().fragment().charFormat().fontWeight() >= QFont::Bold;
    EXPECT_EQ(bold, heading) << b.text().toStdString();
    headings += heading;
    b = b.next();
  }
  EXPECT_GE(headings, 2);
  EXPECT_TRUE(doc->begin().text().contains(QChar(0x0118)));  // E ogonek from code page 1250

  // The confirmed port and speed are in the settings file.
  TIniFile ini(SettingsPath());
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", ""), "COM1");
  EXPECT_EQ(ini.ReadInteger("Settings", "BaudRate", 0), 38400);
}

TEST_F(ReadCommandTest, ReportNumberRangeAndSummary) {
  StartSim();
  TfmReaderFM w;
  w.show();
  PressRead(w, [](TfmReadOptions* d) {
    d->rbByRptNumber->click();
    d->eFromNum->setText("7");
    d->eToNum->setText("12");
    d->rbSummary->click();
  });
  ASSERT_TRUE(Boxes().empty());
  EXPECT_EQ(sim_->Requests().back().Cmd, 95);
  EXPECT_EQ(sim_->Requests().back().Data, "S,1,7,12");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName, "ZHK12345678_0007_0012.txt");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, BuildSimReport(sim_->Options(), 95, "S,1,7,12").Lines);
}

TEST_F(ReadCommandTest, IncorrectPeriodAndRangeStopBeforeAnyRead) {
  StartSim();
  TfmReaderFM w;
  w.show();
  TfmReaderFMPeer::Report(w).Lines = {"previous"};
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  PressRead(w, [](TfmReadOptions* d) {
    d->frmConfigComServer1->SetSpeed(9600);
    d->dtpFrom->setDate(QDate::currentDate());
    d->dtpTo->setDate(QDate::currentDate().addDays(-1));
  });
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Incorrect period!");
  EXPECT_EQ(boxes[0].kind, 1);
  EXPECT_EQ(boxes[0].caption, ApplicationTitle());
  EXPECT_EQ(sim_->RequestCount(), 0u);
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, TStringList{"previous"});
  // The settings were written before the check.
  EXPECT_EQ(TIniFile(SettingsPath()).ReadInteger("Settings", "BaudRate", 0), 9600);
  EXPECT_EQ(TfmReaderFMPeer::Baud(w), 9600);

  PressRead(w, [](TfmReadOptions* d) {
    d->rbByRptNumber->click();
    d->eFromNum->setText("1831");
    d->eToNum->setText("120");
  });
  boxes = Boxes();
  // The dialog's own warning for 1831 may come first; the Read command's error comes last.
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes.back().text, "Incorrect range!");
  EXPECT_EQ(sim_->RequestCount(), 0u);
  EXPECT_EQ(View(w)->document()->blockCount(), 1);
}

TEST_F(ReadCommandTest, CancelledOptionsChangeNothing) {
  StartSim();
  TfmReaderFM w;
  w.show();
  WhenModal<TfmReadOptions>([](TfmReadOptions* d) {
    d->frmConfigComServer1->SetSpeed(9600);
    d->btnCancel->click();
  });
  Child<QAction>(w, "acRead")->trigger();
  EXPECT_EQ(TfmReaderFMPeer::Baud(w), 38400);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(SettingsPath())));
  EXPECT_EQ(sim_->RequestCount(), 0u);
}

TEST_F(ReadCommandTest, FailedReadKeepsTheWholePreviousReport) {
  // COM1 leads to something that is no serial line: the port cannot be configured.
  const std::string link = PortLinkPathFor("COM1");
  ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
  TfmReaderFM w;
  w.show();
  TfmReaderFMPeer::Report(w).Lines = {"^OLD", "report"};
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  TfmReaderFMPeer::Report(w).Stem = "OLD STEM";
  TfmReaderFMPeer::Report(w).FileName = "OLDSTEM_.txt";
  PressRead(w);
  unlink(link.c_str());

  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, 1);
  EXPECT_FALSE(boxes[0].text.isEmpty());
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, (TStringList{"^OLD", "report"}));
  EXPECT_EQ(View(w)->document()->blockCount(), 2);
  EXPECT_TRUE(View(w)->document()->begin().text().contains("OLD"));
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "OLD STEM");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName, "OLDSTEM_.txt");

  // Save As still saves the report the view shows.
  int chooser = 0;
  w.SaveFileChooser = [&](const QString&) {
    ++chooser;
    return QString();
  };
  Child<QAction>(w, "acSaveAs")->trigger();
  EXPECT_EQ(chooser, 1);
}

// Records what the progress window shows once its status line is set.
struct ProgressSeen {
  QString caption, label, button, status;
};
// The returned watcher must not outlive `seen`: delete it when the read is over.
QPointer<QTimer> WatchProgress(ProgressSeen& seen, std::function<void(TSmallProgressForm*)> then = {}) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, &seen, then] {
    auto* form = qobject_cast<TSmallProgressForm*>(QApplication::activeModalWidget());
    if (!form || form->eStat->text().isEmpty()) return;
    timer->stop();
    timer->deleteLater();
    seen = {form->windowTitle(), form->lblStatus->text(), form->btnCancel->text(), form->eStat->text()};
    if (then) then(form);
  });
  timer->start();
  return timer;
}

TEST_F(ReadCommandTest, SilentPrinterShowsNoAnswerOnceAndTheReadEnds) {
  WriteStringsIni(
      "[fmReaderFM]\n"
      "Read=Lesen\n"
      "ProgressText=Bitte warten...\n"
      "lblStatus=Zustand:\n"
      "btnCancel=Abbrechen\n"
      "DnR=Keine Antwort!\n");
  PrinterSimOptions o;
  o.Silent = true;
  StartSim(o);
  TfmReaderFM w;
  w.show();
  TfmReaderFMPeer::Report(w).Lines = {"previous"};
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  ProgressSeen seen;
  QPointer<QTimer> watcher = WatchProgress(seen);
  PressRead(w);
  delete watcher;

  // The progress window carries the main window's texts.
  EXPECT_EQ(seen.caption, "Lesen");
  EXPECT_EQ(seen.label, "Zustand:");
  EXPECT_EQ(seen.button, "Abbrechen");
  EXPECT_EQ(seen.status, "Bitte warten...");
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Keine Antwort!");
  EXPECT_EQ(boxes[0].kind, 1);
  EXPECT_EQ(boxes[0].caption, ApplicationTitle());
  EXPECT_TRUE(boxes[0].onUiThread);  // shown by the window once the progress window has gone
  // The read ended normally with nothing: the view is emptied, the name has an empty stem.
  EXPECT_TRUE(TfmReaderFMPeer::Report(w).Lines.empty());
  EXPECT_FALSE(View(w)->HasLines());
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName,
            "_" + Today().toStdString() + "_" + Today().toStdString() + ".txt");
  // The report command was never sent.
  for (const auto& r : sim_->Requests()) EXPECT_EQ(r.Cmd, 90);
}

TEST_F(ReadCommandTest, StemFromTheDeviceCannotLeaveTheFolder) {
  PrinterSimOptions o;
  o.Stem = "../../tmp/evil name";
  StartSim(o);
  TfmReaderFM w;
  w.show();
  PressRead(w, [](TfmReadOptions* d) {
    d->rbByMonth->click();
    d->cbMonth->setCurrentIndex(2);
    d->eYear->setText("24");
  });
  ASSERT_TRUE(Boxes().empty());
  EXPECT_EQ(sim_->Requests().back().Data, "D,1,0324");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "../../tmp/evil name");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName, ".._.._tmp_evilname_.txt");
}

TEST_F(ReadCommandTest, CancelKeepsThePreviousReportAndTheNextReadIsWhole) {
  PrinterSimOptions o;
  o.KeepStreamBaud = 19200;  // the printer goes on with a cancelled report
  o.ReportLines = 40;
  StartSim(o);
  TfmReaderFM w;
  w.show();
  TfmReaderFMPeer::Report(w).Lines = {"^OLD", "report"};
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  TfmReaderFMPeer::Report(w).Stem = "OLD STEM";
  TfmReaderFMPeer::Report(w).FileName = "OLDSTEM_.txt";
  // Cancel once the live count shows that the report streams.
  QTimer watcher;
  QString counted;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* form = qobject_cast<TSmallProgressForm*>(QApplication::activeModalWidget());
    if (!form || !form->eStat->text().startsWith("Received ")) return;
    counted = form->eStat->text();
    watcher.stop();
    form->btnCancel->click();
  });
  watcher.start(5);
  PressRead(w);
  EXPECT_TRUE(counted.contains(" lines, ")) << counted.toStdString();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, (TStringList{"^OLD", "report"}));
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "OLD STEM");
  EXPECT_EQ(TfmReaderFMPeer::Report(w).FileName, "OLDSTEM_.txt");
  EXPECT_EQ(View(w)->document()->blockCount(), 2);

  // The next read discards the rest of the cancelled report and gets the whole new one.
  PressRead(w);
  const std::string params = "D,1," + Today().toStdString() + "," + Today().toStdString();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines, BuildSimReport(sim_->Options(), 94, params).Lines);
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Stem, "ZHK 12345678");
}
