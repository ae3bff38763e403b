#pragma once
// The reports the main window keeps and opens again: the history folder every read is kept in, File >
// Recent Reports (up to eight files, read or opened, most recent first, kept in the settings file as
// [Recent] File1...File8) and report files opened by File > Open or a drop. It shows the boxes these
// need and reads their texts from the main window's section.
//
//   auto* shelf = new TReportShelf(recentMenu, window);   // fills the menu each time it shows
//   shelf->Keep(report);                                   // after a read: history copy, recent entry
//   if (std::optional<TReport> r = shelf->Load(path)) window->ShowReport(std::move(*r));
//   connect(shelf, &TReportShelf::openRequested, ...);     // a Recent Reports entry chosen
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "device/Report.h"

class QMenu;
class QWidget;

class TReportShelf : public QObject {
  Q_OBJECT
 public:
  static constexpr int kMost = 8;

  TReportShelf(QMenu* recentMenu, QWidget* window);

  // Keeps a read's report in the history folder (unless [History] Keep=0) and lists its copy there;
  // when it cannot, one box names the folder and the reason, and the report stays as it is.
  void Keep(const TReport& report);
  // Reads a report file; a refused one gets a box naming the file and the reason, and gives none.
  std::optional<TReport> Load(const QString& path);
  // The file the operator picks in the open dialog, which starts in the history folder; "" = none.
  QString ChooseFile(const QString& caption);
  // A Recent Reports entry: the path when its file is still there; else the entry goes with a box.
  bool StillThere(const QString& path);

  QStringList Files() const;  // the Recent Reports, most recent first

 signals:
  void openRequested(const QString& path);

 private:
  void Add(const QString& path);
  void Store(const QStringList& files);
  void Fill();

  QMenu* menu_;
  QWidget* window_;
};
