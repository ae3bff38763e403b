#include "support/InterfaceTexts.h"

#include "support/AppPaths.h"

std::string StringsIniPath() { return ProgramFolder() + "/Strings.ini"; }

TTextTable::TTextTable() : ini_(StringsIniPath()) {}
TTextTable::TTextTable(const std::string& path) : ini_(path) {}

QString TTextTable::Read(const char* section, const char* key, const char* def) const {
  std::string value = ini_.ReadString(section ? section : "", key ? key : "", def ? def : "");
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}
