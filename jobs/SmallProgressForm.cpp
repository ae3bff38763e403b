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
// A close that had to wait for the status handler to return.
constexpr QEvent::Type kDeferredCloseEvent = static_cast<QEvent::Type>(QEvent::User + 2);
constexpr int kDesignStatusWidth = 331;

void CentreOverHost(QWidget* form) {
  QWidget* host = form->parentWidget() != nullptr ? form->parentWidget()->window() : QApplication::activeWindow();
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
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
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
  if (Job != nullptr) {
    // Normally the runner has waited already; a window dropped early must not leave the
    // worker calling into a dead window.
    if (Job->isRunning()) {
      Job->Cancel();
      WaitForJob(Job);
    }
    Job->OnFinished = nullptr;
    Job->OnStatus = nullptr;
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
    QCoreApplication::postEvent(this, new QEvent(CloseRequestEvent));
    return;
  }
  Job->OnFinished = [this](TSmProgressThread* sender) { JobFinished(sender); };
  Job->OnStatus = [this](TSmProgressThread* sender, const QString& text) { JobStatus(sender, text); };
  // The body starts only now, so no status text can arrive before the window is up.
  Job->Resume();
}

void TSmallProgressForm::JobFinished(TSmProgressThread*) {
  // Worker thread: posting is the only thing done here.
  QCoreApplication::postEvent(this, new QEvent(CloseRequestEvent));
}

void TSmallProgressForm::JobStatus(TSmProgressThread*, const QString& text) {
  ++statusDepth_;
  eStat->setText(text);
  eStat->repaint();
  QCoreApplication::processEvents();
  --statusDepth_;
  if (statusDepth_ == 0 && closeDeferred_) {
    // The worker is still blocked until we return; closing now would wait for it forever.
    closeDeferred_ = false;
    QCoreApplication::postEvent(this, new QEvent(kDeferredCloseEvent));
  }
}

bool TSmallProgressForm::event(QEvent* e) {
  if (e->type() == CloseRequestEvent) {
    if (isVisible()) done(QDialog::Rejected);
    return true;
  }
  if (e->type() == kDeferredCloseEvent) {
    if (isVisible()) done(deferredResult_);
    return true;
  }
  return QDialog::event(e);
}

void TSmallProgressForm::done(int result) {
  if (statusDepth_ > 0) {
    closeDeferred_ = true;
    deferredResult_ = result;
    return;
  }
  if (inCloseQuery_) return;  // a close is already under way
  inCloseQuery_ = true;
  FormCloseQuery();
  inCloseQuery_ = false;
  QDialog::done(result);
}

void TSmallProgressForm::FormCloseQuery() {
  if (Job != nullptr && !Job->Done) {
    Job->Cancel();
    WaitForJob(Job);
    // The failure of a cancelled job is not reported.
    Job->Error.reset();
  }
}

void RunWithProgress(TSmProgressThread* job, const QString& caption, const QString& statusLabel,
                     const QString& cancelCaption) {
  // Owned by the window the operator works in, so it opens centred over it.
  auto form = std::make_unique<TSmallProgressForm>(QApplication::activeWindow());
  form->setWindowTitle(caption);
  form->lblStatus->setText(statusLabel);
  form->btnCancel->setText(cancelCaption);
  form->Job = job;
  form->exec();
  if (job == nullptr) return;
  WaitForJob(job);
  if (job->Error) {
    Exception failure(*job->Error);
    job->Error.reset();
    throw failure;  // the window goes with the unwinding, after it has closed
  }
}
