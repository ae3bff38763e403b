#pragma once
// The modal progress window that runs one background job, shows its status line,
// offers Cancel and closes itself when the job ends.
#include <QDialog>
#include <QEvent>
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
  // The private close request (window message 1025 in the classic design).
  static constexpr QEvent::Type CloseRequestEvent = static_cast<QEvent::Type>(QEvent::User + 1);

  explicit TSmallProgressForm(QWidget* parent = nullptr);
  ~TSmallProgressForm() override;

  TSmProgressThread* Job = nullptr;  // the job the window runs; not owned

  QLabel* lblStatus = nullptr;
  QLineEdit* eStat = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* btnCancel = nullptr;

  // Every way of closing ends here (Cancel, Escape, the window's close box, the
  // close request). A close that arrives while a status text is being shown is
  // carried out after the status handler has returned.
  void done(int result) override;

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void FormShow();
  void FormCloseQuery();
  void JobFinished(TSmProgressThread* sender);                        // worker thread
  void JobStatus(TSmProgressThread* sender, const QString& text);     // UI thread

  std::unique_ptr<Ui::TSmallProgressForm> ui_;
  int statusDepth_ = 0;       // nesting of JobStatus
  bool closeDeferred_ = false;
  int deferredResult_ = QDialog::Rejected;
  bool inCloseQuery_ = false;
  bool shownOnce_ = false;
};

// Runs the job under a progress window: returns when the job ended without failure or
// was cancelled; throws Exception with the job's failure text otherwise, after the window
// has closed. The job is not destroyed.
void RunWithProgress(TSmProgressThread* job, const QString& caption, const QString& statusLabel,
                     const QString& cancelCaption);
