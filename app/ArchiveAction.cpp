#include "app/ArchiveAction.h"

#include <QFileInfo>
#include <QWidget>

#include "device/ReportCodec.h"
#include "disc/ArchiveDialog.h"
#include "support/Settings.h"

bool OpenArchivedReport(QWidget* mainWindow, TReport& opened) {
  // The settings' image files join the list as in Burn; "Image file..." starts at the last one chosen.
  TIniFile_VT settings;
  SetImageTargets(ImageTargetsOf(settings));
  TfmArchive window(mainWindow);
  const QString lastImage = QString::fromStdString(ReadSetting(settings, Setting::LastImageFile));
  window.ImageFile = lastImage;
  if (mainWindow) window.move(mainWindow->frameGeometry().center() - window.rect().center());
  const bool accepted = window.exec() == QDialog::Accepted;
  if (window.ImageFile != lastImage)
    WriteSetting(settings, Setting::LastImageFile, window.ImageFile.toStdString());
  if (!accepted) return false;
  // Names on the disc are Unicode; the program names its reports in the printer's code page.
  opened.FileName = ReportBytes(QFileInfo(window.OpenedName).fileName());
  const size_t cut = opened.FileName.find('_');
  const std::string withoutExtension = opened.FileName.substr(0, opened.FileName.rfind(".txt"));
  opened.Stem = withoutExtension.substr(0, cut);
  opened.RangePart = cut == std::string::npos ? std::string() : withoutExtension.substr(cut + 1);
  opened.Lines = SplitReportText(std::move(window.OpenedBytes));
  return true;
}

extern "C" bool vq_archive_window(QWidget* mainWindow, TReport& opened) {
  return OpenArchivedReport(mainWindow, opened);
}
