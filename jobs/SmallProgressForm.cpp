#include "jobs/SmallProgressForm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "jobs/SmProgressThread.h"
#include "support/Exceptions.h"
#include "support/MessageBox.h"
#include "ui_SmallProgressForm.h"

namespace {
constexpr int kDesignStatusWidth = 331;

void CentreOverHost(QWidget* form) {
  QWidget* host =
      form->parentWidget() != nullptr ? form->parentWidget()->window() : QApplication::activeWindow();
  if (host != nullptr && host != form && host->isVisible()) {
    // The size the window is growing to may not have reached its geometry yet.
    QRect r = form->frameGeometry();
    r.setSize(r.size() + form->size().expandedTo(form->minimumSize()) - form->size());
    r.moveCenter(host->frameGeometry().center());
    form->move(r.topLeft());
  }
}
}  // namespace

TSmallProgressForm::TSmallProgressForm(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(std::make_unique<Ui::TSmallProgressForm>()) {
  ui_->setupUi(this);
  lblStatus = ui_->lblStatus;
  eStat = ui_->eStat;
  Panel1 = ui_->Panel1;
  btnCancel = ui_->btnCancel;

  setFont(DesignFont("MS Sans Serif", 11, false));
  lblStatus->setFont(DesignFont("MS Sans Serif", 13, true));
  eStat->setFont(DesignFont("Courier New", 13, true));
  setModal(true);
  resize(DesignClientSize(368, 126));
  // The field widens with a status text that needs more room, up to most of the screen;
  // the window follows through its layout.
  connect(eStat, &QLineEdit::textChanged, this, [this](const QString& text) {
    const QScreen* s = screen();
    const int most = std::max(kDesignStatusWidth, s != nullptr ? s->availableGeometry().width() - 60 : 1000);
    const int needed = eStat->fontMetrics().horizontalAdvance(text) + eStat->minimumSizeHint().width();
    eStat->setMinimumWidth(std::clamp(needed, kDesignStatusWidth, most));
    eStat->setToolTip(needed > most ? text : QString());  // wider than the screen: whole in the tooltip
    if (isVisible() && layout() != nullptr) {
      // The window widens now, not in a later layout pass, and is centred again.
      for (QWidget* w = eStat->parentWidget(); w != this; w = w->parentWidget()) w->updateGeometry();
      layout()->activate();
      CentreOverHost(this);
    }
  });

  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  Job = nullptr;
}

TSmallProgressForm::~TSmallProgressForm() {
  // Normally the runner has waited already; a window dropped early must not leave the job running.
  if (Job != nullptr) {
    disconnect(Job, nullptr, this, nullptr);
    if (!Job->Done()) Job->Cancel();
    Job->Wait();
  }
}

void TSmallProgressForm::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (e->spontaneous() || shownOnce_) return;
  shownOnce_ = true;
  CentreOverHost(this);
  FormShow();
}

void TSmallProgressForm::FormShow() {
  if (Job == nullptr) {
    QMetaObject::invokeMethod(
        this, [this] { done(QDialog::Rejected); }, Qt::QueuedConnection);
    return;
  }
  connect(Job, &TSmProgressThread::statusChanged, this, &TSmallProgressForm::JobStatus);
  connect(Job, &TSmProgressThread::finished, this, &TSmallProgressForm::JobFinished);
  // The body starts only now, so no status text can arrive before the window is up.
  Job->Resume();
}

void TSmallProgressForm::JobFinished(bool) {
  // A status queued before the end is delivered before this, so the field shows the last text.
  if (isVisible()) QDialog::done(closePending_ ? pendingResult_ : QDialog::Rejected);
  closePending_ = false;
}

void TSmallProgressForm::JobStatus(const QString& text) { eStat->setText(text); }

void TSmallProgressForm::done(int result) {
  if (!FormCloseQuery()) {
    pendingResult_ = result;
    closePending_ = true;
    return;
  }
  QDialog::done(result);
}

bool TSmallProgressForm::FormCloseQuery() {
  if (Job == nullptr || !Job->IsRunning()) return true;
  // The job is told to stop; the window closes when its end arrives. The failure of a
  // cancelled job is not reported.
  Job->Cancel();
  return false;
}

void RunWithProgress(TSmProgressThread* job, const QString& caption, const QString& statusLabel,
                     const QString& cancelCaption, QWidget* parent) {
  // Owned by the window the operator works in, so it opens centred over it.
  auto form = std::make_unique<TSmallProgressForm>(parent != nullptr ? parent : QApplication::activeWindow());
  form->setWindowTitle(caption);
  form->lblStatus->setText(statusLabel);
  form->btnCancel->setText(cancelCaption);
  form->Job = job;
  form->exec();
  if (job == nullptr) return;
  job->Wait();
  // The failure of a cancelled job is not reported.
  const std::exception_ptr failure = job->TakeFailure();
  if (failure && !job->Terminated()) std::rethrow_exception(failure);  // after the window has closed
}
