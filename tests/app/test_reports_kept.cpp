// Reports that stay: the history folder, report files opened again, Recent Reports, Find, Print
// Preview, and the keyboard.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrintPreviewWidget>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextBlock>
#include <QUrl>
#include <QtTest/QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "AppTestSupport.h"
#include "app/FindBar.h"
#include "app/ReportFiles.h"
#include "device/ReportCodec.h"
#include "support/IniFile.h"
#include "tests/support/WindowFit.h"

namespace {

using ReportsKept = AppTest;

TReport Made(const std::string& stem, TReportLines lines) {
  TReport r;
  r.Stem = stem;
  r.FileName = MakeReportFileName(stem, "0007_0012");
  r.Lines = std::move(lines);
  return r;
}

QStringList FolderFiles(const std::string& folder) {
  return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

TEST_F(ReportsKept, HistoryKeepsOnceNumbersOtherBytesAndNeverOverwrites) {
  const std::string folder = HistoryFolder();
  const TReport first = Made(
      "\xA3\xF3"
      "d\x9F",
      {"^RAPORT", "line \xB9"});  // Łódź in code page 1250
  const std::string a = KeepReport(first);
  EXPECT_EQ(a, folder +
                   "/\xC5\x81\xC3\xB3"
                   "d\xC5\xBA_0007_0012.txt");  // the name in UTF-8
  EXPECT_EQ(KeepReport(first), a);              // the same bytes are kept once
  EXPECT_EQ(ReadWholeFile(QString::fromStdString(a)), QByteArray("^RAPORT\r\nline \xB9\r\n"));
  const std::string b = KeepReport(Made(first.Stem, {"other"}));
  const std::string c = KeepReport(Made(first.Stem, {"third"}));
  EXPECT_EQ(b, folder +
                   "/\xC5\x81\xC3\xB3"
                   "d\xC5\xBA_0007_0012 (2).txt");
  EXPECT_EQ(c, folder +
                   "/\xC5\x81\xC3\xB3"
                   "d\xC5\xBA_0007_0012 (3).txt");
  EXPECT_EQ(ReadWholeFile(QString::fromStdString(a)), QByteArray("^RAPORT\r\nline \xB9\r\n"));
  EXPECT_EQ(FolderFiles(folder).size(), 3);  // the report files and nothing beside them
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A disk that fills up: nothing half-written is left, and the reason is named.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  try {
    KeepReport(Made("big", TReportLines{std::string(8000, 'x')}));
    ADD_FAILURE() << "kept past the limit";
  } catch (const EReportNotKept& e) {
    EXPECT_EQ(e.Folder, folder);
    EXPECT_EQ(e.Reason, "File too large");
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(FolderFiles(folder).size(), 3);
}

TEST_F(ReportsKept, LoadRefusesWhatIsNoReportAndTakesEveryLineEnd) {
  QTemporaryDir dir;
  const auto file = [&](const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path.toStdString();
  };
  for (const QByteArray& ends : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
    // One control byte a printer sent, in a report of over a hundred bytes.
    const QByteArray z(120, 'z');
    const TReport r =
        LoadReportFile(file("ZHK 1_0007_0120 (2).txt", "^A" + ends + "\x04x \xB9" + ends + ends + z));
    EXPECT_TRUE(r.Lines == TStringList({"^A", "\x04x \xB9", "", z.toStdString()}));
    EXPECT_EQ(r.FileName, "ZHK 1_0007_0120 (2).txt");
    EXPECT_EQ(r.Stem, "ZHK 1");
    EXPECT_EQ(r.RangePart, "0007_0120");
  }
  const std::string fifo = dir.filePath("fifo.txt").toStdString();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = file("big.txt", "");
  ASSERT_EQ(::truncate(big.c_str(), kMaxReportFileSize + 1), 0);
  const struct {
    std::string path;
    EReportFileRefused::TReason reason;
  } refused[] = {{file("bin.txt", QByteArray("\x01\x02 text text text text text text", 32)),
                  EReportFileRefused::NotText},
                 {file("nul.txt", QByteArray("text\0text", 9)), EReportFileRefused::NotText},
                 {big, EReportFileRefused::TooLarge},
                 {fifo, EReportFileRefused::NotAFile},  // and no wait for a writer
                 {dir.path().toStdString(), EReportFileRefused::NotAFile},
                 {dir.filePath("missing.txt").toStdString(), EReportFileRefused::Unreadable}};
  for (const auto& c : refused) {
    try {
      LoadReportFile(c.path);
      ADD_FAILURE() << c.path;
    } catch (const EReportFileRefused& e) {
      EXPECT_EQ(e.Reason, c.reason) << c.path;
    }
  }
  std::string stem, range;
  SplitReportFileName("AB_.txt", stem, range);  // a month's report
  EXPECT_EQ(stem + "|" + range, "AB|");
  SplitReportFileName("AB_050312_200312.txt", stem, range);
  EXPECT_EQ(stem + "|" + range, "AB|050312_200312");
}

TEST_F(ReportsKept, OpenRecentAndDropInTheWindow) {
  QTemporaryDir dir;
  const QString saved = dir.filePath("ZHK_0001_0002.txt"), other = dir.filePath("b.txt");
  WriteReportFile(QFile::encodeName(saved).toStdString(), {"^HEAD", "Za\xBF\xF3\xB3\xE6"});
  WriteReportFile(QFile::encodeName(other).toStdString(), {"other"});
  TfmReaderFM w;
  QString offered;
  w.OpenFileChooser = [&](const QString& folder) {
    offered = folder;
    return saved;
  };
  Child<QAction>(w, "acOpen")->trigger();
  EXPECT_EQ(offered.toStdString(), HistoryFolder());
  EXPECT_TRUE(w.Report().Lines == TStringList({"^HEAD", "Za\xBF\xF3\xB3\xE6"}));
  EXPECT_EQ(w.Report().FileName, "ZHK_0001_0002.txt");
  EXPECT_EQ(View(w)->document()->lastBlock().text().trimmed(), QString::fromUtf8("Zażółć"));
  EXPECT_EQ(View(w)->textCursor().position(), 0);

  // A refused file: one box naming it, and the report stays.
  const QString binary = dir.filePath("x.txt");
  QFile f(binary);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("\x01\x02\x03", 3) == 3);
  f.close();
  w.OpenReportFile(binary);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "The file " + binary + " cannot be opened: it is not a text file.");
  EXPECT_EQ(w.Report().FileName, "ZHK_0001_0002.txt");

  // Dropped: opens the same way and leads the Recent Reports.
  w.show();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(other)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &drop);
  EXPECT_TRUE(w.Report().Lines == TStringList({"other"}));
  auto* recent = Child<QMenu>(w, "mmRecent");
  emit recent->aboutToShow();
  ASSERT_EQ(recent->actions().size(), 2);
  EXPECT_EQ(recent->actions()[0]->text(), "b.txt");
  EXPECT_EQ(recent->actions()[1]->toolTip(), saved);

  // An entry whose file has gone is taken off the list, with a box.
  QFile::remove(saved);
  recent->actions()[1]->trigger();
  EXPECT_TRUE(w.Report().Lines == TStringList({"other"}));
  EXPECT_TRUE(Boxes().back().text.contains(saved));
  emit recent->aboutToShow();
  EXPECT_EQ(recent->actions().size(), 1);
}

TEST_F(ReportsKept, FindCountsWrapsAndTellsPolishLettersApart) {
  TfmReaderFM w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  w.ShowReport(Made("X", {"\xA3UK", "luk", "\xB3uk \xB3uk", "end"}));  // ŁUK, luk, łuk łuk
  QTest::keyClick(View(w), Qt::Key_F, Qt::ControlModifier);
  auto* field = Child<QLineEdit>(w, "eFind");
  auto* count = Child<QLabel>(w, "lblFindCount");
  ASSERT_TRUE(field->isVisible());
  field->insert(QString::fromUtf8("łuk"));  // typed
  EXPECT_EQ(count->text(), "1 of 3");       // Ł = ł, but ł is not l
  EXPECT_EQ(View(w)->textCursor().selectedText(), QString::fromUtf8("ŁUK"));
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* place;
  } steps[] = {{Qt::Key_Return, Qt::NoModifier, "2 of 3"},
               {Qt::Key_F3, Qt::NoModifier, "3 of 3"},
               {Qt::Key_Return, Qt::NoModifier, "1 of 3"},
               {Qt::Key_Return, Qt::ShiftModifier, "3 of 3"},
               {Qt::Key_F3, Qt::ShiftModifier, "2 of 3"}};
  for (const auto& s : steps) {
    QTest::keyClick(field, s.key, s.mods);
    EXPECT_EQ(count->text(), s.place) << s.key;
  }
  field->setText(QStringLiteral("nothing"));
  EXPECT_EQ(count->text(), "Not found");
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(field->isVisible());
}

TEST_F(ReportsKept, KeysShortcutLettersZoomAndPreview) {
  TfmReaderFM w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  const std::pair<const char*, QKeySequence> keys[] = {{"acRead", QKeySequence("Ctrl+R")},
                                                       {"acOpen", QKeySequence("Ctrl+O")},
                                                       {"acSaveAs", QKeySequence("Ctrl+S")},
                                                       {"acPrint", QKeySequence("Ctrl+P")},
                                                       {"acExit", QKeySequence("Ctrl+Q")}};
  for (const auto& [name, key] : keys) EXPECT_EQ(Child<QAction>(w, name)->shortcut(), key) << name;
  EXPECT_EQ(Child<QMenu>(w, "mmFile")->title(), "&File");
  QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Child<QMenu>(w, "mmFile")->isVisible(); }, 2000));
  Child<QMenu>(w, "mmFile")->close();

  QTest::keyClick(View(w), Qt::Key_Plus, Qt::ControlModifier);  // typed in the report view
  QTest::keyClick(View(w), Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_EQ(TIniFile_VT().ReadInteger("View", "Zoom", 0), 2);
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines.size(), 0u);
  TfmReaderFM again;
  again.ShowReport(Made("Z", {"a"}));
  EXPECT_EQ(View(again)->font().pointSize(), 14);

  // Print and Preview name the job after the report and show the same pages.
  again.ShowReport(Made("ZHK 1", TReportLines(TStringList(200, "line"))));
  QString docName;
  int printed = -1;
  again.PrintChooser = [&](QPrinter& p) {
    docName = p.docName();
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QDir::temp().filePath("vq-preview-test.pdf"));
    return true;
  };
  Child<QAction>(again, "acPrint")->trigger();
  EXPECT_EQ(docName, "ZHK1_0007_0012.txt");
  WhenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* d) {
    printed = d->findChild<QPrintPreviewWidget*>()->pageCount();
    d->reject();
  });
  Child<QAction>(again, "acPrintPreview")->trigger();
  EXPECT_EQ(printed, 2);  // 200 lines give 126 rows, two pages of at most 72
}

}  // namespace
