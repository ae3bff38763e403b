#pragma once
// The base of every long piece of work: the report read, the disc archive, the archive check and the
// headless reader. A job is started, may be cancelled, tells its status and progress, and ends once.
//
// Usage (UI thread):
//   auto job = std::make_unique<TSomeJob>();      // fill its inputs
//   connect(job.get(), &TSmProgressThread::statusChanged, label, &QLabel::setText);
//   connect(job.get(), &TSmProgressThread::progressChanged, bar, ...);   // done of total
//   connect(job.get(), &TSmProgressThread::finished, window, [&](bool ok) { ... });
//   job->Resume();                                 // DoExecute starts on a worker thread
//   ... job->Cancel() from a Cancel button, a close box, a signal handler ...
//   job->Wait();  if (!ok) std::rethrow_exception(job->TakeFailure());   // or show FailureText()
//
// Threads. The job object lives on the thread that created it; the body runs on its own worker thread
// and never waits for that thread: status, progress and the end are signals, delivered queued to
// receivers on other threads (connect with a receiver or context object: a bare functor would run on
// the worker). Cancel sets a token (Token()) that the body's waits observe and are woken by, so a
// cancelled body ends within its next wait.
//
// Failures. What the body throws is kept as it was thrown, its class intact, so an owner can tell a
// port that cannot be opened from a printer that failed (catch by type after rethrowing Failure()).
// The failure of a cancelled body is kept too; the owner decides whether to show it.
// finished(ok) is emitted once, after Done() is true and the failure is stored: ok is true when the
// body ended without a failure and no cancel had been asked for by then.
//
// Lifetime. The owner destroys the job after Wait(). A derived job whose body may still run when it is
// destroyed calls Cancel() and Wait() in its own destructor: the base's destructor does the same, but by
// then the derived part is gone.
#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "jobs/CancelToken.h"

class TSmProgressThread : public QObject {
  Q_OBJECT

 public:
  explicit TSmProgressThread(QObject* parent = nullptr);
  ~TSmProgressThread() override;

  void Resume();          // starts the body on a worker thread; a job runs once
  virtual void Cancel();  // any thread, any number of times
  bool Terminated() const { return token_.IsCancelled(); }
  TCancelToken& Token() { return token_; }
  bool IsRunning() const;                                              // started and the body not yet ended
  bool Done() const { return done_.load(std::memory_order_acquire); }  // the body has ended, either way
  void Wait();  // joins the worker thread; returns at once for a job never started
  QString CurrentStatus() const;

  // The body's failure as thrown; none after a success. Read after finished() or Wait().
  std::exception_ptr Failure() const { return failure_; }
  // Moves the failure out: the job keeps none afterwards.
  std::exception_ptr TakeFailure() { return std::exchange(failure_, nullptr); }
  // The text an owner shows for the failure (see GetErrorText); "" when there is none.
  QString FailureText() const;

 signals:
  void statusChanged(const QString& text);
  // How far the job is: done of total in the job's own unit (bytes, seconds...); total 0 when unknown.
  void progressChanged(qint64 done, qint64 total);
  void finished(bool ok);

 protected:
  virtual void DoExecute() = 0;  // worker thread
  // The text the owner will see for a failure of the body; the message text unchanged by default.
  virtual void GetErrorText(const std::exception& e, QString& text) const;
  void SetStatus(const QString& text);
  void SetProgress(qint64 done, qint64 total) { emit progressChanged(done, total); }

 private:
  void Execute();

  TCancelToken token_;
  std::thread worker_;
  std::atomic<bool> started_{false};
  std::atomic<bool> done_{false};
  std::exception_ptr failure_;  // written before done_; read after finished() or Wait()
  mutable std::mutex statusMutex_;
  QString currentStatus_;
};
