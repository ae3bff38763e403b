#include "app/ReportShelf.h"

#include <sys/stat.h>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <vector>

#include "app/ReportFiles.h"
#include "device/ReadTexts.h"
#include "support/InterfaceTexts.h"
#include "support/MessageBox.h"
#include "support/Settings.h"

namespace {

QString Local(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QString Filled(QString text, const QString& one, const QString& two = {}) {
  return text.replace(QLatin1String("%1"), one).replace(QLatin1String("%2"), two);
}

// The texts are read where they are needed: none is needed to start the program.
QString Text(const TTextKey& key) { return TTextTable().Read(key); }
constexpr TTextKey kOpenFilter{"fmReaderFM", "OpenFilter", "Text file (*.txt)"};
constexpr TTextKey kOpenFailed{"fmReaderFM", "OpenFailed", "The file %1 cannot be opened: %2"};
constexpr TTextKey kTooLarge{"fmReaderFM", "OpenTooLarge", "it is larger than 64 MiB"};
constexpr TTextKey kNotText{"fmReaderFM", "OpenNotText", "it is not a text file"};
constexpr TTextKey kNotAFile{"fmReaderFM", "OpenNotAFile", "it is not a file"};
constexpr TTextKey kRecentGone{"fmReaderFM", "RecentGone",
                               "The report %1 is no longer there; it was taken off the list."};

}  // namespace

TReportShelf::TReportShelf(QMenu* recentMenu, QWidget* window)
    : QObject(window), menu_(recentMenu), window_(window) {
  menu_->setToolTipsVisible(true);
  // Filled when it opens: the start of the program reads nothing for it.
  connect(menu_, &QMenu::aboutToShow, this, &TReportShelf::Fill);
}

void TReportShelf::Keep(const TReport& report) {
  if (report.Lines.empty() || !HistoryEnabled()) return;
  try {
    Add(Local(KeepReport(report)));
  } catch (const EReportNotKept& e) {
    ShowErrorBox(Filled(Text(ReadTexts::KeepFailed), Local(e.Folder), QString::fromUtf8(e.Reason.c_str())));
  }
}

std::optional<TReport> TReportShelf::Load(const QString& path) {
  try {
    TReport report = LoadReportFile(QFile::encodeName(path).toStdString());
    Add(path);
    return report;
  } catch (const EReportFileRefused& e) {
    const QString reason = e.Reason == EReportFileRefused::TooLarge  ? Text(kTooLarge)
                           : e.Reason == EReportFileRefused::NotText ? Text(kNotText)
                           : e.Reason == EReportFileRefused::NotAFile
                               ? Text(kNotAFile)
                               : QString::fromLocal8Bit(e.SystemReason.c_str());
    ShowErrorBox(Filled(Text(kOpenFailed), path, reason));
    return std::nullopt;
  }
}

QString TReportShelf::ChooseFile(const QString& caption) {
  const std::string history = HistoryFolder();
  ::mkdir(history.c_str(), 0700);  // the dialog starts there even before the first read
  return QFileDialog::getOpenFileName(window_, caption, Local(history), Text(kOpenFilter));
}

bool TReportShelf::StillThere(const QString& path) {
  if (QFileInfo::exists(path)) return true;
  Store([&] {
    QStringList files = Files();
    files.removeAll(path);
    return files;
  }());
  ShowMessageBox(window_, Filled(Text(kRecentGone), path), mkInformation, 0, QString(), 0);
  return false;
}

QStringList TReportShelf::Files() const {
  QStringList files;
  for (const std::string& f : ReadSetting(TIniFile_VT(), Setting::RecentReports)) files << Local(f);
  return files;
}

void TReportShelf::Add(const QString& path) {
  QStringList files = Files();
  files.removeAll(path);
  files.prepend(path);
  Store(files);
}

void TReportShelf::Store(const QStringList& files) {
  std::vector<std::string> values;
  for (const QString& f : files.mid(0, kMost)) values.push_back(QFile::encodeName(f).toStdString());
  // The list is a convenience: a settings file that cannot be written must not stop a read or an Open.
  try {
    TIniFile_VT ini;
    WriteSetting(ini, Setting::RecentReports, values);
  } catch (const std::exception&) {
  }
}

void TReportShelf::Fill() {
  menu_->clear();
  for (const QString& file : Files()) {
    // "&" in a file name is shown, not taken for a shortcut letter.
    QAction* entry =
        menu_->addAction(QFileInfo(file).fileName().replace(QLatin1Char('&'), QLatin1String("&&")));
    entry->setToolTip(file);
    connect(entry, &QAction::triggered, this, [this, file] { emit openRequested(file); });
  }
}
