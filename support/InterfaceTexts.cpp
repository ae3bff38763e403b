#include "support/InterfaceTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>

#include "support/AppPaths.h"

#ifndef VQ_LANG_DIR_FROM_BIN
#error "VQ_LANG_DIR_FROM_BIN must name the language folder relative to the program's folder"
#endif

namespace {

// A value cannot hold a line break, so this marks a key that is not in the file.
const char kMissing[] = "\n";

std::function<void(const std::string&, const std::string&)> g_lookupObserver;

}  // namespace

std::string StringsIniPath() { return ProgramFolder() + "/Strings.ini"; }

std::string DesktopLanguage() {
  const char* value = nullptr;
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      value = v;
      break;
    }
  }
  if (!value) return "";
  std::string code;
  for (const char* p = value; *p && *p != '_' && *p != '.' && *p != '@' && *p != ':'; ++p) {
    const char c = *p;
    if (c >= 'A' && c <= 'Z')
      code += static_cast<char>(c - 'A' + 'a');
    else if (c >= 'a' && c <= 'z')
      code += c;
    else
      return "";
  }
  return code.size() == 2 || code.size() == 3 ? code : "";
}

std::string LanguageFilePath(const std::string& code) {
  // English is built in; "c" is what is left of the C locale.
  if (code.empty() || code == "en" || code == "c") return "";
  const std::string path = ProgramFolder() + "/" VQ_LANG_DIR_FROM_BIN "/" + code + ".ini";
  return FileExists(path) ? path : "";
}

TTextTable::TTextTable() : ini_(StringsIniPath()), language_(LanguageFilePath(DesktopLanguage())) {}
TTextTable::TTextTable(const std::string& path) : ini_(path), language_("") {}

QString TTextTable::Read(const char* section, const char* key, const char* def) const {
  const std::string s = section ? section : "", k = key ? key : "", d = def ? def : "";
  if (g_lookupObserver) g_lookupObserver(s, k);
  std::string value = ini_.ReadString(s, k, kMissing);
  if (value == kMissing) value = language_.FileName().empty() ? d : language_.ReadString(s, k, d);
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

void LoadToolkitTranslation() {
  const std::string code = DesktopLanguage();
  if (LanguageFilePath(code).empty() || !QCoreApplication::instance()) return;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QLocale(QString::fromStdString(code)), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;
}

void SetTextLookupObserverForTesting(std::function<void(const std::string&, const std::string&)> observer) {
  g_lookupObserver = std::move(observer);
}
