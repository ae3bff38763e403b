// veltra-qrm-archive: the built program on image files written by the program's own components, whole
// and damaged on purpose, under the C locale.
#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/ArchiveCommand.h"
#include "tests/disc/DiscTestSupport.h"

namespace {

struct Outcome {
  int status = -1;
  QString out;
};
Outcome Archive(const QStringList& args, const QString& cwd) {
  QProcess p;
  p.setWorkingDirectory(cwd);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
  p.setProcessEnvironment(env);
  p.start(QString::fromLocal8Bit(qgetenv("VQ_BUILD_DIR")) + "/app/veltra-qrm-archive", args);
  EXPECT_TRUE(p.waitForFinished(30000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput())};
}

TEST(ArchiveCommand, ListsChecksAndExtractsWithItsExitStatuses) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("archive.iso")),
                damaged = tmp.filePath(QStringLiteral("d.iso")),
                cut = tmp.filePath(QStringLiteral("cut.iso")), name = QStringLiteral("Zażółć_0002.txt");
  const QByteArray second = QByteArray("SECOND\r\n").repeated(40000);
  disctest::WriteFile(tmp.filePath(QStringLiteral("one/ZHK_0001.txt")), "first\r\n");
  disctest::BurnToImage(image, tmp.filePath(QStringLiteral("one")));
  disctest::WriteFile(tmp.filePath(QStringLiteral("two/") + name), second);
  disctest::BurnToImage(image, tmp.filePath(QStringLiteral("two")));
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray bytes = f.readAll();
  const qint64 at = bytes.indexOf("SECOND");
  disctest::WriteFile(cut, bytes.left(at + 1000));
  bytes[at + 3000] = '!';
  disctest::WriteFile(damaged, bytes);

  const Outcome list = Archive({"list", image}, tmp.path());
  EXPECT_EQ(list.status, kArchiveDone);
  EXPECT_TRUE(
      QRegularExpression(QStringLiteral("^1\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\t7\tZHK_0001.txt\n"
                                        "2\t[-0-9 :]{19}\t320000\t") +
                         name + "\n$")
          .match(list.out)
          .hasMatch())
      << list.out.toStdString();
  const QString fifo = tmp.filePath(QStringLiteral("fifo.iso"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  struct Case {
    QStringList args;
    int status;
    QString out;
  };
  const Case cases[] = {
      {{"check", image}, kArchiveDone, "All 2 reports in 2 sessions are intact.\n"},
      {{"check", damaged},
       kArchiveDamage,
       "damaged\t2\t" + name + "\n1 of 2 reports are damaged or unreadable.\n"},
      {{"check", cut},
       kArchiveDamage,
       "unreadable\t2\t" + name + "\n1 of 2 reports are damaged or unreadable.\n"},
      {{"extract", image, name}, kArchiveDone, tmp.filePath(name) + "\n"},
      {{"extract", damaged, name, "--output", "x.txt"}, kArchiveDamage, ""},
      {{"extract", image, "ZHK_0009.txt"}, kArchiveNoReport, ""},
      {{"extract", image, "ZHK_0001.txt", "--output-dir", tmp.filePath("none")}, kArchiveNotWritten, ""},
      {{"list", tmp.filePath(QStringLiteral("none.iso"))}, kArchiveNoSource, ""},
      {{"list", tmp.filePath(QStringLiteral("one/ZHK_0001.txt"))}, kArchiveNoSource, ""},
      {{"list", fifo}, kArchiveNoSource, ""},  // refused, not waited on
      {{"list", image, "--output", "x"}, kArchiveBadArguments, ""},
      {{"extract", image}, kArchiveBadArguments, ""},
  };
  for (const Case& c : cases) {
    const Outcome r = Archive(c.args, tmp.path());
    EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
    EXPECT_EQ(r.out, c.out) << c.args.join(' ').toStdString();
  }
  QFile extracted(tmp.filePath(name));
  ASSERT_TRUE(extracted.open(QIODevice::ReadOnly));
  EXPECT_EQ(extracted.readAll(), second);
  EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("x.txt"))));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
