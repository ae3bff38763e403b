#pragma once
// The burn dialog (library vq_disc_ui): pick a recorder, name the volume, burn a prepared folder with
// progress and cancel. It uses disc/ only through disc/DiscComponents.h.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "disc/DiscComponents.h"
#include "ui_BurnToCD.h"

// The controls are the generated form's members, named as in the window definition.
class TfmBurnToCD : public QDialog, public Ui::fmBurnToCD {
  Q_OBJECT
 public:
  explicit TfmBurnToCD(QWidget* owner = nullptr);

  void SetSourceFolder(const QString& folder) { SourceFolder = folder; }
  // Keeps the proposed name and shows it with the letters a-z upper-cased (nothing else changes).
  void SetVolumeName(const QString& name);
  QString ProposedVolumeName() const { return proposedVolumeName_; }

  void LoadTexts();
  void FillRecorderList();
  void SetControlsEnabled(bool enabled);
  QString ActionText(TWriteAction action) const;
  // The time line for the given seconds, as the progress handler shows it.
  QString TimeLine(int32_t elapsed, int32_t total, int32_t remaining) const;

  // Starts the archive job and returns; the job's end shows the success or the failure box.
  void btnBurnClick();
  // The request is the job's cancel flag; the writer passes it on at its next progress notice.
  void btnCancelClick();
  void btnExitClick() { close(); }
  // Every way of closing ends here (Exit, Esc, the close box): while an archive runs it asks for
  // Cancel and the dialog stays until the job has really ended.
  void done(int result) override;
  // The progress bar and the time line for the archive job's elapsed seconds of its estimated total.
  void ShowProgress(qint64 elapsed, qint64 total);
  bool Burning() const { return job_ != nullptr; }

  // The image file of the last "Image file..." choice; the opener may preset it (as the dialog's
  // starting point) and read it afterwards.
  QString ImageFile;
  // Tests replace the save dialog of the "Image file..." entry: it gets the proposed file and gives
  // the chosen one, empty when the operator cancelled. An empty function restores the real dialog.
  static void SetImageFileDialogForTesting(std::function<QString(QWidget*, const QString&)> dialog);

  TDiscRecorder* DiscRecorder = nullptr;
  TDiscWrite* DiscWrite = nullptr;
  TDiscImage* DiscImage = nullptr;

  QString SourceFolder;

 private:
  void FormCreate();
  void BurnFinished();
  bool ChooseImageFile();

  std::unique_ptr<TArchiveJob> job_;  // ends (cancelled, waited for) before the components go
  QString proposedVolumeName_;
  QString actionTexts_[8];
  QString operSucc_, deviceWord_, imageFileWord_, secondUnit_, elapsedLabel_, estimatedLabel_,
      remainingLabel_, preparing_;
};
