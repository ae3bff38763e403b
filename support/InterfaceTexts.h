#pragma once
#include <QString>
#include <functional>
#include <string>

#include "support/IniFile.h"

// Strings.ini next to the program file: the replaceable texts of the windows.
std::string StringsIniPath();  // ProgramFolder() + "/Strings.ini"

// Language code of the desktop: the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set and
// not empty, cut before "_", ".", "@" or ":" and in lower case ("pl_PL.UTF-8" -> "pl"). "" for the
// C and POSIX locales, for none at all, and for anything that is not two or three letters.
std::string DesktopLanguage();

// The texts file shipped for a language: <lang dir>/<code>.ini, where the lang dir lies at the same
// place relative to the program file in an installation and in the build tree
// (bin/veltra-qrm -> share/veltra-qrm/lang). "" when there is no such file for the code.
std::string LanguageFilePath(const std::string& code);

// A text of a window that more than one place shows: its section, its key and its English text,
// named once (for example the read command's texts, which the window and the headless reader share).
struct TTextKey {
  const char* Section;
  const char* Key;
  const char* English;
  QString Default() const { return QString::fromUtf8(English); }
};

// One window's look-ups. A key in Strings.ini wins; else the shipped file of the desktop's language
// (when there is one); else def, the built-in English text. Values are UTF-8. A present key with an
// empty value gives "". Names are compared without regard to letter case; at most 2047 bytes of a
// value are used. Each file is read once, when the table is made: a window's texts come from one
// reading, and the next window made sees an edited file.
class TTextTable {
 public:
  TTextTable();
  explicit TTextTable(const std::string& path);  // this file only, no language file (tests)
  QString Read(const char* section, const char* key, const char* def) const;
  QString Read(const TTextKey& text) const { return Read(text.Section, text.Key, text.English); }
  const std::string& FileName() const { return ini_.FileName(); }
  const std::string& LanguageFileName() const { return language_.FileName(); }

 private:
  TIniSnapshot ini_;
  TIniSnapshot language_;  // "" when the built-in texts are the fallback
};

// Qt's own texts (file and print dialogs, standard buttons) in the language whose texts file is
// shipped for the desktop's language, when Qt's translations for it are installed. Needs the
// application object; a missing translation leaves Qt's English.
void LoadToolkitTranslation();

// Tests see every lookup as (section, key); an empty function ends that. UI thread only.
void SetTextLookupObserverForTesting(std::function<void(const std::string&, const std::string&)> observer);
