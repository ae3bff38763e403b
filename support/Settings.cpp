#include "support/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include "support/AppPaths.h"
#include "support/TextUtils.h"

std::vector<std::string> SplitImageTargets(const std::string& text, const std::string& baseFolder) {
  std::vector<std::string> out;
  for (const std::string& item : SplitText(text, ';')) {
    QString p = QString::fromStdString(item).trimmed();
    if (p.isEmpty()) continue;
    if (p.startsWith(QLatin1String("~/"))) p = QDir::homePath() + p.mid(1);
    if (QFileInfo(p).isRelative()) p = QDir(QString::fromStdString(baseFolder)).absoluteFilePath(p);
    out.push_back(QDir::cleanPath(p).toStdString());
  }
  return out;
}

std::vector<std::string> ImageTargetsOf(const TIniFile& settings) {
  return SplitImageTargets(ReadSetting(settings, Setting::ImageTargets), UserProgramFolder());
}
