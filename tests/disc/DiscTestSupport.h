#pragma once
// Helpers of the disc tests: image files as pseudo-drives, fixture folders and xorriso listings.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

#include "disc/DiscComponents.h"
#include "disc/DiscService.h"

namespace disctest {

inline void WriteFile(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(data);
}

// Offers exactly `images` as recorders, with fast status polling, and nothing of the machine.
inline void UseImageRecorders(const std::vector<std::string>& images) {
  SetDiscServiceFactoryForTesting([images] {
    LibburnServiceOptions o;
    o.ScanRealDrives = false;
    o.ImageTargets = images;
    o.PollIntervalMs = 5;
    return CreateLibburnService(o);
  });
}

inline void RestoreService() { SetDiscServiceFactoryForTesting({}); }

// Burns the folder's files as one more session onto the image file, through the components.
inline void BurnToImage(const QString& image, const QString& folder) {
  UseImageRecorders({image.toStdString()});
  TDiscRecorder recorder;
  TDiscWrite writer;
  TDiscImage builder;
  writer.SetRecorder(&recorder);
  builder.SetDiscWrite(&writer);
  builder.SourceTree = folder;
  builder.WriteToDisc();
  RestoreService();
}

// Files (type f) in the newest session of an image file, as absolute image paths.
inline QStringList ListImageFiles(const QString& image, QString* volumeId = nullptr) {
  QProcess p;
  p.start(QStringLiteral("xorriso"),
          {QStringLiteral("-indev"), image, QStringLiteral("-pvd_info"), QStringLiteral("-find"),
           QStringLiteral("/"), QStringLiteral("-type"), QStringLiteral("f")});
  p.waitForFinished(30000);
  QStringList files;
  const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
  for (QString line : lines) {
    if (line.startsWith(QLatin1String("Volume Id    : ")) && volumeId) {
      *volumeId = line.mid(15).trimmed();
      continue;
    }
    if (line.startsWith(QLatin1Char('\'')) && line.endsWith(QLatin1Char('\''))) {
      files << line.mid(1, line.size() - 2);
    }
  }
  files.sort();
  return files;
}

// xorriso's exit status and everything it printed.
inline std::pair<int, QString> Xorriso(const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(QStringLiteral("xorriso"), args);
  p.waitForFinished(60000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

inline int SessionCount(const QString& image) {
  QProcess p;
  p.start(QStringLiteral("xorriso"), {QStringLiteral("-indev"), image, QStringLiteral("-toc")});
  p.waitForFinished(30000);
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  return static_cast<int>(out.count(QStringLiteral("ISO session")));
}

inline QByteArray ExtractFile(const QString& image, const QString& isoPath, const QString& toFolder) {
  const QString target = toFolder + QStringLiteral("/extracted.bin");
  QFile::remove(target);
  QProcess p;
  p.start(QStringLiteral("xorriso"),
          {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"), image,
           QStringLiteral("-extract"), isoPath, target});
  p.waitForFinished(30000);
  QFile f(target);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

}  // namespace disctest
