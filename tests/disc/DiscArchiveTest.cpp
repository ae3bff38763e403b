// The archive reader on image files written by the components and damaged on purpose: listing,
// checking, extracting, the source's failures, and Cancel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>

#include "disc/DiscArchive.h"
#include "tests/disc/DiscTestSupport.h"

using namespace disctest;

namespace {

const char* StateName(TReportState s) {
  static const char* const names[] = {"not checked", "intact", "damaged", "unreadable", "no checksum"};
  return names[static_cast<int>(s)];
}

struct Outcome {
  std::string listing, failure, bytes;
  int sessions = 0;
};

Outcome RunJob(const QString& source, TArchiveReadJob::TTask task, const QString& name = {},
               const std::string& output = {}) {
  TArchiveReadJob job(source, task);
  job.ReportName = name;
  job.OutputPath = output;
  job.Resume();
  job.Wait();
  Outcome o{{}, {}, job.TakeBytes(), job.Sessions()};
  for (const TArchivedReport& r : job.Reports())
    o.listing += std::to_string(r.Session) + " " + r.Name.toStdString() + " " + std::to_string(r.Size) + " " +
                 StateName(r.State) + (r.Recorded.isValid() ? "" : " (no date)") + ";";
  try {
    if (job.Failure()) std::rethrow_exception(job.Failure());
  } catch (const EArchiveSource&) {
    o.failure = "source";
  } catch (const EReportNotFound&) {
    o.failure = "not found";
  } catch (const EReportDamaged&) {
    o.failure = "damaged";
  } catch (const EArchiveOutput&) {
    o.failure = "output";
  } catch (const std::exception& e) {
    o.failure = e.what();
  }
  return o;
}

class ArchiveOnImage : public ::testing::Test {
 protected:
  void SetUp() override {
    image = tmp.filePath(QStringLiteral("archive.iso"));
    WriteFile(tmp.filePath(QStringLiteral("one/ZK_0001.txt")), first);
    BurnToImage(image, tmp.filePath(QStringLiteral("one")));
    WriteFile(tmp.filePath(QStringLiteral("two/Zażółć_0002.txt")), second);
    BurnToImage(image, tmp.filePath(QStringLiteral("two")));
  }
  QTemporaryDir tmp;
  QString image;
  const QByteArray first = QByteArray("first report\r\n").repeated(1000);
  const QByteArray second = QByteArray("SECOND REPORT\r\n").repeated(20000);
};

// Each report in the session that wrote it; a damaged or cut one is named, and never extracted.
TEST_F(ArchiveOnImage, ChecksAndExtractsWhatIsIntactOnly) {
  struct Case {
    const char* damage;
    std::function<void(QFile&, qint64 secondAt)> apply;
    const char* states;
    const char* extractSecond;
  };
  const Case cases[] = {
      {"none", [](QFile&, qint64) {}, "intact;2 Zażółć_0002.txt 300000 intact;", ""},
      {"flipped byte",
       [](QFile& f, qint64 at) {
         f.seek(at + 5000);
         f.write("x");
       },
       "intact;2 Zażółć_0002.txt 300000 damaged;", "damaged"},
      {"cut last session", [](QFile& f, qint64 at) { f.resize(at + 100000); },
       "intact;2 Zażółć_0002.txt 300000 unreadable;", "damaged"},
  };
  const QString pristine = tmp.filePath(QStringLiteral("pristine.iso"));
  QFile::copy(image, pristine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damage);
    QFile::remove(image);
    QFile::copy(pristine, image);
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    c.apply(f, f.readAll().indexOf(second.left(30)));
    f.close();
    const Outcome listed = RunJob(image, TArchiveReadJob::List);
    EXPECT_EQ(listed.listing, "1 ZK_0001.txt 14000 not checked;2 Zażółć_0002.txt 300000 not checked;");
    const Outcome checked = RunJob(image, TArchiveReadJob::Check);
    EXPECT_EQ(checked.listing, std::string("1 ZK_0001.txt 14000 ") + c.states);
    EXPECT_EQ(checked.sessions, 2);
    const std::string out = tmp.filePath(QStringLiteral("out.txt")).toStdString();
    QFile::remove(QString::fromStdString(out));
    EXPECT_EQ(RunJob(image, TArchiveReadJob::Extract, QStringLiteral("Zażółć_0002.txt"), out).failure,
              c.extractSecond);
    EXPECT_EQ(QFile::exists(QString::fromStdString(out)), !*c.extractSecond);
    EXPECT_EQ(RunJob(image, TArchiveReadJob::Extract, QStringLiteral("ZK_0001.txt")).bytes,
              first.toStdString());
  }
}

TEST_F(ArchiveOnImage, SourcesNamesAndOutputsThatFail) {
  WriteFile(tmp.filePath(QStringLiteral("noise.iso")), QByteArray(100000, '\x5a'));
  EXPECT_EQ(RunJob(tmp.filePath(QStringLiteral("missing.iso")), TArchiveReadJob::List).failure, "source");
  EXPECT_EQ(RunJob(tmp.filePath(QStringLiteral("noise.iso")), TArchiveReadJob::Check).failure, "source");
  EXPECT_EQ(RunJob(image, TArchiveReadJob::Extract, QStringLiteral("ZK_0009.txt")).failure, "not found");
  EXPECT_EQ(RunJob(image, TArchiveReadJob::Extract, QStringLiteral("ZK_0001.txt"),
                   tmp.filePath(QStringLiteral("no/such/folder/x.txt")).toStdString())
                .failure,
            "output");
}

// Sessions written without checksums (by earlier versions) read whole; a name written again in a
// later session (not by this program) is listed per copy, and the newest is extracted.
TEST(ArchiveWithoutChecksums, ReadsWholeAndTakesTheNewestCopy) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("old.iso"));
  for (const char* text : {"old", "new!"}) {
    WriteFile(tmp.filePath(QStringLiteral("r.txt")), text);
    ASSERT_EQ(Xorriso({"-md5", "off", "-dev", "stdio:" + image, "-map", tmp.filePath(QStringLiteral("r.txt")),
                       "/r.txt", "-commit"})
                  .first,
              0);
  }
  EXPECT_EQ(RunJob(image, TArchiveReadJob::Check).listing, "1 r.txt 3 no checksum;2 r.txt 4 no checksum;");
  EXPECT_EQ(RunJob(image, TArchiveReadJob::Extract, QStringLiteral("r.txt")).bytes, "new!");
}

TEST(ArchiveCheck, CancelStopsTheReadingWithinAQuarterSecond) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("big.iso"));
  WriteFile(tmp.filePath(QStringLiteral("src/big.txt")), QByteArray(16 << 20, 'b'));
  BurnToImage(image, tmp.filePath(QStringLiteral("src")));
  TArchiveReadJob job(image, TArchiveReadJob::Check);
  QElapsedTimer sinceCancel;
  QObject::connect(
      &job, &TSmProgressThread::progressChanged, &job,
      [&](qint64, qint64) {
        if (!sinceCancel.isValid()) sinceCancel.start(), job.Cancel();
      },
      Qt::DirectConnection);
  job.Resume();
  job.Wait();
  ASSERT_TRUE(sinceCancel.isValid());
  EXPECT_LT(sinceCancel.elapsed(), 250);
  EXPECT_TRUE(job.Terminated());
  EXPECT_NE(job.Failure(), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
