// Builds an image of a 12 MB folder, writes it to an image file through the disc components (which
// record the session's and every file's MD5 whatever the level) and verifies it, at the level Burn uses
// (every file read back) and at the Full level (also the session MD5), against xorriso building,
// writing (-md5 on) and checking the MD5 of the same folder, in alternation; prints the medians and the
// ratios (goal <= 1.0). Then times the verification of a 1 MB report on its own (from the first
// verifying notice to the last notice).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "disc/DiscComponents.h"
#include "disc/DiscService.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  QTemporaryDir tmp;
  const QString src = tmp.filePath(QStringLiteral("src"));
  // 12 MB in 48 files of 256 KB over three folders; random bytes so nothing compresses away.
  QRandomGenerator rng(42);
  for (int i = 0; i < 48; ++i) {
    const QString dir = src + QStringLiteral("/d%1").arg(i % 3);
    QDir().mkpath(dir);
    QByteArray data(256 * 1024, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    QFile f(dir + QStringLiteral("/file%1.bin").arg(i));
    f.open(QIODevice::WriteOnly);
    f.write(data);
  }

  std::vector<double> ours, oursFull, theirs;
  for (int r = 0; r < 2 * rounds; ++r) {
    const bool full = r % 2 == 1;
    const QString imageA = tmp.filePath(QStringLiteral("a%1.iso").arg(r));
    const QString imageB = tmp.filePath(QStringLiteral("b%1.iso").arg(r));
    {
      QElapsedTimer t;
      t.start();
      SetDiscServiceFactoryForTesting([imageA] {
        LibburnServiceOptions o;
        o.ScanRealDrives = false;
        o.ImageTargets = {imageA.toStdString()};
        return CreateLibburnService(o);
      });
      TDiscRecorder recorder;
      TDiscWrite writer;
      TDiscImage image;
      writer.SetRecorder(&recorder);
      image.SetDiscWrite(&writer);
      image.SourceTree = src;
      image.VolumeName = QStringLiteral("BENCH");
      writer.Verification = full ? veFull : veNone;  // Burn's own level reads every file back
      writer.OnUpdate = [](QObject*, TWriteAction, bool&, int32_t, int32_t, int32_t, int32_t, int32_t,
                           int32_t, int32_t, int32_t, int32_t, int32_t) {};
      try {
        image.WriteToDisc();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "components failed: %s\n", e.what());
        return 2;
      }
      (full ? oursFull : ours).push_back(t.nsecsElapsed() / 1e6);
    }
    {
      QElapsedTimer t;
      t.start();
      QProcess p;
      p.start(
          QStringLiteral("xorriso"),
          {QStringLiteral("-report_about"), QStringLiteral("SORRY"), QStringLiteral("-md5"),
           QStringLiteral("on"), QStringLiteral("-joliet"), QStringLiteral("on"), QStringLiteral("-volid"),
           QStringLiteral("BENCH"), QStringLiteral("-outdev"), QStringLiteral("stdio:") + imageB,
           QStringLiteral("-map"), src, QStringLiteral("/"), QStringLiteral("-commit"),
           QStringLiteral("-check_md5"), QStringLiteral("FAILURE"), QStringLiteral("--")});
      if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        std::fprintf(stderr, "xorriso failed: %s\n", p.readAllStandardError().constData());
        return 2;
      }
      theirs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("round %d: components (%s) %.1f ms, xorriso %.1f ms (images %lld / %lld bytes)\n", r + 1,
                full ? "full" : "burn's level", (full ? oursFull : ours).back(), theirs.back(),
                static_cast<long long>(QFileInfo(imageA).size()),
                static_cast<long long>(QFileInfo(imageB).size()));
  }
  // A 1 MB report of CR LF lines, each archive to a fresh image file.
  const QString reportDir = tmp.filePath(QStringLiteral("report"));
  QDir().mkpath(reportDir);
  {
    QFile f(reportDir + QStringLiteral("/ZK0001_D_2023-01.txt"));
    f.open(QIODevice::WriteOnly);
    for (int line = 0; f.size() < 1024 * 1024; ++line)
      f.write(QStringLiteral("%1 SPRZEDAZ OPODATKOWANA A 23% 1234,56\r\n").arg(line, 6).toLatin1());
  }
  std::vector<double> verify;
  for (int r = 0; r < rounds; ++r) {
    const std::string target = tmp.filePath(QStringLiteral("r%1.iso").arg(r)).toStdString();
    SetDiscServiceFactoryForTesting([target] { return CreateLibburnService({false, {target}, 100}); });
    TDiscRecorder recorder;
    TDiscWrite writer;
    TDiscImage image;
    writer.SetRecorder(&recorder);
    image.SetDiscWrite(&writer);
    image.SourceTree = reportDir;
    writer.Verification = veFull;
    QElapsedTimer t;
    writer.OnUpdate = [&](QObject*, TWriteAction a, bool&, int32_t, int32_t, int32_t, int32_t, int32_t,
                          int32_t, int32_t, int32_t, int32_t, int32_t) {
      if (a == waVerifying && !t.isValid()) t.start();
    };
    try {
      image.WriteToDisc();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "report archive failed: %s\n", e.what());
      return 2;
    }
    verify.push_back(t.nsecsElapsed() / 1e6);
  }
  std::printf("median: verification of a 1 MB report %.2f ms\n", Median(verify));
  const double a = Median(ours), f = Median(oursFull), b = Median(theirs);
  std::printf("median: xorriso build+write(-md5 on)+check_md5 %.1f ms\n", b);
  std::printf("median: build+write+verify at Burn's level %.1f ms, ratio %.2f (goal <= 1.0)\n", a, a / b);
  std::printf("median: build+write+verify at the Full level %.1f ms, ratio %.2f (goal <= 1.0)\n", f, f / b);
  return a / b <= 1.0 && f / b <= 1.0 ? 0 : 1;
}
