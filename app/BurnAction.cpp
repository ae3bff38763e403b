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
#include "support/IniFile.h"
#include "support/TextUtils.h"

#include "app/ReportFile.h"

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

// The report file name is printer text in code page 1250; the disc carries UTF-8 names, so this is the
// one place where it becomes a file-system name. A name that would leave the temporary folder is still
// made harmless here, since the folder is removed afterwards.
std::string CopyNameOf(const std::string& reportFileName) {
  const QString name = AnsiStringToWideString(SafeFileNameStem(reportFileName), 1250);
  if (name.isEmpty() != reportFileName.empty()) {
    throw Exception("The report name \"" + reportFileName + "\" cannot be written as a file name");
  }
  return name.toUtf8().toStdString();
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

void BurnReport(QWidget* mainWindow, const TStringList& lines, const std::string& reportFileName,
                const std::string& fileNameStem) {
  const std::string folder = MakeTempFolderPath(MakeTempFolderName());
  const std::string copy = folder + "/" + CopyNameOf(reportFileName);
  std::exception_ptr failure;
  try {
    ::rmdir(folder.c_str());
    ::mkdir(folder.c_str(), 0700);
    WriteReportFile(copy, lines);

    // The settings' image files join the recorder list; the last one chosen in the dialog is
    // where its "Image file..." choice starts.
    TIniFile_VT settings;
    SetImageTargets(SplitImageTargets(settings.ReadString("Disc", "ImageTargets", ""), UserProgramFolder()));
    auto dialog = std::make_unique<TfmBurnToCD>(nullptr);
    const QString lastImage = QString::fromStdString(settings.ReadString("Disc", "LastImageFile", ""));
    dialog->ImageFile = lastImage;
    // The folder is a file-system path (locale encoding); only the printer's stem is code-page text.
    dialog->SetSourceFolder(QFile::decodeName(QByteArray::fromStdString(folder)));
    dialog->SetVolumeName(AnsiStringToWideString(fileNameStem, 1250));
    if (mainWindow) {
      dialog->move(mainWindow->frameGeometry().center() - dialog->rect().center());
    }
    dialog->exec();
    if (dialog->ImageFile != lastImage)
      settings.WriteString("Disc", "LastImageFile", dialog->ImageFile.toStdString());
  } catch (...) {
    failure = std::current_exception();
  }
  RemoveTempFolder(folder, copy);
  if (failure) std::rethrow_exception(failure);
}

extern "C" void vq_burn_report(QWidget* mainWindow, const TStringList& lines,
                               const std::string& reportFileName, const std::string& fileNameStem) {
  BurnReport(mainWindow, lines, reportFileName, fileNameStem);
}
