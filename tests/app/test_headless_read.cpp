// veltra-qrm-read: its arguments, and the program itself against the printer simulator.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

#include "app/HeadlessRead.h"
#include "tools/PrinterSim.h"

namespace {

std::string Parsed(const QString& line) {
  try {
    const THeadlessArgs a = ParseHeadlessArgs(line.split(u' ', Qt::SkipEmptyParts), THeadlessTexts());
    const TReportCommand c = a.Request.Build();
    return FormatText("%s %d %d %s [%s]", a.Port.c_str(), a.Baud, c.Command, c.Params.c_str(),
                      c.RangePart.c_str());
  } catch (const EBadArguments& e) {
    return std::string("! ") + e.what();
  }
}

TEST(HeadlessArgs, PeriodsChecksAndRefusals) {
  EXPECT_EQ(Parsed("--port COM3 --dates 05.03.2012-20.03.2012"),
            "COM3 0 94 D,1,050312,200312 [050312_200312]");
  EXPECT_EQ(Parsed("--port=/dev/ttyUSB0 --baud 9600 --numbers 7-120 --summary"),
            "/dev/ttyUSB0 9600 95 S,1,7,120 [0007_0120]");
  EXPECT_EQ(Parsed("--port com2 --month 03.2024"), "com2 0 94 D,1,0324 []");
  EXPECT_EQ(Parsed("--port COM1 --dates 20.03.2012-05.03.2012"), "! Incorrect period!");
  EXPECT_EQ(Parsed("--port COM1 --numbers 9-5"), "! Incorrect range!");
  for (const char* bad :
       {"--port COM1 --month 03.2024 --summary", "--port ttyS0 --numbers 1-2", "--port COM1 --month 13.2024",
        "--port COM1 --month 03.1999", "--port COM1 --numbers 1-12345",
        "--port COM1 --dates 31.02.2024-01.03.2024", "--port COM1", "--numbers 1-2",
        "--port COM1 --numbers 1-2 --month 01.2024", "--port COM1 --numbers 1-2 --baud x",
        "--port COM1 --numbers 1-2 --output a --output-dir b", "--port COM1 --numbers 1-2 --bogus", "--port"})
    EXPECT_EQ(Parsed(bad).substr(0, 2), "! ") << bad;
}

// The built program against a simulator on a pseudo-terminal.
struct ReaderRun {
  int status = -1;
  QString out, err;
};
ReaderRun Reader(const QStringList& args, const QString& cwd, int interruptAfterMs = -1) {
  QProcess p;
  p.setWorkingDirectory(cwd);
  p.start(QString::fromLocal8Bit(qgetenv("VQ_BUILD_DIR")) + "/app/veltra-qrm-read", args);
  EXPECT_TRUE(p.waitForStarted());
  if (interruptAfterMs >= 0 && !p.waitForFinished(interruptAfterMs)) ::kill(pid_t(p.processId()), SIGINT);
  EXPECT_TRUE(p.waitForFinished(20000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}

TEST(HeadlessRead, ExitStatusesAgainstTheSimulator) {
  QTemporaryDir dir;
  PrinterSimOptions o;
  o.SynBusyMs = 1500;  // long enough to be interrupted, short enough to wait for
  PrinterSim sim(o);
  sim.Start();
  const QString port = QString::fromStdString(sim.SlavePath());
  const QStringList read = {"--port", port, "--numbers", "7-12"};

  const ReaderRun cut = Reader(read, dir.path(), 500);
  EXPECT_EQ(cut.status, kExitInterrupted) << cut.err.toStdString();
  EXPECT_TRUE(QDir(dir.path()).isEmpty());

  const ReaderRun whole = Reader(read + QStringList{"--output-dir", dir.path()}, QDir::rootPath());
  ASSERT_EQ(whole.status, kExitWritten) << whole.err.toStdString();
  const QString path = dir.path() + "/ZHK12345678_0007_0012.txt";
  EXPECT_EQ(whole.out, path + "\n");
  std::string expected;
  for (const std::string& line : BuildSimReport(sim.Options(), 95, "D,1,7,12").Lines)
    expected += line + "\r\n";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), expected);
  // Kept in the window program's history too, unless --no-history.
  const QDir history(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + "/veltra-qrm/reports");
  EXPECT_TRUE(history.exists("ZHK12345678_0007_0012.txt"));
  ASSERT_EQ(Reader({"--port", port, "--numbers", "7-8", "--no-history"}, dir.path()).status, kExitWritten);
  EXPECT_FALSE(history.exists("ZHK12345678_0007_0008.txt"));

  EXPECT_EQ(Reader({"--port", dir.path() + "/none", "--numbers", "1-2"}, dir.path()).status,
            kExitPortNotOpened);
  EXPECT_EQ(
      Reader({"--port", port, "--numbers", "1-2", "--output", dir.path() + "/no/such/dir/x.txt"}, dir.path())
          .status,
      kExitNotWritten);
  sim.Stop();

  PrinterSimOptions silent;
  silent.Silent = true;
  PrinterSim mute(silent);
  mute.Start();
  const ReaderRun none =
      Reader({"--port", QString::fromStdString(mute.SlavePath()), "--month", "03.2024"}, dir.path());
  EXPECT_EQ(none.status, kExitNoAnswer);
  EXPECT_TRUE(none.err.contains("Device not respond!"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

}  // namespace
