#include "disc/BurnToCD.h"

#include <QFileDialog>
#include <QLabel>
#include <QStyle>
#include <algorithm>

#include "disc/RecorderList.h"
#include "support/InterfaceTexts.h"
#include "support/MessageBox.h"

namespace {

// The save dialog of the "Image file..." entry, when a test replaces it.
std::function<QString(QWidget*, const QString&)> g_imageFileDialog;

}  // namespace

void TfmBurnToCD::SetImageFileDialogForTesting(std::function<QString(QWidget*, const QString&)> dialog) {
  g_imageFileDialog = std::move(dialog);
}

TfmBurnToCD::TfmBurnToCD(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setupUi(this);
  btnBurn->setIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));
  btnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  SetUpRecorderList(cbRecorder);

  // A failure in a component's notice handler is shown like any other failure.
  TBurnComponent::EventErrorHandler() = [](const std::exception& e) { ShowErrorBox(e); };
  DiscRecorder = new TDiscRecorder(this);
  DiscRecorder->setObjectName(QStringLiteral("DiscRecorder"));
  DiscWrite = new TDiscWrite(this);
  DiscWrite->setObjectName(QStringLiteral("DiscWrite"));
  DiscWrite->SetRecorder(DiscRecorder);
  DiscImage = new TDiscImage(this);
  DiscImage->setObjectName(QStringLiteral("DiscImage"));
  DiscImage->SetDiscWrite(DiscWrite);

  connect(btnBurn, &QPushButton::clicked, this, [this] { btnBurnClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(btnExit, &QPushButton::clicked, this, [this] { btnExitClick(); });
  FormCreate();
  // The status and time lines change while a disc is written; they get room for their longest
  // texts now, so the dialog need not grow then.
  ensurePolished();
  int widest = lblTime->fontMetrics().horizontalAdvance(TimeLine(999, 999, 999));
  for (const QString& text : actionTexts_)
    widest = std::max(widest, lblStatus->fontMetrics().horizontalAdvance(text));
  widest = std::max(widest, lblStatus->fontMetrics().horizontalAdvance(preparing_));
  lblTime->setMinimumWidth(widest + 2 * lblTime->indent());
  lblStatus->setMinimumWidth(widest + 2 * lblStatus->indent());
  // The designed size is the least; the dialog may grow with its texts.
  setMinimumSize(DesignClientSize(469, 273).expandedTo(sizeHint()));
  resize(minimumSize());
}

void TfmBurnToCD::FormCreate() {
  LoadTexts();
  try {
    FillRecorderList();
  } catch (const std::exception& e) {
    ShowErrorBox(e);
  }
}

void TfmBurnToCD::LoadTexts() {
  const TTextTable t;
  const char* s = "fmBurnToCD";
  setWindowTitle(t.Read(s, "Caption", "Burn to CD/DVD"));
  lblRecorder->setText(t.Read(s, "lblRecorder", "Recorder:"));
  lblVolumeName->setText(t.Read(s, "lblVolumeName", "Volume name:"));
  btnBurn->setText(t.Read(s, "btnBurn", "Burn"));
  btnCancel->setText(t.Read(s, "btnCancel", "Cancel"));
  btnExit->setText(t.Read(s, "btnExit", "Exit"));
  chFinalize->setText(t.Read(s, "chFinalize", "Finalize"));
  actionTexts_[waValidatingMedia] = t.Read(s, "ValidatingMedia", "Validating media");
  actionTexts_[waFormattingMedia] = t.Read(s, "FormatingMedia", "Formatting media");
  actionTexts_[waInitializingHardware] = t.Read(s, "InitHardware", "Intializing hardware");
  actionTexts_[waCalibratingPower] = t.Read(s, "CalibPower", "Calibrating power");
  actionTexts_[waWritingData] = t.Read(s, "WritingData", "Writing data");
  actionTexts_[waFinalization] = t.Read(s, "Finalization", "Finalization");
  actionTexts_[waCompleted] = t.Read(s, "Complete", "Completed");
  actionTexts_[waVerifying] = t.Read(s, "Verifyng", "Verifying");
  operSucc_ = t.Read(s, "OperSucc", "Operation completed successfully!");
  deviceWord_ = t.Read(s, "Device", "Device");
  imageFileWord_ = t.Read(s, "ImageFile", "Image file\u2026");
  secondUnit_ = t.Read(s, "Second", "s");
  elapsedLabel_ = t.Read(s, "ElapsedTime", "Elapsed time:");
  estimatedLabel_ = t.Read(s, "EstimatedTime", "Estimated time:");
  remainingLabel_ = t.Read(s, "RemainingTime", "Remaining time:");
  preparing_ = t.Read(s, "PreparingDiscImage", "Preparing disc image");
}

QString TfmBurnToCD::ActionText(TWriteAction action) const {
  return action <= waVerifying ? actionTexts_[action] : actionTexts_[waCompleted];
}

void TfmBurnToCD::SetVolumeName(const QString& name) {
  proposedVolumeName_ = name;
  QString shown = name;
  for (QChar& c : shown)
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  eVolumeName->setText(shown);
}

void TfmBurnToCD::FillRecorderList() {
  ::FillRecorderList(cbRecorder, *DiscRecorder, deviceWord_, imageFileWord_);
}

void TfmBurnToCD::SetControlsEnabled(bool enabled) {
  btnBurn->setEnabled(enabled);
  btnExit->setEnabled(enabled);
  cbRecorder->setEnabled(enabled);
  eVolumeName->setEnabled(enabled);
  btnCancel->setEnabled(!enabled);
}

QString TfmBurnToCD::TimeLine(int32_t elapsed, int32_t total, int32_t remaining) const {
  // One pass over the pattern: a "%" in a translated label stays as it is.
  return QStringLiteral("%1 %2 %7   %3 %4 %7   %5 %6 %7")
      .arg(elapsedLabel_, QString::number(elapsed), estimatedLabel_, QString::number(total), remainingLabel_,
           QString::number(remaining), secondUnit_);
}

void TfmBurnToCD::ShowProgress(qint64 elapsed, qint64 total) {
  // A write shorter than a second has no total yet; keep the bar a plain bar rather than a busy one.
  const auto totalTime = static_cast<int32_t>(std::clamp<qint64>(total, 0, INT32_MAX));
  const auto elapsedTime = static_cast<int32_t>(std::clamp<qint64>(elapsed, 0, totalTime));
  ProgressBar->setMaximum(std::max(totalTime, 1));
  ProgressBar->setValue(std::min(elapsedTime, ProgressBar->maximum()));
  lblTime->setText(TimeLine(elapsedTime, totalTime, totalTime - elapsedTime));
}

void TfmBurnToCD::btnCancelClick() {
  if (job_) job_->Cancel();
}

void TfmBurnToCD::done(int result) {
  if (job_) {
    btnCancelClick();
    return;
  }
  QDialog::done(result);
}

// The last list entry stands for an image file chosen now; an existing one gets a session added.
bool TfmBurnToCD::ChooseImageFile() {
  const QString file = g_imageFileDialog ? g_imageFileDialog(this, ImageFile)
                                         : QFileDialog::getSaveFileName(this, imageFileWord_, ImageFile,
                                                                        QStringLiteral("*.iso"), nullptr,
                                                                        QFileDialog::DontConfirmOverwrite);
  if (file.isEmpty()) return false;
  ImageFile = file;
  const int32_t device = DiscRecorder->AddImageTarget(file);
  FillRecorderList();
  cbRecorder->setCurrentIndex(device - 1);
  return true;
}

void TfmBurnToCD::btnBurnClick() {
  if (job_) return;
  if (IsImageFileEntry(cbRecorder, cbRecorder->currentIndex())) {
    try {
      if (!ChooseImageFile()) return;
    } catch (const std::exception& e) {
      ShowErrorBox(e);
      return;
    }
  }
  lblStatus->setText(preparing_);
  lblTime->clear();
  ProgressBar->setValue(0);
  SetControlsEnabled(false);
  DiscRecorder->SetDevice(cbRecorder->currentIndex() + 1);
  DiscWrite->SetRecorder(DiscRecorder);
  DiscWrite->FinalizeMedia = chFinalize->isChecked();
  DiscImage->VolumeName = eVolumeName->text();
  DiscImage->SourceTree = SourceFolder;
  job_ = std::make_unique<TArchiveJob>(DiscImage);
  std::copy(std::begin(actionTexts_), std::end(actionTexts_), job_->ActionTexts.begin());
  connect(job_.get(), &TSmProgressThread::statusChanged, lblStatus, &QLabel::setText);
  connect(job_.get(), &TSmProgressThread::progressChanged, this,
          [this](qint64 elapsed, qint64 total) { ShowProgress(elapsed, total); });
  connect(job_.get(), &TSmProgressThread::finished, this, &TfmBurnToCD::BurnFinished);
  job_->Resume();
}

void TfmBurnToCD::BurnFinished() {
  job_->Wait();
  // A Cancel that came after the last notice cancelled nothing: the disc is written.
  const bool failed = job_->Failure() != nullptr;
  const QString failure = job_->FailureText();
  job_.reset();
  SetControlsEnabled(true);
  if (failed) {
    ProgressBar->setValue(0);
    ShowErrorBox(failure);
    return;
  }
  ProgressBar->setValue(ProgressBar->maximum());
  ShowMessageBox(this, operSucc_, 0xFF, MB_OK, QString(), 0);
  ProgressBar->setValue(0);
  accept();
}
