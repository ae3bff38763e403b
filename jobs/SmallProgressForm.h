#pragma once
// The modal progress window that runs one background job, shows its status line,
// offers Cancel and closes itself when the job ends.
#include <QDialog>
#include <QString>
#include <memory>

class QLabel;
class QLineEdit;
class QFrame;
class QPushButton;
class TSmProgressThread;

namespace Ui {
class TSmallProgressForm;
}

class TSmallProgressForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSmallProgressForm(QWidget* parent = nullptr);
  ~TSmallProgressForm() override;

  TSmProgressThread* Job = nullptr;  // the job the window runs; not owned

  QLabel* lblStatus = nullptr;
  QLineEdit* eStat = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* btnCancel = nullptr;

  // Every way of closing ends here (Cancel, Escape, the window's close box). While
  // the job runs, a close only cancels it; the window closes when the job has ended.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void FormShow();
  bool FormCloseQuery();  // false while the job still has to end
  void JobFinished(bool ok);
  void JobStatus(const QString& text);

  std::unique_ptr<Ui::TSmallProgressForm> ui_;
  int pendingResult_ = QDialog::Rejected;
  bool closePending_ = false;
  bool shownOnce_ = false;
};

// Runs the job under a progress window centred over `parent`: returns when the job ended
// without failure or was cancelled; otherwise rethrows the job's failure as the body threw it,
// after the window has closed. The job is not destroyed.
void RunWithProgress(TSmProgressThread* job, const QString& caption, const QString& statusLabel,
                     const QString& cancelCaption, QWidget* parent = nullptr);
