// Renders every window of the program into PNG files, for the documentation and for checking
// by eye that no text is cut: the main window with a report, the read options, the progress
// window, the burn dialog and its success box, and the Archive window over an image file of three
// sessions after Check. Usage: vq-window-shots <folder> <name prefix>.
// The texts follow the environment as in the program (Strings.ini, language); the scale comes
// from QT_SCALE_FACTOR.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QLabel>
#include <QMenu>
#include <QtTest/QTest>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/BurnAction.h"
#include "app/ReaderFM.h"
#include "device/ReadTexts.h"
#include "device/ReportCodec.h"
#include "disc/ArchiveDialog.h"
#include "disc/BurnToCD.h"
#include "jobs/SmallProgressForm.h"
#include "options/ReadOptions.h"
#include "support/AppPaths.h"
#include "support/InterfaceTexts.h"
#include "support/Settings.h"
#include "support/MessageBox.h"
#include "tools/PrinterSim.h"

namespace {

QString g_folder, g_prefix;
int g_failures = 0;

void Save(QWidget* window, const char* name, bool settle = true) {
  if (settle) QCoreApplication::processEvents();
  const QString file = QStringLiteral("%1/%2-%3.png").arg(g_folder, g_prefix, QLatin1String(name));
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    ++g_failures;
  } else {
    std::printf("%s\n", qPrintable(file));
  }
}

void WaitWhileReading(const TfmArchive& window) {
  QElapsedTimer clock;
  clock.start();
  while (window.Reading() && clock.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// An image file with a report in each of three sessions, written by the disc components.
QString MakeArchiveImage(const QTemporaryDir& tmp) {
  const QString image = tmp.filePath(QStringLiteral("archive.iso"));
  SetImageTargets({image.toStdString()});
  const char* const ranges[][2] = {
      {"0001_0007", "D,1,1,7"}, {"0008_0014", "D,1,8,14"}, {"0015_0021", "D,1,15,21"}};
  for (const auto& [range, params] : ranges) {
    const QString folder = tmp.filePath(QString::fromLatin1(range));
    QDir().mkpath(folder);
    WriteReportFile((folder + QStringLiteral("/ZHK12345678_") + QLatin1String(range) + QStringLiteral(".txt"))
                        .toStdString(),
                    BuildSimReport(PrinterSimOptions(), 95, params).Lines);
    TDiscRecorder recorder;
    TDiscWrite writer;
    TDiscImage disc;
    writer.SetRecorder(&recorder);
    disc.SetDiscWrite(&writer);
    disc.SourceTree = folder;
    disc.WriteToDisc();
  }
  return image;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: vq-window-shots <folder> <name prefix>\n");
    return 2;
  }
  g_folder = QString::fromLocal8Bit(argv[1]);
  g_prefix = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(g_folder);
  InstallFontSubstitutes();
  SetApplicationTitle(QStringLiteral("VELTRA_QRM"));

  TfmReaderFM main;
  PrinterSimOptions sim;
  TReport report;
  report.Lines = BuildSimReport(sim, 94, "D,1,010124,310124").Lines;
  main.ShowReport(std::move(report));
  main.show();
  Save(&main, "main");
  {
    // The File menu as it opens, and the find bar at work.
    auto* file = main.findChild<QMenu*>(QStringLiteral("mmFile"));
    file->popup(main.mapToGlobal(QPoint(0, 0)));
    Save(file, "menu");
    file->hide();
    main.activateWindow();
    QTest::keyClick(&main, Qt::Key_F, Qt::ControlModifier);
    if (auto* field = main.findChild<QLineEdit*>(QStringLiteral("eFind")))
      field->setText(QStringLiteral("ptu"));
    Save(&main, "find");
    QTest::keyClick(main.findChild<QLineEdit*>(QStringLiteral("eFind")), Qt::Key_Escape);
  }

  {
    TfmReadOptions options(&main);
    options.show();
    Save(&options, "options");
  }
  {
    // Shown without a job it would close itself once events run; the picture is taken first.
    TSmallProgressForm progress(&main);
    const TTextTable texts;
    progress.setWindowTitle(texts.Read(ReadTexts::Caption));
    progress.lblStatus->setText(texts.Read(ReadTexts::StatusLabel));
    progress.btnCancel->setText(texts.Read(ReadTexts::Cancel));
    progress.eStat->setText(texts.Read(ReadTexts::Progress));
    progress.show();
    Save(&progress, "progress", false);
    progress.hide();
  }
  {
    // The image files of the settings join the recorder list, as Burn offers them.
    SetImageTargets(
        SplitImageTargets(ReadSetting(TIniFile_VT(), Setting::ImageTargets), UserProgramFolder()));
    TfmBurnToCD burn(&main);
    burn.SetVolumeName(QStringLiteral("ZHK12345678"));
    burn.show();
    Save(&burn, "burn");
    // The success box, as the dialog shows it after a write.
    QTimer::singleShot(0, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
          Save(box, "success");
          box->accept();
        }
    });
    const TTextTable texts;
    ShowMessageBox(&burn, texts.Read("fmBurnToCD", "OperSucc", "Operation completed successfully!"), 0xFF,
                   MB_OK, QString(), 0);
  }
  {
    QTemporaryDir tmp;
    const QString image = MakeArchiveImage(tmp);
    TfmArchive archive(&main);
    archive.show();
    WaitWhileReading(archive);
    // The machine's drives come first in the list; the picture shows the image file.
    const int entry = archive.cbSource->findText(image, Qt::MatchContains);
    archive.cbSource->setCurrentIndex(entry);
    emit archive.cbSource->activated(entry);
    WaitWhileReading(archive);
    archive.btnCheck->click();
    WaitWhileReading(archive);
    Save(&archive, "archive");
  }
  return g_failures == 0 ? 0 : 1;
}
