// Interface language: the Polish file under a Polish locale, English otherwise, Strings.ini first.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <cstdlib>
#include <array>
#include <map>
#include <set>

#include "app/ReaderFM.h"
#include "tests/support/WindowFit.h"
#include "disc/ArchiveDialog.h"
#include "disc/BurnToCD.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/InterfaceTexts.h"
#include "tests/disc/FakeDiscService.h"

namespace {

// Sets the four locale variables, "" unsetting one. Every test here sets all four itself.
void SetLocale(std::array<const char*, 4> values) {
  const char* const names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  for (size_t i = 0; i < 4; ++i) {
    if (*values[i])
      ::setenv(names[i], values[i], 1);
    else
      ::unsetenv(names[i]);
  }
}

// Every caption a window shows, by object name (the main window's title is the product's name).
std::map<QString, QString> Captions(QWidget* w) {
  std::map<QString, QString> out;
  if (!qobject_cast<TfmReaderFM*>(w)) out[QStringLiteral("Caption")] = w->windowTitle();
  for (QLabel* l : w->findChildren<QLabel*>()) out[l->objectName()] = l->text();
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) out[b->objectName()] = b->text();
  for (QGroupBox* g : w->findChildren<QGroupBox*>()) out[g->objectName()] = g->title();
  for (QAction* a : w->findChildren<QAction*>()) out[a->objectName()] = ShownCaption(a->text());
  for (QMenu* m : w->findChildren<QMenu*>()) out[m->objectName()] = ShownCaption(m->title());
  return out;
}

// The windows that load texts, each made anew under the current locale.
std::vector<std::map<QString, QString>> AllCaptions() {
  disctest::FakeServiceScope fake;
  TfmReaderFM main;
  TfmReadOptions options;
  TfmBurnToCD burn;
  TfmArchive archive;
  return {Captions(&main), Captions(&options), Captions(&burn), Captions(&archive)};
}

class Languages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    // An installation in miniature: the program file's folder and the shipped Polish file at the
    // place the program looks for it, copied from the build tree.
    const QString bin = root_.filePath(QStringLiteral("bin"));
    const QString lang = QDir::cleanPath(bin + QStringLiteral("/" VQ_LANG_DIR_FROM_BIN));
    ASSERT_TRUE(QDir().mkpath(lang));
    polish_ = lang + QStringLiteral("/pl.ini");
    const QString built = QDir::cleanPath(QString::fromLocal8Bit(std::getenv("VQ_BUILD_DIR")) +
                                          QStringLiteral("/app/" VQ_LANG_DIR_FROM_BIN "/pl.ini"));
    ASSERT_TRUE(QFile::copy(built, polish_)) << built.toStdString();
    ASSERT_TRUE(QDir().mkpath(bin));
    SetProgramFilePathForTesting((bin + QStringLiteral("/veltra-qrm")).toStdString());
    strings_ = bin + QStringLiteral("/Strings.ini");
  }
  void TearDown() override {
    SetProgramFilePathForTesting("");
    SetTextLookupObserverForTesting({});
  }

  QTemporaryDir root_;
  QString polish_, strings_;
};

TEST(DesktopLanguage, FirstSetVariableDecides) {
  struct Case {
    std::array<const char*, 4> env;  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
    const char* code;
  };
  const Case cases[] = {
      {{"", "", "", "pl_PL.UTF-8"}, "pl"},
      {{"", "", "", ""}, ""},
      {{"pl:en", "en_US.UTF-8", "", ""}, "pl"},
      {{"", "en_GB.UTF-8", "pl_PL", "pl_PL"}, "en"},
      {{"", "", "pl_PL@euro", "de_DE"}, "pl"},
      {{"", "C", "", "pl_PL.UTF-8"}, ""},
      {{"", "POSIX", "", ""}, ""},
      {{"", "", "", "PL"}, "pl"},
      {{"", "", "", "C.UTF-8"}, ""},
      {{"", "", "", "../x"}, ""},
  };
  for (const Case& c : cases) {
    SetLocale(c.env);
    EXPECT_EQ(DesktopLanguage(), c.code) << c.env[0] << "|" << c.env[1] << "|" << c.env[2] << "|" << c.env[3];
  }
}

// Every key any window reads has a Polish text, and every caption shown differs from the English one
// (only texts that are the same in both languages may stay).
TEST_F(Languages, PolishLocaleTranslatesEveryKeyAndCaption) {
  std::set<std::pair<std::string, std::string>> keys;
  SetTextLookupObserverForTesting([&](const std::string& s, const std::string& k) { keys.insert({s, k}); });
  SetLocale({"", "", "", "pl_PL.UTF-8"});
  std::vector<std::map<QString, QString>> polish = AllCaptions();
  ASSERT_GT(keys.size(), 50u);
  const TIniFile file(polish_.toStdString());
  for (const auto& [section, key] : keys)
    EXPECT_NE(file.ReadString(section, key, "\n"), "\n") << section << "/" << key;

  SetLocale({"", "", "", "en_US.UTF-8"});
  SetTextLookupObserverForTesting({});
  std::vector<std::map<QString, QString>> english = AllCaptions();
  const QSet<QString> same = {QStringLiteral("OK"), QStringLiteral("/20"), QString()};
  for (size_t w = 0; w < polish.size(); ++w) {
    ASSERT_EQ(polish[w].size(), english[w].size());
    for (const auto& [name, text] : polish[w]) {
      if (!same.contains(text)) {
        EXPECT_NE(text.toStdString(), english[w][name].toStdString()) << name.toStdString();
      }
    }
  }
  EXPECT_EQ(polish[0][QStringLiteral("acRead")], QStringLiteral("Odczytaj"));
  EXPECT_EQ(polish[1][QStringLiteral("Caption")], QStringLiteral("Opcje"));
  EXPECT_EQ(polish[2][QStringLiteral("lblVolumeName")], QStringLiteral("Nazwa woluminu:"));
  EXPECT_EQ(english[0][QStringLiteral("mmFile")], QStringLiteral("File"));
  EXPECT_EQ(english[2][QStringLiteral("Caption")], QStringLiteral("Burn to CD/DVD"));
  EXPECT_EQ(polish[3][QStringLiteral("Caption")], QStringLiteral("Archiwum"));
}

TEST_F(Languages, OtherLocalesAndStringsIniKeyByKey) {
  struct Case {
    std::array<const char*, 4> env;
    bool writeStrings;
    const char *read, *print, *file;
  };
  const Case cases[] = {
      {{"", "", "", "de_DE.UTF-8"}, false, "Read", "Print", "File"},
      {{"", "C", "", "pl_PL.UTF-8"}, false, "Read", "Print", "File"},
      {{"pl", "", "", ""}, false, "Odczytaj", "Drukuj", "Plik"},
      // A key of Strings.ini wins, an empty one too; the other keys still come from the language.
      {{"", "", "", "pl_PL.UTF-8"}, true, "Fetch", "", "Plik"},
      {{"", "", "", "en_US.UTF-8"}, true, "Fetch", "", "File"},
  };
  for (const Case& c : cases) {
    QFile::remove(strings_);
    if (c.writeStrings) {
      QFile f(strings_);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("[FMREADERFM]\r\nacRead=Fetch\r\nacPrint=\r\n");
    }
    SetLocale(c.env);
    TfmReaderFM main;
    EXPECT_EQ(ShownCaption(main.findChild<QAction*>(QStringLiteral("acRead"))->text()),
              QString::fromUtf8(c.read))
        << c.env[3];
    EXPECT_EQ(ShownCaption(main.findChild<QAction*>(QStringLiteral("acPrint"))->text()),
              QString::fromUtf8(c.print))
        << c.env[3];
    EXPECT_EQ(ShownCaption(main.findChild<QMenu*>(QStringLiteral("mmFile"))->title()),
              QString::fromUtf8(c.file))
        << c.env[3];
  }
}

// Qt's own dialogs and buttons follow; English first, as a translator once installed stays.
TEST_F(Languages, ToolkitTextsFollowTheShippedLanguage) {
  const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  SetLocale({"", "", "", "de_DE.UTF-8"});  // Qt has German, the program has not
  LoadToolkitTranslation();
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  SetLocale({"", "", "", "pl_PL.UTF-8"});
  LoadToolkitTranslation();
  EXPECT_EQ(cancel(), QStringLiteral("Anuluj"));
}

}  // namespace
