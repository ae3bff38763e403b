#include "app/BurnAction.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "disc/BurnToCD.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"
#include "support/Settings.h"
#include "support/TextUtils.h"

#include "device/ReportCodec.h"

namespace {

std::function<void(int)>& RetryPause() {
  static std::function<void(int)> pause;
  return pause;
}

void Pause(int ms) {
  if (RetryPause()) {
    RetryPause()(ms);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

}  // namespace

std::string MakeTempFolderName() {
  const QDateTime now = QDateTime::currentDateTime();
  const std::string date = now.toString(QStringLiteral("ddMMyy")).toStdString();
  const std::string time = now.toString(QStringLiteral("HHmmss")).toStdString();
  return "VT_TEMP_" + date + "_" + time;
}

std::string MakeTempFolderPath(const std::string& folderName) {
  return GetLocalAppDataPath() + "/" + folderName;
}

void SetRemoveTempFolderPauseForTesting(std::function<void(int)> pause) { RetryPause() = std::move(pause); }

void RemoveTempFolder(const std::string& folder, const std::string& reportCopy) {
  try {
    ::unlink(reportCopy.c_str());
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (::rmdir(folder.c_str()) == 0) return;
      Pause(500);
    }
  } catch (...) {
    // Clean-up never reports anything.
  }
}

void BurnReport(QWidget* mainWindow, const TReportLines& lines, const std::string& reportFileName,
                const std::string& fileNameStem) {
  const std::string folder = MakeTempFolderPath(MakeTempFolderName());
  // The disc carries UTF-8 names; a name that would leave the folder is made harmless too.
  const std::string copy = folder + "/" + ReportFileNameOnDisk(reportFileName);
  std::exception_ptr failure;
  try {
    ::rmdir(folder.c_str());
    ::mkdir(folder.c_str(), 0700);
    WriteReportFile(copy, lines);

    // The settings' image files join the recorder list; the last one chosen in the dialog is
    // where its "Image file..." choice starts.
    TIniFile_VT settings;
    SetImageTargets(ImageTargetsOf(settings));
    auto dialog = std::make_unique<TfmBurnToCD>(nullptr);
    const QString lastImage = QString::fromStdString(ReadSetting(settings, Setting::LastImageFile));
    dialog->ImageFile = lastImage;
    // The folder is a file-system path (locale encoding); only the printer's stem is code-page text.
    dialog->SetSourceFolder(QFile::decodeName(QByteArray::fromStdString(folder)));
    dialog->SetVolumeName(ReportText(fileNameStem));
    if (mainWindow) {
      dialog->move(mainWindow->frameGeometry().center() - dialog->rect().center());
    }
    dialog->exec();
    if (dialog->ImageFile != lastImage)
      WriteSetting(settings, Setting::LastImageFile, dialog->ImageFile.toStdString());
  } catch (...) {
    failure = std::current_exception();
  }
  RemoveTempFolder(folder, copy);
  if (failure) std::rethrow_exception(failure);
}

extern "C" void vq_burn_report(QWidget* mainWindow, const TReportLines& lines,
                               const std::string& reportFileName, const std::string& fileNameStem) {
  BurnReport(mainWindow, lines, reportFileName, fileNameStem);
}
