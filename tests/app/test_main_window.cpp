// The main window as the operator meets it: start-up state, texts, settings, the report view,
// Save As and Print.
#include <QAction>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest/QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include "AppTestSupport.h"
#include "app/PrintReport.h"
#include "app/ProgramStart.h"
#include "app/ReaderFM.h"
#include "device/ReportCodec.h"
#include "tests/support/WindowFit.h"
#include "support/Exceptions.h"
#include "support/LogFile.h"
#include "support/TextUtils.h"
#include "support/VersionInfo.h"

namespace {

std::string BuiltProgram() {
  const char* dir = std::getenv("VQ_BUILD_DIR");
  return dir ? std::string(dir) + "/app/veltra-qrm" : std::string();
}

struct ViewLine {
  QString text;
  bool bold = false;
  QString family;
  qreal pointSize = 0;
};

std::vector<ViewLine> ViewLines(const TfmReaderFM& w) {
  std::vector<ViewLine> out;
  const QTextDocument* doc = View(w)->document();
  if (doc->isEmpty()) return out;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    ViewLine line;
    line.text = b.text();
    auto it = b.begin();
    if (!it.atEnd()) {
      const QTextCharFormat f = it.fragment().charFormat();
      line.bold = f.fontWeight() >= QFont::Bold;
      line.family = f.fontFamilies().toStringList().value(0);
      // The size the line is shown at: its own, or the view's that it takes.
      line.pointSize =
          f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : doc->defaultFont().pointSizeF();
    }
    out.push_back(line);
  }
  return out;
}

QString Blanks(int n) { return QString(n, QLatin1Char(' ')); }

bool HavePdfToText() { return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(); }

QStringList PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  p.waitForFinished(30000);
  QString text = QString::fromUtf8(p.readAllStandardOutput());
  text.remove(QLatin1Char('\f'));
  QStringList lines = text.split(QLatin1Char('\n'));
  while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
  return lines;
}

int PdfPages(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdfinfo"), {pdf});
  p.waitForFinished(30000);
  for (const QString& l : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')))
    if (l.startsWith(QLatin1String("Pages:"))) return l.mid(6).trimmed().toInt();
  return -1;
}

// A report the way the printer sends one: headings marked "^".
TStringList SampleReport(int n) {
  TStringList lines;
  for (int i = 1; i <= n; ++i)
    lines.push_back(i % 10 == 1 ? FormatText("^REPORT^%d", i) : FormatText("LINE %d", i));
  return lines;
}

}  // namespace

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, FirstStartShowsDefaults) {
  ASSERT_FALSE(BuiltProgram().empty());
  SetProgramFilePathForTesting(BuiltProgram());  // no Strings.ini beside the built program
  TfmReaderFM w;
  w.show();
  const std::string version = GetFileVersionText(BuiltProgram());
  EXPECT_NE(version, "v0.0.0.0");
  EXPECT_EQ(w.windowTitle().toStdString(), "Veltra Qormilesk " + version);
  EXPECT_EQ(ApplicationTitle().toStdString(), "Veltra QRM " + version);
  EXPECT_EQ(TfmReaderFMPeer::PortName(w), "COM1");
  EXPECT_EQ(TfmReaderFMPeer::Baud(w), 38400);
  EXPECT_TRUE(TfmReaderFMPeer::Report(w).Lines.empty());
  EXPECT_TRUE(TfmReaderFMPeer::Report(w).FileName.empty());
  EXPECT_TRUE(TfmReaderFMPeer::Report(w).Stem.empty());
  EXPECT_EQ(ShownCaption(Child<QMenu>(w, "mmFile")->title()), "File");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).Read, "Read");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).Progress, "Read of the fiscal memory. Please wait...");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).StatusLabel, "Status:");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).Cancel, "Cancel");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).NoAnswer, "Device not respond!");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).IncorrectPeriod, "Incorrect period!");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).IncorrectRange, "Incorrect range!");

  // Toolbar left to right: Read, Print, Burn, Save As, Exit; buttons 100 x 70, caption under
  // the picture, showing the "..." of Save As like the menu does.
  const std::vector<std::pair<QToolButton*, QString>> buttons = {
      {Child<QToolButton>(w, "SpeedButton1"), "Read"},
      {Child<QToolButton>(w, "SpeedButton3"), "Print"},
      {Child<QToolButton>(w, "SpeedButton4"), "Burn"},
      {Child<QToolButton>(w, "SpeedButton2"), "Save As..."},
      {Child<QToolButton>(w, "SpeedButton5"), "Exit"}};
  for (size_t i = 0; i < buttons.size(); ++i) {
    QToolButton* b = buttons[i].first;
    EXPECT_EQ(b->geometry(), QRect(static_cast<int>(i) * 100, 0, 100, 70)) << b->objectName().toStdString();
    EXPECT_EQ(b->text(), buttons[i].second);
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_TRUE(b->autoRaise());
    EXPECT_FALSE(b->icon().isNull());
  }
  EXPECT_EQ(Child<QFrame>(w, "Panel1")->height(), 70);

  // File menu: Read | Save As, Print | Burn | Exit, separators named N1..N3.
  QStringList items;
  for (QAction* a : Child<QMenu>(w, "mmFile")->actions())
    items << (a->isSeparator() ? a->objectName() : ShownCaption(a->text()));
  EXPECT_EQ(items, QStringList({"Read", "Open...", "Recent Reports", "N1", "Save As...", "Print",
                                "Print Preview...", "N2", "Burn", "Archive...", "N3", "Exit"}));
  EXPECT_EQ(w.size(), QSize(751, 570));                        // 759 by 608 with the window frame
  EXPECT_EQ(QFontInfo(w.font()).family(), "Liberation Sans");  // the design font is not installed here
  EXPECT_EQ(w.font().pixelSize(), 11);
  EXPECT_EQ(View(w)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(View(w)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(View(w)->isReadOnly());
}

TEST_F(MainWindowTest, ProgramFileWithoutVersionNoteGivesZeroVersion) {
  // The test program itself carries no version note.
  TfmReaderFM w;
  EXPECT_EQ(w.windowTitle(), "Veltra Qormilesk v0.0.0.0");
  EXPECT_EQ(ApplicationTitle(), "Veltra QRM v0.0.0.0");
  EXPECT_EQ(GetFileVersionText("/nonexistent/file"), "v0.0.0.0");
}

TEST_F(MainWindowTest, VersionNoteOfTheBuiltProgram) {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  ASSERT_TRUE(QueryFileVersion(BuiltProgram(), &major, &minor, &release, &build));
  EXPECT_EQ(GetFileVersionText(BuiltProgram()), VersionToText(major, minor, release, build));
  EXPECT_EQ(GetFileVersionText(BuiltProgram()), "v1.0.0.1");
}

TEST(ProgramStart, DesktopStartupIdSurvivesAndStandsLast) {
  // Qt takes the id to end the desktop's start feedback, and removes it while the font thread
  // reads the environment: it must still be there, with no variable behind it to be moved.
  setenv("DESKTOP_STARTUP_ID", "menu-start-1", 1);
  setenv("VQ_BEHIND_THE_ID", "1", 1);
  { TProgramStart start; }
  size_t n = 0;
  while (environ[n] != nullptr) ++n;
  ASSERT_GT(n, 0u);
  EXPECT_STREQ(environ[n - 1], "DESKTOP_STARTUP_ID=menu-start-1");
  unsetenv("DESKTOP_STARTUP_ID");
  unsetenv("VQ_BEHIND_THE_ID");
}

TEST_F(MainWindowTest, LogOpensOnceTheWindowIsOnScreen) {
  ASSERT_EQ(LogFileName(), "");
  TProgramStart start;
  TfmReaderFM w;
  w.show();
  start.AfterMainWindowShown(w);
  EXPECT_TRUE(QTest::qWaitFor([] { return !LogFileName().empty(); }, 5000));
  EXPECT_EQ(CloseLog(), kLogOk);
}

TEST_F(MainWindowTest, StringsIniRelabelsButtonAndMenuTogether) {
  WriteStringsIni(
      "[FMREADERFM]\n"
      "acread=Lesen\n"
      "acSaveAs=Speichern unter...\n"
      "acExit=\n"
      "mmFile=Datei\n"
      "DnR=Keine Antwort!\n"
      "IncorrectRange=Falscher Bereich!\n"
      "Caption=never used\n");
  TfmReaderFM w;
  EXPECT_EQ(ShownCaption(Child<QAction>(w, "acRead")->text()), "Lesen");
  EXPECT_EQ(Child<QToolButton>(w, "SpeedButton1")->text(), "Lesen");
  EXPECT_EQ(ShownCaption(Child<QMenu>(w, "mmFile")->actions().first()->text()), "Lesen");
  EXPECT_EQ(Child<QToolButton>(w, "SpeedButton2")->text(), "Speichern unter...");
  EXPECT_EQ(Child<QToolButton>(w, "SpeedButton5")->text(), "");  // a present empty key empties the caption
  EXPECT_EQ(ShownCaption(Child<QMenu>(w, "mmFile")->title()), "Datei");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).NoAnswer, "Keine Antwort!");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).IncorrectRange, "Falscher Bereich!");
  EXPECT_EQ(TfmReaderFMPeer::Texts(w).IncorrectPeriod, "Incorrect period!");
  EXPECT_EQ(Child<QToolButton>(w, "SpeedButton3")->text(), "Print");
  // The window caption does not come from Strings.ini.
  EXPECT_TRUE(w.windowTitle().startsWith("Veltra Qormilesk v"));
}

// The texts as designed, twice as long, and one far too long: every control stays whole and
// the File menu stays in the menu bar, with the whole text in the tooltip.
TEST_F(MainWindowTest, ControlsAndMenuFitTheirTexts) {
  const QByteArray huge(10 * 1024, 'W');
  for (const QByteArray& texts :
       {QByteArray(),
        QByteArray("[fmReaderFM]\nacRead=ReadRead\nacSaveAs=Save As...Save As...\nacPrint=PrintPrint\n"
                   "acBurn=BurnBurn\nacExit=ExitExit\nmmFile=FileFile\n"),
        "[fmReaderFM]\nacSaveAs=" + huge + "\nmmFile=" + huge + "\n"}) {
    WriteStringsIni(texts);
    TfmReaderFM w;
    w.show();
    EXPECT_EQ(FitProblems(&w), "") << texts.left(40).toStdString();
    EXPECT_EQ(w.size(), QSize(751, 570));
    const QRect file = Child<QMenuBar>(w, "MM")->actionGeometry(Child<QMenu>(w, "mmFile")->menuAction());
    EXPECT_TRUE(Child<QMenuBar>(w, "MM")->rect().contains(file));
    const auto* chevron =
        Child<QMenuBar>(w, "MM")->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
    EXPECT_TRUE(chevron == nullptr || !chevron->isVisible());
    EXPECT_LE(Child<QToolButton>(w, "SpeedButton5")->geometry().right(), w.width());
  }
  EXPECT_EQ(Child<QAction>(TfmReaderFM(), "acSaveAs")->toolTip().size(),
            2047);  // the whole text as far as it is read
}

TEST_F(MainWindowTest, SettingsAreLoadedAndExitWritesNothing) {
  {
    TfmReaderFM w;
    TfmReaderFMPeer::PortName(w) = "COM7";
    TfmReaderFMPeer::Baud(w) = 9600;
    TfmReaderFMPeer::SaveSettings(w);
  }
  {
    TfmReaderFM w;
    EXPECT_EQ(TfmReaderFMPeer::PortName(w), "COM7");
    EXPECT_EQ(TfmReaderFMPeer::Baud(w), 9600);
  }
  QFile::remove(QString::fromStdString(SettingsPath()));
  TfmReaderFM w;
  w.show();
  TfmReaderFMPeer::Report(w).Lines = SampleReport(5);
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  TfmReaderFMPeer::PortName(w) = "COM9";
  Child<QAction>(w, "acExit")->trigger();
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(SettingsPath())));
}

TEST_F(MainWindowTest, ReportViewCentresAndMarksHeadings) {
  TfmReaderFM w;
  View(w)->Fill({"0123456789", "0123456789A", std::string(50, 'x'), "  ^A^B^", "x^y", "", " \t ", "\xB9"});
  const auto lines = ViewLines(w);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].text, Blanks(16) + "0123456789" + Blanks(16));
  EXPECT_EQ(lines[1].text, Blanks(15) + "0123456789A" + Blanks(16));
  EXPECT_EQ(lines[2].text, QString(50, 'x'));
  // Heading after leading blanks: bold, every "^" turned into a blank, then centred.
  EXPECT_EQ(lines[3].text, CenterText("   A B ", 42).c_str());
  EXPECT_TRUE(lines[3].bold);
  // A "^" that is not the first visible character is just text.
  EXPECT_EQ(lines[4].text, CenterText("x^y", 42).c_str());
  EXPECT_FALSE(lines[4].bold);
  EXPECT_EQ(lines[5].text, Blanks(42));
  EXPECT_FALSE(lines[5].bold);
  EXPECT_EQ(lines[6].text.size(), 42);
  // The printer's bytes are shown in its code page.
  EXPECT_EQ(lines[7].text, Blanks(20) + QChar(0x0105) + Blanks(21));
  for (const auto& l : lines) {
    EXPECT_EQ(l.family, "Courier New");
    EXPECT_EQ(l.pointSize, 12);
  }
  // The fill is no edit the operator could undo.
  EXPECT_FALSE(View(w)->document()->isUndoAvailable());
  EXPECT_TRUE(View(w)->HasLines());

  // A new fill replaces the old report.
  View(w)->Fill({"one"});
  ASSERT_EQ(ViewLines(w).size(), 1u);
  View(w)->Fill({});
  EXPECT_FALSE(View(w)->HasLines());
}

TEST_F(MainWindowTest, ReportRequestFromTheOptions) {
  TfmReaderFM w;
  const QDate d5(2012, 3, 5), d20(2012, 3, 20);
  auto r = w.MakeReportRequest(0, 0, d5, d20, 1, 1, "");
  EXPECT_EQ(r.Command, 94);
  EXPECT_EQ(r.Params, "D,1,050312,200312");
  EXPECT_EQ(r.RangePart, "050312_200312");
  r = w.MakeReportRequest(0, 1, d5, d5, 1, 1, "");  // equal dates are a period
  EXPECT_EQ(r.Params, "S,1,050312,050312");
  try {
    w.MakeReportRequest(0, 0, d20, d5, 1, 1, "");
    FAIL() << "end before start accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Incorrect period!");
  }

  r = w.MakeReportRequest(1, 1, d5, d5, 7, 120, "");
  EXPECT_EQ(r.Command, 95);
  EXPECT_EQ(r.Params, "S,1,7,120");
  EXPECT_EQ(r.RangePart, "0007_0120");
  r = w.MakeReportRequest(1, 0, d5, d5, 1, 1, "");  // two empty fields read as 1
  EXPECT_EQ(r.Params, "D,1,1,1");
  EXPECT_EQ(r.RangePart, "0001_0001");
  r = w.MakeReportRequest(1, 0, d5, d5, 1831, 2000, "");  // above 1830 is the dialog's warning only
  EXPECT_EQ(r.Params, "D,1,1831,2000");
  EXPECT_EQ(r.RangePart, "1831_2000");
  EXPECT_THROW(w.MakeReportRequest(1, 0, d5, d5, 1831, 120, ""), Exception);

  r = w.MakeReportRequest(2, 0, d5, d5, 1, 1, "0312");
  EXPECT_EQ(r.Command, 94);
  EXPECT_EQ(r.Params, "D,1,0312");
  EXPECT_EQ(r.RangePart, "");
  r = w.MakeReportRequest(2, 0, d5, d5, 1, 1, "03");
  EXPECT_EQ(r.Params, "D,1,03");

  TfmReaderFMPeer::Texts(w).IncorrectRange = "Falscher Bereich!";
  try {
    w.MakeReportRequest(1, 0, d5, d5, 5, 4, "");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Falscher Bereich!");
  }
}

TEST_F(MainWindowTest, SaveAsWritesTheRawLinesWithCrLf) {
  QTemporaryDir dir;
  TfmReaderFM w;
  std::vector<QString> offered;
  QString answer = dir.filePath("report.txt");
  w.SaveFileChooser = [&](const QString& previous) {
    offered.push_back(previous);
    return answer;
  };

  Child<QAction>(w, "acSaveAs")->trigger();  // nothing to save: no dialog
  EXPECT_TRUE(offered.empty());

  TfmReaderFMPeer::Report(w).Lines = {"^HEAD^ING", "  caf\xE9 \xB9", "", "last"};
  Child<QAction>(w, "acSaveAs")->trigger();
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_EQ(offered[0], "");  // nothing proposed the first time
  EXPECT_EQ(ReadWholeFile(answer), QByteArray("^HEAD^ING\r\n  caf\xE9 \xB9\r\n\r\nlast\r\n"));

  // The next Save As offers the previous name and replaces the file without asking.
  TfmReaderFMPeer::Report(w).Lines = {"new"};
  Child<QAction>(w, "acSaveAs")->trigger();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[1], answer);
  EXPECT_EQ(ReadWholeFile(answer), QByteArray("new\r\n"));

  // Cancelled: nothing written.
  answer.clear();
  TfmReaderFMPeer::Report(w).Lines = {"ignored"};
  Child<QAction>(w, "acSaveAs")->trigger();
  EXPECT_EQ(ReadWholeFile(dir.filePath("report.txt")), QByteArray("new\r\n"));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(MainWindowTest, SaveAsKeepsAPrivateFileAndRefusesAReadOnlyOneWithABox) {
  QTemporaryDir dir;
  TfmReaderFM w;
  QString answer;
  w.SaveFileChooser = [&](const QString&) { return answer; };
  TfmReaderFMPeer::Report(w).Lines = {"new"};
  const struct {
    const char* name;
    QFile::Permissions mode;
    QByteArray after;
    size_t boxes;
  } cases[] = {{"private.txt", QFile::ReadOwner | QFile::WriteOwner, "new\r\n", 0},
               {"readonly.txt", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther, "old", 1}};
  for (const auto& c : cases) {
    answer = dir.filePath(QString::fromLatin1(c.name));
    QFile f(answer);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("old") == 3 && f.setPermissions(c.mode));
    f.close();
    Child<QAction>(w, "acSaveAs")->trigger();
    EXPECT_EQ(ReadWholeFile(answer), c.after) << c.name;
    EXPECT_EQ(QFile::permissions(answer) & 0x7077, c.mode) << c.name;  // owner, group, other
    EXPECT_EQ(Boxes().size(), c.boxes) << c.name;
  }
  ASSERT_FALSE(Boxes().empty());
  EXPECT_TRUE(Boxes().back().text.contains(dir.filePath("readonly.txt")));
}

TEST_F(MainWindowTest, SaveAsDialogHasTheTextFilterAndNoOverwriteQuestion) {
  QTemporaryDir dir;
  TfmReaderFM w;
  TfmReaderFMPeer::Report(w).Lines = {"a", "b"};
  const QString existing = dir.filePath("old.txt");
  QFile f(existing);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("previous content");
  f.close();

  QString proposed = "unset";
  WhenModal<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->objectName(), "SaveDialog1");
    EXPECT_EQ(d->nameFilters(), QStringList("Text file (*.txt)"));
    EXPECT_EQ(d->defaultSuffix(), "txt");
    EXPECT_TRUE(d->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
    // Typed as the operator would; the default suffix completes the name.
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(dir.filePath(QStringLiteral("old")));
    static_cast<QDialog*>(d)->accept();  // through QDialog: QFileDialog hides it
    if (d->isVisible()) {
      ADD_FAILURE() << "the dialog refused the name " << d->selectedFiles().join(",").toStdString() << " dir "
                    << d->directory().path().toStdString();
      d->reject();
    }
  });
  Child<QAction>(w, "acSaveAs")->trigger();
  EXPECT_EQ(ReadWholeFile(existing), QByteArray("a\r\nb\r\n"));
  EXPECT_EQ(w.LastSaveFileName(), existing);

  WhenModal<QFileDialog>([&](QFileDialog* d) {
    proposed = d->selectedFiles().value(0);
    d->reject();
  });
  Child<QAction>(w, "acSaveAs")->trigger();
  EXPECT_EQ(proposed, existing);
}

TEST_F(MainWindowTest, SaveAsFailureKeepsTheOldFileAndShowsTheError) {
  QTemporaryDir dir;
  TfmReaderFM w;
  const QString target = dir.filePath("report.txt");
  TfmReaderFMPeer::Report(w).Lines = {"old"};
  w.SaveFileChooser = [&](const QString&) { return target; };
  Child<QAction>(w, "acSaveAs")->trigger();
  ASSERT_EQ(ReadWholeFile(target), QByteArray("old\r\n"));

  // A disk that fills up half-way: the file-size limit makes the write fail like ENOSPC would.
  TfmReaderFMPeer::Report(w).Lines.assign(5000, std::string(60, 'n'));
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Child<QAction>(w, "acSaveAs")->trigger();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(ReadWholeFile(target), QByteArray("old\r\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "temporary file left";
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains(target)) << boxes[0].text.toStdString();
  EXPECT_TRUE(boxes[0].text.contains("File too large")) << boxes[0].text.toStdString();
  EXPECT_EQ(boxes[0].kind, 1);
  EXPECT_EQ(TfmReaderFMPeer::Report(w).Lines.size(), 5000u);

  // A folder that does not exist.
  w.SaveFileChooser = [&](const QString&) { return dir.filePath("missing/report.txt"); };
  Child<QAction>(w, "acSaveAs")->trigger();
  boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].text.contains("No such file or directory")) << boxes[1].text.toStdString();
}

TEST(ReportFile, SafeStemKeepsTheNameInsideOneFolder) {
  EXPECT_EQ(SafeFileNameStem("ZHK 12345678"), "ZHK12345678");
  EXPECT_EQ(SafeFileNameStem("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(SafeFileNameStem("a\\b"), "a_b");
  EXPECT_EQ(SafeFileNameStem(std::string("a\0b\t\x7f"
                                         "c",
                                         6)),
            "a_b__c");
  EXPECT_EQ(SafeFileNameStem("."), "_");
  EXPECT_EQ(SafeFileNameStem(" . . "), "_");
  EXPECT_EQ(SafeFileNameStem("..."), "...");
  EXPECT_EQ(SafeFileNameStem("\xB9\xE9-x"), "\xB9\xE9-x");
  EXPECT_EQ(SafeFileNameStem(""), "");

  EXPECT_EQ(MakeReportFileName("ZHK 12345678", "050312_200312"), "ZHK12345678_050312_200312.txt");
  EXPECT_EQ(MakeReportFileName("", "0001_0001"), "_0001_0001.txt");
  EXPECT_EQ(MakeReportFileName("AB 12", ""), "AB12_.txt");
  EXPECT_EQ(MakeReportFileName("x/../../y", ""), "x_.._.._y_.txt");
}

TEST(ReportFile, WriteReplacesWholeAndHonoursUmask) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("r.txt").toStdString();
  WriteReportFile(path, {});
  EXPECT_EQ(ReadWholeFile(QString::fromStdString(path)), QByteArray());
  WriteReportFile(path, {"x", "y"});
  EXPECT_EQ(ReadWholeFile(QString::fromStdString(path)), QByteArray("x\r\ny\r\n"));
  const mode_t mask = umask(022);
  WriteReportFile(path, {"z"});
  umask(mask);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_THROW(WriteReportFile("", {"x"}), Exception);
}

TEST_F(MainWindowTest, PrintTwoColumnsIntoPdf) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext not installed";
  QTemporaryDir dir;
  TfmReaderFM w;
  const QString pdf = dir.filePath("out.pdf");
  int dialogs = 0;
  w.PrintChooser = [&](QPrinter& p) {
    ++dialogs;
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return true;
  };

  Child<QAction>(w, "acPrint")->trigger();  // empty view: nothing at all
  EXPECT_EQ(dialogs, 0);

  TStringList report;
  for (int i = 1; i <= 100; ++i) report.push_back(FormatText("^L%03d", i));
  TfmReaderFMPeer::Report(w).Lines = report;
  View(w)->Fill(report);
  Child<QAction>(w, "acPrint")->trigger();
  ASSERT_EQ(dialogs, 1);
  const QStringList text = PdfText(pdf);
  ASSERT_EQ(text.size(), 74);  // rows 1-26 with two columns, 27-74 with the left one only
  // The raw lines are printed: "^" included.
  EXPECT_TRUE(text[0].contains("^L001")) << text[0].toStdString();
  EXPECT_TRUE(text[0].contains("^L075")) << text[0].toStdString();
  EXPECT_TRUE(text[25].contains("^L026") && text[25].contains("^L100"));
  EXPECT_TRUE(text[26].contains("^L027"));
  EXPECT_EQ(text[26].count("^L"), 1);
  EXPECT_TRUE(text[73].contains("^L074"));
  EXPECT_EQ(PdfPages(pdf), 2);  // 74 rows of 10 pt do not fit one A4 page
  EXPECT_TRUE(Boxes().empty());

  // After a failed read the view keeps its lines while ReportLines is empty: the dialog still
  // opens and an empty job is sent.
  QFile::remove(pdf);
  TfmReaderFMPeer::Report(w).Lines.clear();
  Child<QAction>(w, "acPrint")->trigger();
  EXPECT_EQ(dialogs, 2);
  EXPECT_TRUE(QFile::exists(pdf));
  EXPECT_TRUE(PdfText(pdf).isEmpty());

  // Cancelled in the dialog: nothing printed.
  QFile::remove(pdf);
  w.PrintChooser = [&](QPrinter&) { return false; };
  Child<QAction>(w, "acPrint")->trigger();
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(MainWindowTest, PrintFailureIsShownAndTheJobClosed) {
  TfmReaderFM w;
  TfmReaderFMPeer::Report(w).Lines = {"a"};
  View(w)->Fill(TfmReaderFMPeer::Report(w).Lines);
  w.PrintChooser = [&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QStringLiteral("/nonexistent-folder/out.pdf"));
    return true;
  };
  Child<QAction>(w, "acPrint")->trigger();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, 1);
  EXPECT_FALSE(boxes[0].text.isEmpty());
}

TEST(PrintRows, PageBreaksAndOverWideRowsContinue) {
  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext not installed";
  QTemporaryDir dir;
  const QString pdf = dir.filePath("rows.pdf");
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  TStringList rows;
  for (int i = 0; i < 200; ++i) rows.push_back(FormatText("row %03d", i));
  std::string wide;
  for (int i = 0; i < 30; ++i) wide += FormatText("w%02d-aaaaa ", i);  // 300 characters
  rows.insert(rows.begin(), wide);
  const int pages = PrintRows(printer, rows);
  EXPECT_EQ(PdfPages(pdf), pages);
  EXPECT_GE(pages, 3);

  const QStringList text = PdfText(pdf);
  // The wide row is spread over several lines, none of it lost, before "row 000".
  const int first = static_cast<int>(text.indexOf(QRegularExpression("^\\s*row 000")));
  ASSERT_GT(first, 1);
  QString joined;
  for (int i = 0; i < first; ++i) joined += text[i];
  EXPECT_EQ(joined.remove(' '), QString::fromStdString(wide).remove(' '));
  EXPECT_TRUE(text.last().contains("row 199"));
  // Nothing but the rows: no headers, footers or page numbers.
  EXPECT_EQ(text.filter(QRegularExpression("\\S")).size(), 200 + first);
}

#include <QLineEdit>
#include <QPushButton>

#include "app/BurnAction.h"
#include "disc/BurnToCD.h"

TEST_F(MainWindowTest, BurnWorksOnTheViewAndTheReportLines) {
  SetRemoveTempFolderPauseForTesting([](int) {});
  TfmReaderFM w;
  const QDir appData(QString::fromStdString(GetLocalAppDataPath()));
  auto tempFolders = [&] { return appData.entryList({"VT_TEMP_*"}, QDir::Dirs).size(); };

  int dialogs = 0;
  QString copyName, volume;
  QByteArray copy;
  auto onDialog = [&] {
    WhenModal<TfmBurnToCD>([&](TfmBurnToCD* d) {
      ++dialogs;
      const QStringList files = QDir(d->SourceFolder).entryList(QDir::Files);
      copyName = files.value(0);
      copy = ReadWholeFile(d->SourceFolder + "/" + copyName);
      volume = d->eVolumeName->text();
      d->btnExit->click();
    });
  };

  // An empty view: nothing happens at all.
  TfmReaderFMPeer::Report(w).Lines = {"not shown"};
  Child<QAction>(w, "acBurn")->trigger();
  EXPECT_EQ(tempFolders(), 0);

  // The view's report after a failed read: an empty copy under the previous name.
  View(w)->Fill({"^OLD"});
  TfmReaderFMPeer::Report(w).Lines.clear();
  TfmReaderFMPeer::Report(w).Stem = "ab 12";
  TfmReaderFMPeer::Report(w).FileName = MakeReportFileName(TfmReaderFMPeer::Report(w).Stem, "0001_0002");
  onDialog();
  Child<QAction>(w, "acBurn")->trigger();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(copyName, "ab12_0001_0002.txt");
  EXPECT_EQ(copy, QByteArray());
  EXPECT_EQ(volume, "AB 12");
  EXPECT_EQ(tempFolders(), 0);  // cleaned up
  EXPECT_TRUE(Boxes().empty());
  SetRemoveTempFolderPauseForTesting({});
}

#include "app/ProgramModules.h"

// A module missing from the installation is an error the action shows, naming the file.
TEST(ProgramModules, AMissingModuleIsAnErrorNamingIt) {
  try {
    ProgramModuleEntry("no-such-module", "vq_no_such_entry");
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("/no-such-module.so"), std::string::npos) << e.what();
  }
}

// The controls are made with the window's font as the application font, which is put back.
TEST_F(MainWindowTest, TheApplicationFontIsPutBack) {
  const QFont before = QGuiApplication::font();
  TfmReaderFM w;
  EXPECT_EQ(QGuiApplication::font(), before);
  EXPECT_NE(w.font(), before);
  EXPECT_EQ(View(w)->document()->defaultFont(), w.font());
}
