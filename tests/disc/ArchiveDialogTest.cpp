// The Archive window, offscreen, over an image file with one intact and one damaged report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "disc/ArchiveDialog.h"
#include "support/MessageBox.h"
#include "tests/disc/DiscTestSupport.h"
#include "tests/support/WindowFit.h"

using namespace disctest;

namespace {

void WaitWhileReading(const TfmArchive& w) {
  QElapsedTimer clock;
  clock.start();
  while (w.Reading() && clock.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_FALSE(w.Reading());
}

QStringList Column(const TfmArchive& w, int column) {
  QStringList cells;
  for (int r = 0; r < w.tblReports->rowCount(); ++r) cells << w.tblReports->item(r, column)->text();
  return cells;
}

TEST(ArchiveWindow, ListsChecksAndOpensOnlyAnIntactReport) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("archive.iso"));
  const QByteArray good = QByteArray("GOOD\r\n").repeated(500), bad = QByteArray("BAD!\r\n").repeated(50000);
  WriteFile(tmp.filePath(QStringLiteral("one/ZHK_0001.txt")), good);
  BurnToImage(image, tmp.filePath(QStringLiteral("one")));
  WriteFile(tmp.filePath(QStringLiteral("two/ZHK_0002.txt")), bad);
  BurnToImage(image, tmp.filePath(QStringLiteral("two")));
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(f.readAll().indexOf("BAD!") + 1000);
  f.write("?");
  f.close();
  UseImageRecorders({image.toStdString()});
  std::vector<QString> boxes;
  SetMessageBoxObserverForTesting([&](const MessageBoxRequest& r) {
    boxes.push_back(r.text);
    return IDOK;
  });

  TfmArchive w;
  w.show();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Archive"));
  EXPECT_EQ(w.cbSource->itemText(1), QStringLiteral("Image file\u2026"));
  WaitWhileReading(w);
  EXPECT_EQ(FitProblems(&w), "");
  EXPECT_EQ(Column(w, 0), (QStringList{"1", "2"}));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$"))
                  .match(Column(w, 1)[0])
                  .hasMatch());
  EXPECT_EQ(Column(w, 2), (QStringList{"ZHK_0001.txt", "ZHK_0002.txt"}));
  EXPECT_EQ(Column(w, 3), (QStringList{"3000", "300000"}));
  EXPECT_EQ(Column(w, 4), (QStringList{"not checked", "not checked"}));
  EXPECT_EQ(w.lblSummary->text(), QStringLiteral("2 reports in 2 sessions."));

  w.btnCheck->click();
  EXPECT_EQ(w.btnCheck->text(), QStringLiteral("Cancel"));
  WaitWhileReading(w);
  EXPECT_EQ(Column(w, 4), (QStringList{"intact", "damaged"}));
  EXPECT_EQ(w.lblSummary->text(), QStringLiteral("1 of 2 reports are damaged or unreadable."));

  w.tblReports->selectRow(1);
  w.btnOpen->click();
  WaitWhileReading(w);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("The report ZHK_0002.txt of session 2 is damaged")))
      << boxes[0].toStdString();
  EXPECT_TRUE(w.isVisible());
  w.tblReports->selectRow(0);
  w.btnOpen->click();
  WaitWhileReading(w);
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(w.OpenedName, QStringLiteral("ZHK_0001.txt"));
  EXPECT_EQ(w.OpenedBytes, good.toStdString());

  // Closing while a check runs cancels it; the window goes once the job has ended.
  TfmArchive again;
  again.show();
  WaitWhileReading(again);
  again.btnCheck->click();
  again.close();
  EXPECT_TRUE(again.isVisible());
  WaitWhileReading(again);
  EXPECT_FALSE(again.isVisible());
  SetMessageBoxObserverForTesting({});
  RestoreService();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
