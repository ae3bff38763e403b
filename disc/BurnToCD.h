#pragma once
// The burn dialog: pick a recorder, name the volume, burn a prepared folder with progress and cancel.
#include <QDialog>
#include <QString>
#include <memory>

#include "disc/DiscComponents.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
namespace Ui {
class fmBurnToCD;
}

class TfmBurnToCD : public QDialog {
  Q_OBJECT
 public:
  explicit TfmBurnToCD(QWidget* owner = nullptr);
  ~TfmBurnToCD() override;

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

  void btnBurnClick();
  void btnCancelClick() { CancelRequested = true; }
  void btnExitClick() { close(); }
  // Esc and the close box: while a write runs they ask for Cancel instead of closing.
  void reject() override;
  void DiscWriteUpdate(QObject* sender, TWriteAction currentAction, bool& cancel, int32_t totalTime,
                       int32_t elapsedTime, int32_t remainingTime, int32_t totalSystemBuffer,
                       int32_t usedSystemBuffer, int32_t freeSystemBuffer, int32_t sectorCount,
                       int32_t startLba, int32_t lastReadLba, int32_t lastWrittenLba);

  // Controls and components, named as in the window definition.
  QLabel* lblRecorder = nullptr;
  QComboBox* cbRecorder = nullptr;
  QLabel* lblVolumeName = nullptr;
  QLineEdit* eVolumeName = nullptr;
  QCheckBox* chFinalize = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLabel* lblStatus = nullptr;
  QLabel* lblTime = nullptr;
  QPushButton* btnBurn = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnExit = nullptr;
  TDiscRecorder* DiscRecorder = nullptr;
  TDiscWrite* DiscWrite = nullptr;
  TDiscImage* DiscImage = nullptr;

  bool CancelRequested = false;
  QString SourceFolder;

 private:
  void FormCreate();

  std::unique_ptr<Ui::fmBurnToCD> ui_;
  bool writing_ = false;
  QString proposedVolumeName_;
  QString actionTexts_[8];
  QString operSucc_, deviceWord_, secondUnit_, elapsedLabel_, estimatedLabel_, remainingLabel_, preparing_;
};
