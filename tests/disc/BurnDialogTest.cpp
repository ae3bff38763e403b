// The burn dialog, offscreen: texts, recorder list, volume name, time line, burn, failures and cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "disc/BurnToCD.h"
#include "disc/DiscService.h"
#include "support/AppPaths.h"
#include "support/MessageBox.h"
#include "tests/support/WindowFit.h"
#include "tests/disc/DiscTestSupport.h"
#include "tests/disc/FakeDiscService.h"

using namespace disctest;

namespace {

// Collects the boxes the dialog would show and answers OK.
struct Boxes {
  std::vector<MessageBoxRequest> shown;
  std::function<void(const MessageBoxRequest&)> onShow;
  Boxes() {
    SetMessageBoxObserverForTesting([this](const MessageBoxRequest& r) {
      shown.push_back(r);
      if (onShow) onShow(r);
      return IDOK;
    });
  }
  ~Boxes() { SetMessageBoxObserverForTesting({}); }
};

// Lets the archive job run to its end, with the dialog's events handled meanwhile.
void WaitForBurn(const TfmBurnToCD& dlg) {
  QElapsedTimer clock;
  clock.start();
  while (dlg.Burning() && clock.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_FALSE(dlg.Burning());
}

TEST(BurnDialog, LayoutAndDefaultTexts) {
  FakeServiceScope fake;
  TfmBurnToCD dlg;
  dlg.show();
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Burn to CD/DVD"));
  // 469 by 273 with the window frame, or wider where the time line needs it.
  EXPECT_EQ(dlg.size(), dlg.minimumSize());
  EXPECT_GE(dlg.width(), 461);
  EXPECT_EQ(dlg.height(), 235);
  EXPECT_EQ(dlg.lblRecorder->text(), QStringLiteral("Recorder:"));
  EXPECT_EQ(dlg.chFinalize->text(), QStringLiteral("Finalize"));
  EXPECT_TRUE(dlg.chFinalize->isChecked());
  EXPECT_FALSE(dlg.btnCancel->isEnabled());
  EXPECT_TRUE(dlg.btnBurn->isEnabled());
  // The fields, the bar and the Exit button end at one right edge; Burn has a picture like Cancel.
  EXPECT_EQ(dlg.ProgressBar->x(), 16);
  EXPECT_EQ(dlg.btnBurn->x(), 16);
  EXPECT_EQ(dlg.cbRecorder->geometry().right(), dlg.ProgressBar->geometry().right());
  EXPECT_EQ(dlg.btnExit->geometry().right(), dlg.ProgressBar->geometry().right());
  EXPECT_EQ(dlg.ProgressBar->height(), 17);
  EXPECT_FALSE(dlg.btnBurn->icon().isNull());
  EXPECT_EQ(FitProblems(&dlg), "");
  EXPECT_EQ(dlg.DiscWrite->Recorder(), dlg.DiscRecorder);
  EXPECT_EQ(dlg.DiscImage->DiscWrite(), dlg.DiscWrite);
  EXPECT_EQ(dlg.DiscWrite->ClientName, QStringLiteral("Orvanel"));
  EXPECT_EQ(dlg.ActionText(waInitializingHardware), QStringLiteral("Intializing hardware"));
  EXPECT_EQ(dlg.ActionText(waVerifying), QStringLiteral("Verifying"));
  EXPECT_EQ(dlg.TimeLine(12, 300, 288),
            QStringLiteral("Elapsed time: 12 s   Estimated time: 300 s   Remaining time: 288 s"));
}

TEST(BurnDialog, TextsFromStringsIni) {
  FakeServiceScope fake;
  QTemporaryDir dir;
  WriteFile(
      dir.filePath(QStringLiteral("Strings.ini")),
      "[FMBURNTOCD]\nbtnBurn=Brenne\nSecond=sek\nElapsedTime=\nVerifyng=Pruefe\nImageFile=Bilddatei...\n");
  fake.state->recorders.push_back({ImageTargetAddress("/a.iso"), {}, "Image file", {}, {"/a.iso"}});
  SetProgramFilePathForTesting(dir.filePath(QStringLiteral("veltra-qrm")).toStdString());
  TfmBurnToCD dlg;
  SetProgramFilePathForTesting("");
  EXPECT_EQ(dlg.btnBurn->text(), QStringLiteral("Brenne"));
  EXPECT_EQ(dlg.btnExit->text(), QStringLiteral("Exit"));
  EXPECT_EQ(dlg.ActionText(waVerifying), QStringLiteral("Pruefe"));
  EXPECT_EQ(dlg.TimeLine(1, 2, 1), QStringLiteral(" 1 sek   Estimated time: 2 sek   Remaining time: 1 sek"));
  // An image file listed is named in the dialog's language too.
  EXPECT_EQ(dlg.cbRecorder->itemText(0), QStringLiteral("Bilddatei [/a.iso]"));
}

TEST(BurnDialog, TwiceAsLongTextsAndALongRecorderPathFit) {
  FakeServiceScope fake;
  QTemporaryDir dir;
  WriteFile(dir.filePath(QStringLiteral("Strings.ini")),
            QByteArray::fromStdString(DoubledTexts("fmBurnToCD", {{"lblRecorder", "Recorder:"},
                                                                  {"lblVolumeName", "Volume name:"},
                                                                  {"btnBurn", "Burn"},
                                                                  {"btnCancel", "Cancel"},
                                                                  {"btnExit", "Exit"},
                                                                  {"chFinalize", "Finalize"},
                                                                  {"ElapsedTime", "Elapsed time:"},
                                                                  {"EstimatedTime", "Estimated time:"},
                                                                  {"RemainingTime", "Remaining time:"}})));
  SetProgramFilePathForTesting(dir.filePath(QStringLiteral("veltra-qrm")).toStdString());
  TfmBurnToCD dlg;
  SetProgramFilePathForTesting("");
  const QString path = QStringLiteral("Image file [/home/operator/archive/") +
                       QString(300, QLatin1Char('x')) + QStringLiteral("/fiscal-memory.iso]");
  dlg.cbRecorder->addItem(path);
  dlg.cbRecorder->setCurrentIndex(dlg.cbRecorder->count() - 1);
  dlg.lblTime->setText(dlg.TimeLine(123, 567, 444));
  dlg.show();
  EXPECT_EQ(FitProblems(&dlg), "");
  EXPECT_LT(dlg.width(),
            dlg.cbRecorder->fontMetrics().horizontalAdvance(path) / 2);  // shortened, not widened
  EXPECT_EQ(dlg.cbRecorder->toolTip(), path);
}

TEST(BurnDialog, RecorderListWithFallbackEntry) {
  FakeServiceScope fake;
  FakeRecorderSpec a, b;
  a.id = "/dev/sr0";
  a.product = "DVD-RW AD-7200";
  a.paths = {"/media/a", "/mnt/b"};
  b.id = "/dev/sr1";
  b.failProduct = true;
  fake.state->recorders = {a, b};
  TfmBurnToCD dlg;
  ASSERT_EQ(dlg.cbRecorder->count(), 3);
  EXPECT_EQ(dlg.cbRecorder->itemText(0), QStringLiteral("DVD-RW AD-7200 [/media/a,/mnt/b]"));
  EXPECT_EQ(dlg.cbRecorder->itemText(1), QStringLiteral("Device 2"));
  EXPECT_EQ(dlg.cbRecorder->itemText(2), QStringLiteral("Image file\u2026"));
  EXPECT_EQ(dlg.cbRecorder->currentIndex(), 0);
}

TEST(BurnDialog, FailureInANoticeHandlerIsShown) {
  FakeServiceScope fake;
  Boxes boxes;
  TfmBurnToCD dlg;
  dlg.DiscRecorder->SetOnMediaRemoval([](QObject*, char) { throw Exception("handler failed"); });
  TDiscInternals::MediaMonitor(*dlg.DiscRecorder)->Dispatch("change", "/dev/sr0", true, true, false);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("handler failed."));
}

TEST(BurnDialog, VolumeNameShownWithOnlyLettersUpperCased) {
  FakeServiceScope fake;
  TfmBurnToCD dlg;
  dlg.SetVolumeName(QStringLiteral("zk 12ab-\u0105x"));
  EXPECT_EQ(dlg.eVolumeName->text(), QStringLiteral("ZK 12AB-\u0105X"));
  EXPECT_EQ(dlg.ProposedVolumeName(), QStringLiteral("zk 12ab-\u0105x"));
}

TEST(BurnDialog, NoRecorderFailsAndStaysOpen) {
  UseImageRecorders({});
  Boxes boxes;
  QTemporaryDir src;
  WriteFile(src.filePath(QStringLiteral("r.txt")), "x");
  TfmBurnToCD dlg;
  dlg.SetSourceFolder(src.path());
  dlg.show();
  EXPECT_EQ(dlg.cbRecorder->count(), 1);  // only the image file entry
  dlg.cbRecorder->setCurrentIndex(-1);
  dlg.btnBurn->click();
  WaitForBurn(dlg);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Recorder not available."));
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(dlg.btnBurn->isEnabled());
  EXPECT_FALSE(dlg.btnCancel->isEnabled());
  EXPECT_EQ(dlg.ProgressBar->value(), 0);
  EXPECT_EQ(dlg.lblStatus->text(), QStringLiteral("Preparing disc image"));
  RestoreService();
}

TEST(BurnDialog, BurnToImageFileShowsSuccessAndCloses) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("disc.iso"));
  UseImageRecorders({image.toStdString()});
  Boxes boxes;
  WriteFile(tmp.filePath(QStringLiteral("src/R_1.txt")), "report\r\n");
  TfmBurnToCD dlg;
  ASSERT_EQ(dlg.cbRecorder->count(), 2);
  EXPECT_EQ(dlg.cbRecorder->itemText(0), QStringLiteral("Image file [") + image + QStringLiteral("]"));
  dlg.SetSourceFolder(tmp.filePath(QStringLiteral("src")));
  dlg.SetVolumeName(QStringLiteral("zk0001"));
  dlg.eVolumeName->setText(QStringLiteral("Edited_1"));
  dlg.show();
  int barAtMessage = -1, barMax = 0;
  bool cancelEnabledAtMessage = true, exitEnabledAtMessage = false;
  boxes.onShow = [&](const MessageBoxRequest&) {
    barAtMessage = dlg.ProgressBar->value();
    barMax = dlg.ProgressBar->maximum();
    cancelEnabledAtMessage = dlg.btnCancel->isEnabled();
    exitEnabledAtMessage = dlg.btnExit->isEnabled();
  };
  dlg.btnBurn->click();
  WaitForBurn(dlg);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Operation completed successfully!"));
  EXPECT_EQ(barAtMessage, barMax);
  EXPECT_FALSE(cancelEnabledAtMessage);
  EXPECT_TRUE(exitEnabledAtMessage);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_FALSE(dlg.lblTime->text().isEmpty());
  QString volid;
  EXPECT_EQ(ListImageFiles(image, &volid), QStringList{QStringLiteral("/R_1.txt")});
  EXPECT_EQ(volid, QStringLiteral("EDITED_1"));
  RestoreService();
}

// One recorder whose write goes through initialising, three data steps and finalising.
static void OneRecorderWritingInSteps(FakeServiceScope& fake) {
  FakeRecorderSpec a;
  a.id = "/dev/sr0";
  a.product = "Drive";
  fake.state->recorders = {a};
  fake.state->progressActions = {waInitializingHardware, waWritingData, waWritingData, waWritingData,
                                 waFinalization};
  fake.state->holdUntilCancel = true;
}

TEST(BurnDialog, CancelDuringWritingReachesTheServiceOnce) {
  FakeServiceScope fake;
  OneRecorderWritingInSteps(fake);
  Boxes boxes;
  TfmBurnToCD dlg;
  dlg.SetSourceFolder(QStringLiteral("/nowhere"));
  dlg.show();
  dlg.btnBurnClick();
  dlg.btnCancel->click();
  dlg.btnCancel->click();
  WaitForBurn(dlg);
  EXPECT_EQ(fake.state->cancels, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Burn run canceled."));
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_TRUE(dlg.btnBurn->isEnabled());
  EXPECT_TRUE(dlg.cbRecorder->isEnabled());
  EXPECT_FALSE(dlg.btnCancel->isEnabled());
  EXPECT_EQ(dlg.ProgressBar->value(), 0);
  EXPECT_EQ(dlg.lblStatus->text(), QStringLiteral("Finalization"));
  EXPECT_EQ(dlg.lblTime->text(),
            QStringLiteral("Elapsed time: 12 s   Estimated time: 300 s   Remaining time: 288 s"));
  EXPECT_NE(fake.state->log.front().find(" Close=1 "), std::string::npos);  // Finalize ticked
  EXPECT_TRUE(fake.state->Logged("ReleaseDrive"));  // the failed write let go of the drive
}

TEST(BurnDialog, EscAndCloseBoxDuringWritingAskForCancelAndKeepTheDialog) {
  for (const bool viaEsc : {true, false}) {
    FakeServiceScope fake;
    OneRecorderWritingInSteps(fake);
    Boxes boxes;
    QWidget mainWindow;
    mainWindow.show();
    TfmBurnToCD dlg;
    dlg.SetSourceFolder(QStringLiteral("/nowhere"));
    dlg.setWindowModality(Qt::ApplicationModal);
    dlg.show();
    dlg.btnBurnClick();
    if (viaEsc) {
      QTest::keyClick(&dlg, Qt::Key_Escape);
    } else {
      dlg.close();
    }
    // The write is still under way: the dialog stays and keeps the main window blocked.
    EXPECT_TRUE(dlg.Burning());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), &dlg);
    WaitForBurn(dlg);
    EXPECT_EQ(fake.state->cancels, 1);
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Burn run canceled."));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
