#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device/PortMap.h"
#include "options/ConfigComServer.h"
#include "options/PortDiscovery.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"
#include "support/MessageBox.h"
#include "tests/support/WindowFit.h"

namespace fs = std::filesystem;

namespace {

// A private port tree: the ports folder holds COMn links to plain files standing in for
// devices; no built-in UARTs, no USB adapters.
class FakePorts {
 public:
  explicit FakePorts(const std::vector<std::string>& names) {
    std::string base = fs::temp_directory_path().string() + "/vq-options-XXXXXX";
    root_ = ::mkdtemp(base.data()) ? base : std::string();
    fs::create_directories(root_ + "/sys");
    fs::create_directories(root_ + "/dev");
    fs::create_directories(root_ + "/ports");
    for (const std::string& n : names) {
      const std::string device = root_ + "/dev/fake-" + n;
      std::ofstream(device).put('x');
      fs::create_symlink(device, root_ + "/ports/" + n);
    }
    Use();
  }
  ~FakePorts() {
    SetPortRootsForTesting(PortRoots{});
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  void Use() const { SetPortRootsForTesting(PortRoots{root_ + "/sys", root_ + "/dev", root_ + "/ports"}); }
  // Makes the ports folder unreadable as a folder, so listing the ports fails.
  void BreakPortsFolder() const {
    fs::remove_all(root_ + "/ports");
    std::ofstream(root_ + "/ports").put('x');
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

class ReadOptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    SetApplicationTitle(QStringLiteral("Veltra QRM v1.0.0.1"));
    SetMessageBoxObserverForTesting([this](const MessageBoxRequest& r) {
      boxes.push_back(r.text);
      return IDOK;
    });
    TfmReadOptions::SetBeepHookForTesting([this]() { ++beeps; });
    // Strings.ini is looked for next to the program file: point that at a private folder.
    std::string base = fs::temp_directory_path().string() + "/vq-progdir-XXXXXX";
    progDir = ::mkdtemp(base.data()) ? base : std::string();
    SetProgramFilePathForTesting(progDir + "/veltra-qrm");
  }
  void TearDown() override {
    SetMessageBoxObserverForTesting({});
    TfmReadOptions::SetBeepHookForTesting({});
    SetProgramFilePathForTesting("");
    std::error_code ec;
    fs::remove_all(progDir, ec);
  }

  void WriteStringsIni(const std::string& content) { std::ofstream(progDir + "/Strings.ini") << content; }

  // Shows the dialog and makes it the active window so focus moves behave as for a user.
  std::unique_ptr<TfmReadOptions> ShownDialog() {
    auto dlg = std::make_unique<TfmReadOptions>();
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    return dlg;
  }

  static void Settle() { QTest::qWait(20); }

  FakePorts ports{{"COM1", "COM2", "COM3", "COM10"}};
  std::vector<QString> boxes;
  int beeps = 0;
  std::string progDir;
};

QStringList Items(const QComboBox* cb) {
  QStringList out;
  for (int i = 0; i < cb->count(); ++i) out << cb->itemText(i);
  return out;
}

TEST_F(ReadOptionsTest, FrameListsPortsAsTextAndSpeedsInTableOrder) {
  TfrmConfigComServer frame;
  EXPECT_EQ(Items(frame.cbComPort), (QStringList{"COM1", "COM10", "COM2", "COM3"}));
  EXPECT_EQ(Items(frame.cbSpeed), (QStringList{"1200", "2400", "4800", "9600", "14400", "19200", "28800",
                                               "38400", "57600", "115200"}));
  EXPECT_EQ(frame.cbComPort->currentIndex(), -1);
  EXPECT_EQ(frame.cbSpeed->currentIndex(), -1);
  EXPECT_EQ(frame.GetComPort(), "");
  EXPECT_EQ(frame.GetSpeed(), 0);
  EXPECT_EQ(frame.lblSpeed->text(), QStringLiteral("Speed:"));  // the frame's own design text
  EXPECT_EQ(frame.size(), QSize(220, 68));
}

TEST_F(ReadOptionsTest, FrameSelectionRules) {
  TfrmConfigComServer frame;
  frame.SetComPort("com3");
  EXPECT_EQ(frame.GetComPort(), "COM3");
  frame.SetComPort("COM7");  // a removed adapter stays chosen, marked
  EXPECT_EQ(frame.cbComPort->currentText(), QStringLiteral("COM7 (not present)"));
  EXPECT_EQ(frame.GetComPort(), "COM7");
  frame.SetComPort("/dev/null");  // a device path from the settings is shown as it is
  EXPECT_EQ(frame.cbComPort->currentText(), QStringLiteral("/dev/null"));
  EXPECT_EQ(frame.GetComPort(), "/dev/null");
  frame.SetComPort("COM1");
  EXPECT_EQ(frame.GetComPort(), "COM1");  // not COM10

  frame.SetSpeed(115200);
  EXPECT_EQ(frame.cbSpeed->currentIndex(), 9);
  EXPECT_EQ(frame.GetSpeed(), 115200);
  frame.SetSpeed(600);
  EXPECT_EQ(frame.cbSpeed->currentIndex(), -1);
  EXPECT_EQ(frame.GetSpeed(), 0);
  EXPECT_EQ(TfrmConfigComServer::SpeedIndex(1200), 0);
  EXPECT_EQ(TfrmConfigComServer::SpeedIndex(38400), 7);
  EXPECT_EQ(TfrmConfigComServer::SpeedIndex(0), -1);
}

TEST_F(ReadOptionsTest, NoPortsGivesEmptyList) {
  FakePorts none{{}};
  TfrmConfigComServer frame;
  EXPECT_EQ(frame.cbComPort->count(), 0);
  frame.SetComPort("COM1");
  EXPECT_EQ(frame.GetComPort(), "COM1");
  EXPECT_EQ(frame.cbComPort->count(), 1);
  ports.Use();
}

TEST_F(ReadOptionsTest, PortListingErrorLeavesConstructorAndNoDialogRemains) {
  ports.BreakPortsFolder();
  const int before = QApplication::topLevelWidgets().size();
  try {
    TfmReadOptions dlg;
    FAIL() << "dialog created despite the listing error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Exception in method \"Get_COM_EX\":", 0), 0u) << e.what();
  }
  EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
}

TEST_F(ReadOptionsTest, DefaultsWithoutStringsIni) {
  TfmReadOptions dlg;
  EXPECT_EQ(dlg.objectName(), QStringLiteral("fmReadOptions"));
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Options"));
  EXPECT_EQ(dlg.gbTypeReport->title(), QStringLiteral(" Type report "));
  EXPECT_EQ(dlg.gbSerialPort->title(), QStringLiteral(" Communication "));
  EXPECT_EQ(dlg.gbSearch->title(), QStringLiteral(" Search "));
  EXPECT_EQ(dlg.frmConfigComServer1->lblCOM->text(), QStringLiteral("COM:"));
  EXPECT_EQ(dlg.frmConfigComServer1->lblSpeed->text(), QStringLiteral("Baudrate:"));
  EXPECT_EQ(dlg.lblFromDate->text(), QStringLiteral("From date:"));
  EXPECT_EQ(dlg.lblToNumber->text(), QStringLiteral("To number:"));
  EXPECT_EQ(dlg.rbByRptNumber->text(), QStringLiteral("by report number:"));
  EXPECT_EQ(dlg.rbByMonth->text(), QStringLiteral("by month"));
  EXPECT_EQ(dlg.lblYear->text(), QStringLiteral("/20"));
  EXPECT_EQ(dlg.IncorrectReportNumberText, QStringLiteral("Incorrect report number!"));

  EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
  EXPECT_EQ(dlg.size(), QSize(615, 226));  // 623 by 264 with the window frame
  EXPECT_TRUE(dlg.btnOK->isDefault());
  EXPECT_EQ(dlg.eFromNum->maxLength(), 4);
  EXPECT_EQ(dlg.eToNum->maxLength(), 4);
  EXPECT_EQ(dlg.eYear->maxLength(), 2);
  EXPECT_EQ(QFontInfo(dlg.lblYear->font()).family(), QStringLiteral("Liberation Mono"));
  EXPECT_EQ(dlg.font().pixelSize(), 11);

  EXPECT_EQ(dlg.dtpFrom->displayFormat(), QStringLiteral("dd.MM.yyyy"));
  EXPECT_TRUE(dlg.dtpFrom->calendarPopup());
  EXPECT_TRUE(dlg.dtpTo->calendarPopup());
  EXPECT_EQ(dlg.GetFromDate(), QDate::currentDate());
  EXPECT_EQ(dlg.GetToDate(), QDate::currentDate());

  EXPECT_TRUE(dlg.rbByDate->isChecked());
  EXPECT_TRUE(dlg.rbDetailed->isChecked());
  EXPECT_EQ(dlg.GetSearchMode(), 0);
  EXPECT_EQ(dlg.GetReportType(), 0);
  EXPECT_EQ(dlg.GetFromNumber(), 1);
  EXPECT_EQ(dlg.GetToNumber(), 1);
  EXPECT_EQ(dlg.GetMonthYear(), "0112");
  EXPECT_EQ(Items(dlg.cbMonth).size(), 12);
  EXPECT_EQ(dlg.cbMonth->itemText(11), QStringLiteral("12"));
  EXPECT_TRUE(dlg.dtpFrom->isEnabled());
  EXPECT_FALSE(dlg.eFromNum->isEnabled());
  EXPECT_FALSE(dlg.cbMonth->isEnabled());
  EXPECT_TRUE(dlg.rbSummary->isEnabled());

  // Every key of the text table names a component of the dialog.
  for (const char* name :
       {"lblFromDate",  "lblToDate",  "lblFromNumber", "lblToNumber", "rbByDate",  "rbByRptNumber",
        "gbTypeReport", "rbDetailed", "rbSummary",     "btnOK",       "btnCancel", "gbSerialPort",
        "gbSearch",     "lblCOM",     "lblSpeed",      "rbByMonth",   "dtpFrom",   "dtpTo",
        "eFromNum",     "eToNum",     "cbMonth",       "eYear",       "lblYear",   "Panel1",
        "Panel2",       "cbComPort",  "cbSpeed"})
    EXPECT_NE(dlg.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(ReadOptionsTest, TabOrderFollowsTheDesign) {
  TfmReadOptions dlg;
  std::vector<QWidget*> expected = {dlg.btnOK,
                                    dlg.btnCancel,
                                    dlg.frmConfigComServer1->cbComPort,
                                    dlg.frmConfigComServer1->cbSpeed,
                                    dlg.rbByDate,
                                    dlg.rbByRptNumber,
                                    dlg.rbDetailed,
                                    dlg.rbSummary,
                                    dlg.dtpFrom,
                                    dlg.dtpTo,
                                    dlg.eFromNum,
                                    dlg.eToNum,
                                    dlg.rbByMonth,
                                    dlg.cbMonth,
                                    dlg.eYear};
  std::vector<QWidget*> chain;
  QWidget* w = dlg.btnOK;
  for (int guard = 0; guard < 200 && chain.size() < expected.size(); ++guard) {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  }
  EXPECT_EQ(chain, expected);
}

TEST_F(ReadOptionsTest, EnablingRulesOfTheSearchModes) {
  TfmReadOptions dlg;
  dlg.rbSummary->setChecked(true);
  dlg.rbByRptNumber->click();
  EXPECT_EQ(dlg.GetSearchMode(), 1);
  EXPECT_TRUE(dlg.eFromNum->isEnabled());
  EXPECT_TRUE(dlg.lblToNumber->isEnabled());
  EXPECT_FALSE(dlg.dtpFrom->isEnabled());
  EXPECT_FALSE(dlg.lblToDate->isEnabled());
  EXPECT_FALSE(dlg.eYear->isEnabled());
  EXPECT_TRUE(dlg.rbSummary->isChecked());
  EXPECT_EQ(dlg.GetReportType(), 1);

  dlg.rbByMonth->click();
  EXPECT_EQ(dlg.GetSearchMode(), 2);
  EXPECT_TRUE(dlg.cbMonth->isEnabled());
  EXPECT_TRUE(dlg.eYear->isEnabled());
  EXPECT_TRUE(dlg.lblYear->isEnabled());
  EXPECT_FALSE(dlg.eToNum->isEnabled());
  EXPECT_FALSE(dlg.dtpTo->isEnabled());
  EXPECT_TRUE(dlg.rbDetailed->isChecked());  // a month report is always detailed
  EXPECT_FALSE(dlg.rbSummary->isEnabled());
  EXPECT_EQ(dlg.GetReportType(), 0);

  dlg.rbByDate->click();
  EXPECT_EQ(dlg.GetSearchMode(), 0);
  EXPECT_TRUE(dlg.rbSummary->isEnabled());
  EXPECT_TRUE(dlg.rbDetailed->isChecked());  // stays detailed
  EXPECT_TRUE(dlg.lblFromDate->isEnabled());
  EXPECT_FALSE(dlg.lblFromNumber->isEnabled());
  EXPECT_FALSE(dlg.cbMonth->isEnabled());
}

TEST_F(ReadOptionsTest, NumberFieldsTakeDigitsOnlyAndBeepOtherwise) {
  auto dlg = ShownDialog();
  dlg->rbByRptNumber->click();
  dlg->eFromNum->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(dlg->eFromNum, QStringLiteral("1a2"));
  EXPECT_EQ(dlg->eFromNum->text(), QStringLiteral("12"));
  EXPECT_EQ(beeps, 1);
  QTest::keyClick(dlg->eFromNum, Qt::Key_Backspace);
  EXPECT_EQ(dlg->eFromNum->text(), QStringLiteral("1"));
  QTest::keyClicks(dlg->eFromNum, QStringLiteral(" -+.99999"));
  EXPECT_EQ(dlg->eFromNum->text(), QStringLiteral("1999"));  // four characters at most
  EXPECT_EQ(beeps, 5);

  dlg->eToNum->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(dlg->eToNum, QStringLiteral("x7"));
  EXPECT_EQ(dlg->eToNum->text(), QStringLiteral("7"));
  EXPECT_EQ(beeps, 6);

  // Pasted text is filtered too.
  QApplication::clipboard()->setText(QStringLiteral("3b"));
  dlg->eToNum->paste();
  EXPECT_EQ(dlg->eToNum->text(), QStringLiteral("7"));
  EXPECT_GE(beeps, 7);
  QApplication::clipboard()->setText(QStringLiteral("12"));
  dlg->eToNum->paste();
  EXPECT_EQ(dlg->eToNum->text(), QStringLiteral("712"));

  // The year field takes digits only, two at most.
  dlg->rbByMonth->click();
  dlg->eYear->setFocus(Qt::TabFocusReason);
  dlg->eYear->clear();
  const int before = beeps;
  QTest::keyClicks(dlg->eYear, QStringLiteral("a2b45"));
  EXPECT_EQ(dlg->eYear->text(), QStringLiteral("24"));
  EXPECT_EQ(beeps, before + 2);
}

TEST_F(ReadOptionsTest, ReportNumberWarningsOnEnteringFromAndLeavingTo) {
  auto dlg = ShownDialog();
  dlg->rbByRptNumber->click();
  dlg->eToNum->setText(QStringLiteral("1830"));
  dlg->eToNum->setFocus(Qt::TabFocusReason);
  dlg->eFromNum->setFocus(Qt::BacktabFocusReason);  // leaving eToNum with 1830, entering an empty eFromNum
  Settle();
  EXPECT_TRUE(boxes.empty());

  dlg->eToNum->setText(QStringLiteral("1831"));
  dlg->eToNum->setFocus(Qt::TabFocusReason);
  Settle();
  EXPECT_TRUE(boxes.empty());  // entering eToNum does not check
  dlg->rbByMonth->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&]() { return !boxes.empty(); }, 2000));
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], QStringLiteral("Incorrect report number!"));
  EXPECT_EQ(dlg->eToNum->text(), QStringLiteral("1831"));  // kept
  EXPECT_EQ(dlg->GetToNumber(), 1831);

  boxes.clear();
  dlg->eFromNum->setFocus(Qt::TabFocusReason);
  dlg->eFromNum->setText(QStringLiteral("2000"));
  dlg->rbByRptNumber->setFocus(Qt::TabFocusReason);  // leaving eFromNum: no check
  Settle();
  EXPECT_TRUE(boxes.empty());
  dlg->eFromNum->setFocus(Qt::BacktabFocusReason);  // coming back: warns
  ASSERT_TRUE(QTest::qWaitFor([&]() { return !boxes.empty(); }, 2000));
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(dlg->eFromNum->text(), QStringLiteral("2000"));
  EXPECT_EQ(dlg->GetFromNumber(), 2000);
}

TEST_F(ReadOptionsTest, RealWarningBoxDoesNotComeBackWhenFocusReturns) {
  SetMessageBoxObserverForTesting({});
  int shown = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&]() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++shown;
      EXPECT_EQ(box->text(), QStringLiteral("Incorrect report number!"));
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      box->button(QMessageBox::Ok)->click();
    }
  });
  closer.start(20);
  auto dlg = ShownDialog();
  dlg->rbByRptNumber->click();
  dlg->eFromNum->setText(QStringLiteral("1999"));
  dlg->eFromNum->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&]() { return shown > 0; }, 3000));
  // The box took the focus away; when the dialog is active again the focus comes back
  // to the field, which is not the operator entering it anew.
  ASSERT_TRUE(QTest::qWaitFor(
      []() {
        return QApplication::activeModalWidget() == nullptr ||
               qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr;
      },
      3000));
  dlg->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  EXPECT_EQ(QApplication::focusWidget(), dlg->eFromNum);
  QTest::qWait(300);
  EXPECT_EQ(shown, 1);
}

TEST_F(ReadOptionsTest, OkLeavingToFieldAboveLimitWarnsThenCloses) {
  auto dlg = ShownDialog();
  dlg->rbByRptNumber->click();
  dlg->eToNum->setFocus(Qt::TabFocusReason);
  dlg->eToNum->setText(QStringLiteral("1900"));
  QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_FALSE(dlg->isVisible());
  Settle();
  EXPECT_EQ(boxes.size(), 1u);  // not shown a second time after closing
  EXPECT_EQ(dlg->GetToNumber(), 1900);
}

TEST_F(ReadOptionsTest, GettersAndSetters) {
  TfmReadOptions dlg;
  dlg.SetPortName("com10");
  dlg.SetBaud(19200);
  EXPECT_EQ(dlg.GetPortName(), "COM10");
  EXPECT_EQ(dlg.GetBaud(), 19200);
  dlg.SetBaud(600);
  EXPECT_EQ(dlg.GetBaud(), 0);

  dlg.eFromNum->setText(QStringLiteral("0042"));
  EXPECT_EQ(dlg.GetFromNumber(), 42);
  dlg.eToNum->setText(QStringLiteral("9999"));
  EXPECT_EQ(dlg.GetToNumber(), 9999);

  dlg.rbByMonth->click();
  dlg.cbMonth->setCurrentIndex(2);
  EXPECT_EQ(dlg.GetMonthYear(), "0312");
  dlg.eYear->clear();
  EXPECT_EQ(dlg.GetMonthYear(), "03");
  dlg.eYear->setText(QStringLiteral("x"));
  EXPECT_EQ(dlg.GetMonthYear(), "03x");  // no check of either part

  dlg.dtpFrom->setDate(QDate(2024, 2, 28));
  EXPECT_EQ(dlg.GetFromDate(), QDate(2024, 2, 28));
  EXPECT_EQ(dlg.dtpFrom->text(), QStringLiteral("28.02.2024"));
}

TEST_F(ReadOptionsTest, StringsIniReplacesTextsAndGroupBoxesGetOneBlankEachSide) {
  WriteStringsIni("[fmReadOptions]\r\nCaption=Report options\r\ngbSearch=Find\r\nlblCOM=\r\n");
  {
    TfmReadOptions dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Report options"));
    EXPECT_EQ(dlg.gbSearch->title(), QStringLiteral(" Find "));
    EXPECT_EQ(dlg.frmConfigComServer1->lblCOM->text(), QString());
    EXPECT_EQ(dlg.lblFromDate->text(), QStringLiteral("From date:"));
    EXPECT_EQ(dlg.frmConfigComServer1->lblSpeed->text(), QStringLiteral("Baudrate:"));
    EXPECT_EQ(dlg.gbSerialPort->title(), QStringLiteral(" Communication "));
  }
  // Read anew for every dialog; the decoration is always added; the section name's case does not matter.
  WriteStringsIni("[FMREADOPTIONS]\ngbSearch=\" Search \"\ngbTypeReport=\nIncorrectReportNumber=Zu gross\n");
  auto dlg = ShownDialog();
  EXPECT_EQ(dlg->gbSearch->title(), QStringLiteral("  Search  "));
  EXPECT_EQ(dlg->gbTypeReport->title(), QStringLiteral("  "));
  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Options"));
  dlg->rbByRptNumber->click();
  dlg->eFromNum->setText(QStringLiteral("1831"));
  dlg->eFromNum->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&]() { return !boxes.empty(); }, 2000));
  EXPECT_EQ(boxes[0], QStringLiteral("Zu gross."));  // the error box's period rule
}

// Every control whole and apart, with the texts as designed and twice as long.
TEST_F(ReadOptionsTest, ControlsFitTheirTextsAlsoTwiceAsLong) {
  for (bool doubled : {false, true}) {
    WriteStringsIni(doubled ? DoubledTexts("fmReadOptions", {{"lblFromDate", "From date:"},
                                                             {"lblToDate", "To date:"},
                                                             {"lblFromNumber", "From number:"},
                                                             {"lblToNumber", "To number:"},
                                                             {"rbByDate", "by date:"},
                                                             {"rbByRptNumber", "by report number:"},
                                                             {"gbTypeReport", "Type report"},
                                                             {"rbDetailed", "Detailed"},
                                                             {"rbSummary", "Summary"},
                                                             {"btnOK", "OK"},
                                                             {"btnCancel", "Cancel"},
                                                             {"gbSerialPort", "Communication"},
                                                             {"gbSearch", "Search"},
                                                             {"lblCOM", "COM:"},
                                                             {"lblSpeed", "Baudrate:"},
                                                             {"rbByMonth", "by month"}})
                            : std::string());
    TfmReadOptions dlg;
    dlg.show();
    EXPECT_EQ(FitProblems(&dlg), "") << (doubled ? "doubled texts" : "design texts");
    EXPECT_GE(dlg.width(), 615);
    EXPECT_GE(dlg.height(), 226);
    // The buttons stay at the top right, the labels clear of their fields.
    EXPECT_EQ(dlg.btnOK->y(), 9);
    EXPECT_EQ(dlg.btnOK->geometry().right(), dlg.width() - 17);
    EXPECT_LT(dlg.lblFromNumber->geometry().right() + 4, dlg.eFromNum->x());
    EXPECT_LT(dlg.lblToDate->mapTo(&dlg, QPoint(0, 0)).x(), dlg.dtpTo->mapTo(&dlg, QPoint(0, 0)).x());
    EXPECT_GT(dlg.lblToDate->x(), dlg.dtpFrom->geometry().right() + 4);
    // The type radios sit inside their frame, below its caption.
    EXPECT_GT(dlg.rbDetailed->y(), dlg.gbTypeReport->fontMetrics().height());
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

namespace {
// Hot-plug events from a pipe instead of udev.
struct PipeEvents : PortEventSource {
  explicit PipeEvents(int fd) : fd_(fd) {}
  int Fd() const override { return fd_; }
  void Drain() override { (void)::read(fd_, buf_, sizeof buf_); }
  int fd_;
  char buf_[64];
};
}  // namespace

TEST_F(ReadOptionsTest, ListFollowsHotPlugKeepsTheChoiceAndDescribesAdapters) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  SetPortEventSourceFactoryForTesting([&] { return std::make_unique<PipeEvents>(fds[0]); });
  SetPortDescriberForTesting([](const std::string& dev) {
    return dev.find("fake-COM40") != std::string::npos ? std::string("Acme USB Serial") : std::string();
  });
  WriteStringsIni("[fmReadOptions]\nNotPresent=unplugged\n");
  {
    auto dlg = std::make_unique<TfmReadOptions>();
    TfrmConfigComServer& frame = *dlg->frmConfigComServer1;
    frame.SetComPort("COM40");
    EXPECT_EQ(frame.cbComPort->currentText(), QStringLiteral("COM40 (unplugged)"));

    // The adapter arrives: the marked line gives way to the described one, still chosen.
    const std::string device = ports.root() + "/dev/fake-COM40";
    std::ofstream(device).put('x');
    fs::create_symlink(device, ports.root() + "/ports/COM40");
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.GetComPort(), "COM40");
    EXPECT_EQ(frame.cbComPort->currentText(), QStringLiteral("COM40  ") + QString::fromStdString(device) +
                                                  QStringLiteral("  Acme USB Serial"));
    EXPECT_EQ(frame.cbComPort->count(), 5);

    // It goes again: still chosen, marked once more.
    fs::remove(ports.root() + "/ports/COM40");
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.cbComPort->currentText(), QStringLiteral("COM40 (unplugged)"));
    EXPECT_EQ(frame.cbComPort->count(), 5);
  }
  SetPortEventSourceFactoryForTesting({});
  SetPortDescriberForTesting({});
  ::close(fds[0]);
  ::close(fds[1]);
}
