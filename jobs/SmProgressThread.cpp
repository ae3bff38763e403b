#include "jobs/SmProgressThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

TSmProgressThread::TSmProgressThread() = default;

TSmProgressThread::~TSmProgressThread() {
  // A job destroyed while its body still runs: ask it to stop and wait, serving its hand-offs.
  if (isRunning()) {
    terminated_ = true;
    requestInterruption();
    WaitForJob(this);
  }
}

void TSmProgressThread::Cancel() {
  terminated_ = true;
  requestInterruption();
  if (OnCancel) OnCancel();
}

void TSmProgressThread::Resume() { start(); }

bool TSmProgressThread::Terminated() const { return terminated_ || isInterruptionRequested(); }

void TSmProgressThread::GetErrorText(const std::exception& e, QString& text) { text = QString::fromUtf8(e.what()); }

void TSmProgressThread::run() {
  try {
    DoExecute();
  } catch (const std::exception& e) {
    QString text;
    try {
      GetErrorText(e, text);
      // When the text is the message unchanged, keep its exact bytes (they need not be UTF-8).
      if (text == QString::fromUtf8(e.what()))
        Error = std::make_unique<Exception>(e.what());
      else
        Error = std::make_unique<Exception>(text.toUtf8().toStdString());
    } catch (...) {
      Error = std::make_unique<Exception>(e.what());
    }
  } catch (...) {
    Error = std::make_unique<Exception>("Unknown error in the background job");
  }
  Done = true;
  try {
    if (OnFinished && !Terminated()) OnFinished(this);
    if (OnAfterFinished && !Terminated()) OnAfterFinished(this);
  } catch (const std::exception& e) {
    // An end handler that fails must not take the process down from the worker thread.
    if (!Error) Error = std::make_unique<Exception>(e.what());
  } catch (...) {
    if (!Error) Error = std::make_unique<Exception>("Unknown error in the background job");
  }
}

void TSmProgressThread::SetStatus(const QString& text) {
  CurrentStatus = text;
  if (!OnStatus) return;
  QCoreApplication* app = QCoreApplication::instance();
  const QString status = CurrentStatus;
  if (!app || QThread::currentThread() == app->thread()) {
    OnStatus(this, status);
    return;
  }
  QMetaObject::invokeMethod(
      app, [this, &status]() { OnStatus(this, status); }, Qt::BlockingQueuedConnection);
}

namespace {
// Ignored by the application; posting it only wakes the event dispatcher.
constexpr QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 3);
}  // namespace

void WaitForJob(TSmProgressThread* job) {
  if (!job) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    job->wait();
    return;
  }
  if (!job->isRunning() && !job->isFinished()) return;  // never started
  // A wait that starts while Qt is still delivering posted events (a close request, say)
  // would not see a hand-off the worker queued just before: the dispatcher believes it has
  // nothing new until the next post. Posting a no-op first makes the wait serve it at once.
  QCoreApplication::postEvent(app, new QEvent(kWakeEvent));
  QEventLoop loop;
  QObject::connect(job, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  // "finished" is emitted a moment before isFinished() turns true, so a check made in between
  // would miss both; the timer closes that gap.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
    if (job->isFinished()) loop.quit();
  });
  poll.start(20);
  if (!job->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  job->wait();  // past its last hand-off: only the thread's own tear-down is left
}
