// The check of an archive image of 100 sessions of one 1 MB report each, written by the disc
// components: veltra-qrm-archive check (the whole program, and its job in this process) against
// xorriso checking the same image's MD5s, once in one run over all sessions (-check_media) and once
// per session (-load session N -check_md5). Prints the medians and the ratio of the program to the
// faster xorriso (goal <= 1.0).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "disc/DiscArchive.h"
#include "disc/DiscComponents.h"
#include "disc/DiscService.h"

namespace {

constexpr int kSessions = 100;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Runs a program; its wall time in ms, or -1 when it failed.
double Timed(const QString& program, const QStringList& args) {
  QElapsedTimer t;
  t.start();
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    return -1;
  }
  return t.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("archive.iso"));
  SetDiscServiceFactoryForTesting([image] {
    LibburnServiceOptions o;
    o.ScanRealDrives = false;
    o.ImageTargets = {image.toStdString()};
    return CreateLibburnService(o);
  });
  QRandomGenerator rng(7);
  for (int s = 1; s <= kSessions; ++s) {
    const QString folder = tmp.filePath(QStringLiteral("s%1").arg(s));
    QDir().mkpath(folder);
    QByteArray data(1024 * 1024, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    QFile f(folder + QStringLiteral("/ZHK12345678_%1.txt").arg(s, 4, 10, QLatin1Char('0')));
    f.open(QIODevice::WriteOnly);
    f.write(data);
    f.close();
    TDiscRecorder recorder;
    TDiscWrite writer;
    TDiscImage disc;
    writer.SetRecorder(&recorder);
    disc.SetDiscWrite(&writer);
    disc.SourceTree = folder;
    try {
      disc.WriteToDisc();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "session %d not written: %s\n", s, e.what());
      return 2;
    }
    QDir(folder).removeRecursively();
  }
  std::printf("image: %d sessions, %lld bytes\n", kSessions, static_cast<long long>(QFileInfo(image).size()));

  std::vector<double> program, job, media, perSession;
  for (int r = 0; r < rounds; ++r) {
    program.push_back(Timed(QStringLiteral(VQ_ARCHIVE_EXE), {QStringLiteral("check"), image}));
    {
      QElapsedTimer t;
      t.start();
      TArchiveReadJob check(image, TArchiveReadJob::Check);
      check.Resume();
      check.Wait();
      job.push_back(t.nsecsElapsed() / 1e6);
      if (check.Failure() || check.Reports().size() != kSessions) return 2;
    }
    media.push_back(Timed(QStringLiteral("xorriso"),
                          {QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-indev"), image,
                           QStringLiteral("-check_media"), QStringLiteral("--")}));
    double all = 0;
    for (int s = 1; s <= kSessions; ++s)
      all += Timed(QStringLiteral("xorriso"),
                   {QStringLiteral("-md5"), QStringLiteral("on"), QStringLiteral("-indev"), image,
                    QStringLiteral("-load"), QStringLiteral("session"), QString::number(s),
                    QStringLiteral("-check_md5"), QStringLiteral("FAILURE"), QStringLiteral("--")});
    perSession.push_back(all);
    std::printf(
        "round %d: veltra-qrm-archive check %.1f ms (its job %.1f ms), xorriso -check_media %.1f ms, "
        "xorriso -check_md5 per session %.1f ms\n",
        r + 1, program.back(), job.back(), media.back(), perSession.back());
    if (program.back() < 0 || media.back() < 0) return 2;
  }
  const double ours = Median(program), faster = std::min(Median(media), Median(perSession));
  std::printf(
      "median: veltra-qrm-archive check %.1f ms (its job %.1f ms), xorriso -check_media %.1f ms, "
      "per session %.1f ms; ratio to the faster %.2f (goal <= 1.0)\n",
      ours, Median(job), Median(media), Median(perSession), ours / faster);
  return ours / faster <= 1.0 ? 0 : 1;
}
