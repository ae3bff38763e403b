// Builds an image of a 12 MB folder and writes it to an image file through the disc components,
// and does the same with `xorriso -as mkisofs`, in alternation; prints the median times and the ratio
// (goal: components / xorriso <= 1.3). Exit status 1 when the goal is missed.
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

  std::vector<double> ours, theirs;
  for (int r = 0; r < rounds; ++r) {
    const QString imageA = tmp.filePath(QStringLiteral("a%1.iso").arg(r));
    const QString imageB = tmp.filePath(QStringLiteral("b%1.iso").arg(r));
    {
      QElapsedTimer t;
      t.start();
      SetDiscServiceFactoryForTesting([imageA] {
        LibburnServiceOptions o;
        o.ScanRealDrives = false;
        o.ReadImageTargets = false;
        o.ExtraImageTargets = {imageA.toStdString()};
        return CreateLibburnService(o);
      });
      TDiscRecorder recorder;
      TDiscWrite writer;
      TDiscImage image;
      writer.SetRecorder(&recorder);
      image.SetDiscWrite(&writer);
      image.SourceTree = src;
      image.VolumeName = QStringLiteral("BENCH");
      writer.OnUpdate = [](QObject*, TWriteAction, bool&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                           int32_t, int32_t, int32_t, int32_t) {};
      try {
        image.WriteToDisc();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "components failed: %s\n", e.what());
        return 2;
      }
      ours.push_back(t.nsecsElapsed() / 1e6);
    }
    {
      QElapsedTimer t;
      t.start();
      QProcess p;
      p.start(QStringLiteral("xorriso"), {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-R"),
                                          QStringLiteral("-J"), QStringLiteral("-V"), QStringLiteral("BENCH"),
                                          QStringLiteral("-quiet"), QStringLiteral("-o"), imageB, src});
      if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        std::fprintf(stderr, "xorriso failed: %s\n", p.readAllStandardError().constData());
        return 2;
      }
      theirs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("round %d: components %.1f ms, xorriso %.1f ms (images %lld / %lld bytes)\n", r + 1, ours.back(),
                theirs.back(), static_cast<long long>(QFileInfo(imageA).size()),
                static_cast<long long>(QFileInfo(imageB).size()));
  }
  const double a = Median(ours), b = Median(theirs);
  std::printf("median: components %.1f ms, xorriso -as mkisofs %.1f ms, ratio %.2f (goal <= 1.3)\n", a, b, a / b);
  return a / b <= 1.3 ? 0 : 1;
}
