#include "disc/DiscService.h"
#include "support/TextUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <cstdio>

namespace {

[[noreturn]] void GenericSystemError(uint32_t code, const std::string&) {
  throw EDiscServiceError(SystemErrorText(code), code);
}

TServiceErrorHandler g_previous = &GenericSystemError;
TServiceErrorHandler g_current = nullptr;

// The handler is in place for the whole run, as the burn dialog and the components rely on readable
// messages; the previous one comes back when the program's modules are finalised.
struct HandlerInstaller {
  HandlerInstaller() {
    if (g_current != &ServiceErrorHandler) g_previous = SetServiceErrorHandler(&ServiceErrorHandler);
  }
  ~HandlerInstaller() {
    if (g_current == &ServiceErrorHandler) g_current = g_previous;
  }
} g_installer;

std::function<std::shared_ptr<IDiscService>()>& Factory() {
  static std::function<std::shared_ptr<IDiscService>()> factory;
  return factory;
}

}  // namespace

std::string SystemErrorText(uint32_t code) {
  const char* text = "Unspecified error";
  switch (code) {
    case kDiscErrAborted: text = "Operation aborted"; break;
    case kDiscErrAccessDenied: text = "Access is denied"; break;
    case 0x8007000E: text = "Not enough memory resources are available to complete this operation"; break;
    case 0x80004001: text = "Not implemented"; break;
    default: break;
  }
  return FormatText("System error 0x%08X: %s", static_cast<unsigned>(code), text);
}

void ServiceErrorHandler(uint32_t code, const std::string& libraryMessage) {
  if (!libraryMessage.empty()) throw EDiscServiceError(libraryMessage, code);
  switch (code) {
    case kDiscErrMultisessionNotAllowed:
      throw EDiscServiceError("This disc cannot take another session: its kind of medium allows only one.",
                              code);
    case kDiscErrMultisessionTypeUnsupported:
      throw EDiscServiceError("This disc cannot take the kind of session asked for.", code);
    case kDiscErrNoMultisessionTypeOnMedia:
      throw EDiscServiceError("This disc offers none of the kinds of session asked for.", code);
    case kDiscErrMultisessionParameter:
      throw EDiscServiceError("The disc's earlier sessions cannot be read, or they do not fit the new one.",
                              code);
    default: break;
  }
  g_previous(code, libraryMessage);
  throw EDiscServiceError(SystemErrorText(code), code);  // a previous handler that returned
}

void RaiseServiceError(uint32_t code, const std::string& libraryMessage) {
  TServiceErrorHandler h = g_current ? g_current : &GenericSystemError;
  h(code, libraryMessage);
  throw EDiscServiceError(SystemErrorText(code), code);
}

TServiceErrorHandler SetServiceErrorHandler(TServiceErrorHandler handler) {
  TServiceErrorHandler old = g_current ? g_current : &GenericSystemError;
  g_current = handler;
  return old;
}

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
