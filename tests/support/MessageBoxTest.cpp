#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "support/Exceptions.h"
#include "support/MessageBox.h"

namespace {

class MessageBoxTest : public testing::Test {
 protected:
  void SetUp() override { SetApplicationTitle(QStringLiteral("Veltra QRM v1.2.3.4")); }
  void TearDown() override { SetMessageBoxObserverForTesting({}); }
};

// Waits for a real message box, lets the check look at it, then presses the button
// with the given role (or the first one).
void AnswerNextBox(std::function<void(QMessageBox*)> check, QMessageBox::StandardButton press) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, check, press]() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    check(box);
    QAbstractButton* b = box->button(press);
    if (b == nullptr) b = box->buttons().value(0);
    b->click();
  });
  timer->start(10);
}

TEST_F(MessageBoxTest, ErrorBoxTextAppendsPeriodOnlyAfterCharactersAbovePeriod) {
  EXPECT_EQ(ErrorBoxText(QStringLiteral("Incorrect period!")), QStringLiteral("Incorrect period!"));
  EXPECT_EQ(ErrorBoxText(QStringLiteral("Port busy")), QStringLiteral("Port busy."));
  EXPECT_EQ(ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
  EXPECT_EQ(ErrorBoxText(QStringLiteral("(see log)")), QStringLiteral("(see log)"));     // ')' is below '.'
  EXPECT_EQ(ErrorBoxText(QStringLiteral("path /dev/")), QStringLiteral("path /dev/."));  // '/' is above
  EXPECT_EQ(ErrorBoxText(QStringLiteral("code 5")), QStringLiteral("code 5."));
  EXPECT_EQ(ErrorBoxText(QStringLiteral("trailing ")), QStringLiteral("trailing "));
  EXPECT_EQ(ErrorBoxText(QString()), QString());
  EXPECT_EQ(ErrorBoxText(QString::fromUtf8("zażółć")), QString::fromUtf8("zażółć."));
}

TEST_F(MessageBoxTest, KindGivesIconAndStyleBitsAndEmptyCaptionGivesTitle) {
  std::vector<MessageBoxRequest> seen;
  SetMessageBoxObserverForTesting([&](const MessageBoxRequest& r) {
    seen.push_back(r);
    return IDOK;
  });
  for (uint8_t kind : {0, 1, 2, 3, 7}) ShowMessageBox(nullptr, QStringLiteral("t"), kind, 0, QString(), 0);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
  EXPECT_EQ(seen[0].style, 0x2030u);
  EXPECT_EQ(seen[1].icon, QMessageBox::Critical);
  EXPECT_EQ(seen[1].style, 0x2010u);
  EXPECT_EQ(seen[2].icon, QMessageBox::Information);
  EXPECT_EQ(seen[2].style, 0x2040u);
  EXPECT_EQ(seen[3].icon, QMessageBox::Question);
  EXPECT_EQ(seen[3].style, 0x2020u);
  EXPECT_EQ(seen[4].icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen[4].style, 0x2000u);
  for (const auto& r : seen) {
    EXPECT_EQ(r.caption, QStringLiteral("Veltra QRM v1.2.3.4"));
    EXPECT_TRUE(r.onUiThread);
  }

  seen.clear();
  EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("t"), 2, MB_YESNO, QStringLiteral("Own"), MB_DEFBUTTON2),
            IDOK);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, QStringLiteral("Own"));
  EXPECT_EQ(seen[0].style, 0x2000u | 0x40u | 0x4u | 0x100u);
}

TEST_F(MessageBoxTest, ErrorBoxIsCriticalWithTitleAndOk) {
  MessageBoxRequest got;
  SetMessageBoxObserverForTesting([&](const MessageBoxRequest& r) {
    got = r;
    return IDOK;
  });
  ShowErrorBox(Exception("Unable to write to /tmp/x"));
  EXPECT_EQ(got.text, QStringLiteral("Unable to write to /tmp/x."));
  EXPECT_EQ(got.caption, QStringLiteral("Veltra QRM v1.2.3.4"));
  EXPECT_EQ(got.icon, QMessageBox::Critical);
  EXPECT_EQ(got.style & MB_TYPEMASK, MB_OK);
}

TEST_F(MessageBoxTest, OffThreadCallRunsOnUiThreadAndReturnsAnswer) {
  QThread* uiThread = QThread::currentThread();
  std::atomic<bool> observerOnUi{false};
  SetMessageBoxObserverForTesting([&](const MessageBoxRequest& r) {
    observerOnUi = QThread::currentThread() == uiThread && !r.onUiThread;
    return IDNO;
  });
  std::atomic<int> answer{0};
  std::atomic<bool> finished{false};
  std::thread worker([&]() {
    answer = ShowMessageBox(nullptr, QStringLiteral("Device not respond!"), 1, MB_YESNO, QString(), 0);
    finished = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&]() { return finished.load(); }, 10000));
  worker.join();
  EXPECT_EQ(answer.load(), IDNO);
  EXPECT_TRUE(observerOnUi.load());
}

TEST_F(MessageBoxTest, RealBoxShowsTextIconCaptionAndMapsButtons) {
  bool checked = false;
  AnswerNextBox(
      [&](QMessageBox* box) {
        EXPECT_EQ(box->text(), QStringLiteral("Question?"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Veltra QRM v1.2.3.4"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->buttons().size(), 2);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        checked = true;
      },
      QMessageBox::No);
  EXPECT_EQ(ShowMessageBox(nullptr, QStringLiteral("Question?"), 3, MB_YESNO, QString(), MB_DEFBUTTON2),
            IDNO);
  EXPECT_TRUE(checked);

  checked = false;
  AnswerNextBox(
      [&](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);  // kind 7: no icon
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Mine"));
        checked = true;
      },
      QMessageBox::Cancel);
  EXPECT_EQ(
      ShowMessageBox(nullptr, QStringLiteral("<b>plain</b>"), 7, MB_OKCANCEL, QStringLiteral("Mine"), 0),
      IDCANCEL);
  EXPECT_TRUE(checked);
}

TEST_F(MessageBoxTest, RealErrorBoxFromWorkerThreadBlocksWorkerUntilClosed) {
  std::atomic<int> answer{0};
  std::atomic<bool> finished{false};
  QString shownText;
  AnswerNextBox(
      [&](QMessageBox* box) {
        shownText = box->text();
        EXPECT_FALSE(finished.load());  // the worker is still waiting for the operator
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
      },
      QMessageBox::Ok);
  std::thread worker([&]() {
    ShowErrorBox(QStringLiteral("No answer"));
    answer = IDOK;
    finished = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&]() { return finished.load(); }, 10000));
  worker.join();
  EXPECT_EQ(shownText, QStringLiteral("No answer."));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
