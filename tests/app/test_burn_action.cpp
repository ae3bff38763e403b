// The Burn action: temporary folder, report copy, dialog, clean-up, and two archives on one image file,
// one of them opened again through the Archive action.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "app/ArchiveAction.h"
#include "app/BurnAction.h"
#include "device/ReportCodec.h"
#include "disc/ArchiveDialog.h"
#include "disc/BurnToCD.h"
#include "disc/DiscService.h"
#include "support/AppPaths.h"
#include "support/IniFile.h"
#include "support/MessageBox.h"
#include "support/Settings.h"

namespace {

QStringList ImageFiles(const QString& image) {
  QProcess p;
  p.start(QStringLiteral("xorriso"), {QStringLiteral("-indev"), image, QStringLiteral("-find"),
                                      QStringLiteral("/"), QStringLiteral("-type"), QStringLiteral("f")});
  p.waitForFinished(30000);
  QStringList files;
  for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1Char('\''))) files << line.mid(1, line.size() - 2);
  }
  files.sort();
  return files;
}

class BurnAction : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program.isValid());
    SetProgramFilePathForTesting(program.filePath(QStringLiteral("veltra-qrm")).toStdString());
    SetMessageBoxObserverForTesting([this](const MessageBoxRequest& r) {
      boxes << r.text;
      return IDOK;
    });
    pauses = 0;
    SetRemoveTempFolderPauseForTesting([this](int ms) {
      EXPECT_EQ(ms, 500);
      ++pauses;
    });
  }
  void TearDown() override {
    SetMessageBoxObserverForTesting({});
    SetRemoveTempFolderPauseForTesting({});
    SetProgramFilePathForTesting("");
  }
  // Runs `step` on the burn dialog once it is shown modally.
  QTimer* OnDialog(std::function<void(TfmBurnToCD*)> step) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
      if (auto* dlg = qobject_cast<TfmBurnToCD*>(QApplication::activeModalWidget())) {
        timer->stop();
        timer->deleteLater();
        step(dlg);
      }
    });
    timer->start();
    return timer;
  }

  QTemporaryDir program;
  QStringList boxes;
  int pauses = 0;
};

TEST_F(BurnAction, TempFolderName) {
  const std::string name = MakeTempFolderName();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^VT_TEMP_\\d{6}_\\d{6}$"))
                  .match(QString::fromStdString(name))
                  .hasMatch())
      << name;
  EXPECT_EQ(MakeTempFolderPath(name), GetLocalAppDataPath() + "/" + name);
  EXPECT_EQ(SplitImageTargets(" /x/a.iso ;;rel.iso;", "/home/u/app"),
            (std::vector<std::string>{"/x/a.iso", "/home/u/app/rel.iso"}));
}

TEST_F(BurnAction, RemoveTempFolderRetriesFiftyTimesThenGivesUp) {
  QTemporaryDir tmp;
  const QString folder = tmp.filePath(QStringLiteral("VT_TEMP_x"));
  QDir().mkpath(folder);
  QFile(folder + QStringLiteral("/copy.txt")).open(QIODevice::WriteOnly);
  QFile(folder + QStringLiteral("/other.txt")).open(QIODevice::WriteOnly);
  RemoveTempFolder(folder.toStdString(), (folder + QStringLiteral("/copy.txt")).toStdString());
  EXPECT_EQ(pauses, 50);
  EXPECT_TRUE(QDir(folder).exists());
  EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/copy.txt")));
  pauses = 0;
  QFile::remove(folder + QStringLiteral("/other.txt"));
  RemoveTempFolder(folder.toStdString(), (folder + QStringLiteral("/copy.txt")).toStdString());
  EXPECT_EQ(pauses, 0);
  EXPECT_FALSE(QDir(folder).exists());
}

TEST_F(BurnAction, CopyInTempFolderWhileDialogShowsThenCleanedUp) {
  QString folder, volume, copy;
  QByteArray content;
  OnDialog([&](TfmBurnToCD* dlg) {
    folder = dlg->SourceFolder;
    volume = dlg->eVolumeName->text();
    const QStringList entries = QDir(folder).entryList(QDir::Files);
    copy = entries.value(0);
    QFile f(folder + QLatin1Char('/') + copy);
    f.open(QIODevice::ReadOnly);
    content = f.readAll();
    dlg->btnExit->click();
  });
  BurnReport(nullptr, {"^ HEADER", "line \xB9"}, "zk12_D_2023-01.txt", "zk12\xB9");
  EXPECT_TRUE(folder.startsWith(QString::fromStdString(GetLocalAppDataPath()) + QStringLiteral("/VT_TEMP_")));
  EXPECT_EQ(copy, QStringLiteral("zk12_D_2023-01.txt"));
  EXPECT_EQ(content, QByteArray("^ HEADER\r\nline \xB9\r\n"));
  EXPECT_EQ(volume, QStringLiteral("ZK12\u0105"));  // code page 1250, letters a-z upper-cased only
  EXPECT_FALSE(QDir(folder).exists());
  EXPECT_EQ(pauses, 0);
}

TEST_F(BurnAction, FailureIsThrownAfterCleanUp) {
  // A plain file where the folder should be: neither the folder nor the copy can be made.
  const QString base = QString::fromStdString(GetLocalAppDataPath());
  std::vector<QString> blockers;
  for (int i = 0; i < 3; ++i) {
    const QString p = QString::fromStdString(MakeTempFolderPath(
        "VT_TEMP_" +
        QDateTime::currentDateTime().addSecs(i).toString(QStringLiteral("ddMMyy_HHmmss")).toStdString()));
    QFile(p).open(QIODevice::WriteOnly);
    blockers.push_back(p);
  }
  bool dialogShown = false;
  QTimer* watcher = OnDialog([&](TfmBurnToCD* dlg) {
    dialogShown = true;
    dlg->close();
  });
  EXPECT_THROW(BurnReport(nullptr, {"x"}, "r.txt", "S"), Exception);
  EXPECT_FALSE(dialogShown);
  EXPECT_EQ(pauses, 50);  // the clean-up ran (and gave up on the file) before the throw
  for (const QString& p : blockers) QFile::remove(p);
  delete watcher;
}

TEST_F(BurnAction, TwoArchivesOnTheImageFileOfTheSettings) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("archive.iso"));
  TIniFile_VT().WriteString("Disc", "ImageTargets", image.toStdString());
  auto burnOnce = [&](const std::string& fileName) {
    OnDialog([&](TfmBurnToCD* dlg) {
      EXPECT_EQ(dlg->cbRecorder->count(), 2);  // the settings' image file and "Image file..."
      dlg->btnBurn->click();
    });
    boxes.clear();
    BurnReport(nullptr, {"report " + fileName}, fileName, "ZK0001");
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Operation completed successfully!")});
  };
  burnOnce("ZK0001_D_2023-01.txt");
  EXPECT_EQ(ImageFiles(image), QStringList{QStringLiteral("/ZK0001_D_2023-01.txt")});
  burnOnce("ZK0001_D_2023-02.txt");
  EXPECT_EQ(ImageFiles(image),
            (QStringList{QStringLiteral("/ZK0001_D_2023-01.txt"), QStringLiteral("/ZK0001_D_2023-02.txt")}));
  EXPECT_TRUE(
      QDir(QString::fromStdString(GetLocalAppDataPath())).entryList({QStringLiteral("VT_TEMP_*")}).isEmpty());
}

TEST_F(BurnAction, ImageFileChosenInTheDialogTakesASessionEachTimeAndIsRemembered) {
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("chosen.iso"));
  TIniFile_VT().WriteString("Disc", "LastImageFile", "");
  QStringList proposed;
  TfmBurnToCD::SetImageFileDialogForTesting([&](QWidget*, const QString& last) {
    proposed << last;
    return image;
  });
  for (const std::string name : {"A_1.txt", "A_2.txt"}) {
    OnDialog([](TfmBurnToCD* dlg) {
      dlg->cbRecorder->setCurrentIndex(dlg->cbRecorder->count() - 1);
      dlg->btnBurn->click();
    });
    boxes.clear();
    BurnReport(nullptr, {"r"}, name, "A");
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Operation completed successfully!")});
  }
  TfmBurnToCD::SetImageFileDialogForTesting({});
  EXPECT_EQ(proposed, (QStringList{QString(), image}));
  EXPECT_EQ(ImageFiles(image), (QStringList{QStringLiteral("/A_1.txt"), QStringLiteral("/A_2.txt")}));
}

TEST_F(BurnAction, CodePageStemBurnedTwiceUnderItsUnicodeName) {
  // A stem with code-page letters (Ł = 0xA3, Ś = 0x8C) used to give a success box and an empty disc.
  QTemporaryDir tmp;
  const QString image = tmp.filePath(QStringLiteral("archive.iso"));
  TIniFile_VT().WriteString("Disc", "ImageTargets", image.toStdString());
  const std::string stem =
      "ZAK\xA3"
      "AD \x8C 01";
  const QString unicode = QStringLiteral("ZAK\u0141AD\u015A01");
  for (const std::string range : {"_D_2023-01.txt", "_D_2023-02.txt"}) {
    OnDialog([&](TfmBurnToCD* dlg) { dlg->btnBurn->click(); });
    boxes.clear();
    BurnReport(nullptr, {"^ HEADER", "line \xA3"}, SafeFileNameStem(stem) + range, stem);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("Operation completed successfully!")});
  }
  EXPECT_EQ(ImageFiles(image), (QStringList{QLatin1Char('/') + unicode + QStringLiteral("_D_2023-01.txt"),
                                            QLatin1Char('/') + unicode + QStringLiteral("_D_2023-02.txt")}));
  QProcess toc;
  toc.start(QStringLiteral("xorriso"), {QStringLiteral("-indev"), image, QStringLiteral("-toc")});
  toc.waitForFinished(30000);
  EXPECT_EQ(QString::fromUtf8(toc.readAllStandardOutput())
                .count(QRegularExpression(QStringLiteral("(?m)^ISO session"))),
            2);
  const QString out = tmp.filePath(QStringLiteral("back.txt"));
  QProcess extract;
  extract.start(
      QStringLiteral("xorriso"),
      {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"), image,
       QStringLiteral("-extract"), QLatin1Char('/') + unicode + QStringLiteral("_D_2023-02.txt"), out});
  extract.waitForFinished(30000);
  QFile back(out);
  ASSERT_TRUE(back.open(QIODevice::ReadOnly));
  EXPECT_EQ(back.readAll(), QByteArray("^ HEADER\r\nline \xA3\r\n"));

  // Opened again from the Archive window: the lines and the code-page name as they were read.
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* window = qobject_cast<TfmArchive*>(QApplication::activeModalWidget());
    if (window && !window->Reading() && window->tblReports->rowCount() == 2) window->btnOpen->click();
  });
  timer.start(5);
  TReport opened;
  ASSERT_TRUE(OpenArchivedReport(nullptr, opened));
  EXPECT_EQ(opened.FileName, SafeFileNameStem(stem) + "_D_2023-02.txt");
  EXPECT_EQ(opened.Stem, SafeFileNameStem(stem));
  EXPECT_EQ(opened.RangePart, "D_2023-02");
  EXPECT_EQ(opened.Lines, (TReportLines{"^ HEADER", "line \xA3"}));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
