#pragma once
// The Archive window (library vq_disc_ui): the reports on a disc or an image file, their check, and
// one of them opened again. It uses disc/ only through its public headers.
//
//   TfmArchive window(mainWindow);
//   window.ImageFile = lastImage;          // where "Image file..." starts; read back afterwards
//   if (window.exec() == QDialog::Accepted) use(window.OpenedName, window.OpenedBytes);
//
// The source list is the burn dialog's. Choosing a source lists its reports; Check reads every block
// and fills the State column and the summary; Open reads the selected report, checks it and closes
// the window. The reading runs as a job on a worker thread: meanwhile Check is its Cancel, and
// closing the window cancels it first.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc/DiscArchive.h"
#include "disc/DiscComponents.h"
#include "ui_Archive.h"

class TfmArchive : public QDialog, public Ui::fmArchive {
  Q_OBJECT
 public:
  explicit TfmArchive(QWidget* owner = nullptr);

  // The report Open read (its name on the disc, UTF-8 text, and its bytes); empty until then.
  QString OpenedName;
  std::string OpenedBytes;
  // The image file of the last "Image file..." choice; the opener may preset it.
  QString ImageFile;

  void btnCheckClick();  // Check, or Cancel while the archive is read
  void btnOpenClick();
  bool Reading() const { return job_ != nullptr; }
  // Every way of closing ends here: a running job is cancelled and the window closes once it ended.
  void done(int result) override;
  // The rows as shown, for a look at them.
  const std::vector<TArchivedReport>& Rows() const { return rows_; }

  // Tests replace the open dialog of the "Image file..." entry; an empty function restores it.
  static void SetImageFileDialogForTesting(std::function<QString(QWidget*, const QString&)> dialog);

  TDiscRecorder* DiscRecorder = nullptr;

 private:
  void LoadTexts();
  void SourceChosen(int index);
  void Start(TArchiveReadJob::TTask task, const QString& name = {});
  void Finished();
  void ShowRows(const std::vector<TArchivedReport>& rows);
  QString StateText(TReportState state) const;

  std::unique_ptr<TArchiveReadJob> job_;
  TArchiveReadJob::TTask task_ = TArchiveReadJob::List;
  std::vector<TArchivedReport> rows_;
  int shownSource_ = -1;  // the list entry whose reports are shown
  int sessions_ = 0;
  bool closeWhenDone_ = false;
  QString deviceWord_, imageFileWord_, check_, cancel_, reading_, unreadableSession_, listed_, allIntact_,
      someBad_;
  QString states_[5];
};
