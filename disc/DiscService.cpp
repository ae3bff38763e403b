#include "disc/DiscService.h"

#include "disc/DiscComponents.h"
#include "support/TextUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace {

std::function<std::shared_ptr<IDiscService>()>& Factory() {
  static std::function<std::shared_ptr<IDiscService>()> factory;
  return factory;
}

}  // namespace

std::vector<std::string>& Targets() {
  static std::vector<std::string> targets;
  return targets;
}

std::shared_ptr<IDiscService> CreateDiscService() {
  if (Factory()) return Factory()();
  LibburnServiceOptions options;
  options.ImageTargets = Targets();
  return CreateLibburnService(options);
}

void SetImageTargets(std::vector<std::string> paths) { Targets() = std::move(paths); }

void SetDiscServiceFactoryForTesting(std::function<std::shared_ptr<IDiscService>()> factory) {
  Factory() = std::move(factory);
}

std::string ImageTargetAddress(const std::string& path) { return "stdio:" + path; }

std::vector<std::string> SplitImageTargets(const std::string& text, const std::string& baseFolder) {
  std::vector<std::string> out;
  for (std::string item : SplitText(text, ';')) {
    const size_t b = item.find_first_not_of(" \t");
    const size_t e = item.find_last_not_of(" \t");
    item = b == std::string::npos ? std::string() : item.substr(b, e - b + 1);
    if (!item.empty()) {
      QString p = QString::fromStdString(item);
      if (p.startsWith(QLatin1String("~/"))) p = QDir::homePath() + p.mid(1);
      if (QFileInfo(p).isRelative()) p = QDir(QString::fromStdString(baseFolder)).absoluteFilePath(p);
      out.push_back(QDir::cleanPath(p).toStdString());
    }
  }
  return out;
}

std::string IsoVolumeIdOf(const std::string& utf8Name) {
  const QString name = QString::fromUtf8(utf8Name.data(), static_cast<qsizetype>(utf8Name.size()));
  std::string out;
  for (QChar c : name) {
    if (out.size() >= 32) break;
    const char16_t u = c.unicode();
    if (c.isLowSurrogate()) continue;  // the high half already gave one "_"
    const bool keep = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
    out += (u >= 'a' && u <= 'z') ? static_cast<char>(u - 'a' + 'A') : keep ? static_cast<char>(u) : '_';
  }
  return out;
}
