#pragma once
// The base of every long piece of work: the report read, the disc archive and the headless reader.
//
// Usage (UI thread):
//   auto job = std::make_unique<TSomeJob>();      // fill its inputs
//   connect(job.get(), &TSmProgressThread::statusChanged, label, &QLabel::setText);
//   connect(job.get(), &TSmProgressThread::finished, window, [&] { ...read job->Error... });
//   job->Resume();                                 // DoExecute starts on a worker thread
//   ... job->Cancel() from a Cancel button, a close box, a signal handler ...
//
// The job object lives on the thread that created it. The body runs on its own worker thread and
// never waits for that thread: status, progress, the no-answer notice and the end are signals,
// delivered queued to receivers on other threads (connect with a receiver or context object: a
// bare functor would run on the worker). Cancel sets a token (Token()) that the body's
// waits observe and are woken by, so a cancelled body ends within its next wait.
// A failure of the body is kept as a plain Exception with its message text only; the failure of a
// cancelled body is kept too, and the caller decides whether to show it.
// finished() is emitted once, after Done is set and Error is written. The owner destroys the job
// after Wait(). A derived job whose body may still run when it is destroyed calls Cancel() and
// Wait() in its own destructor: the base's destructor does the same, but by then the derived
// part is gone.
#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "jobs/CancelToken.h"
#include "support/Exceptions.h"

class TSmProgressThread : public QObject {
  Q_OBJECT

 public:
  explicit TSmProgressThread(QObject* parent = nullptr);
  ~TSmProgressThread() override;

  void Resume();          // starts the body on a worker thread; a job runs once
  virtual void Cancel();  // any thread, any number of times
  bool Terminated() const { return token_.IsCancelled(); }
  TCancelToken& Token() { return token_; }
  bool IsRunning() const;  // started and the worker not yet joined by Wait
  void Wait();             // joins the worker thread; returns at once for a job never started
  QString CurrentStatus() const;

  std::atomic<bool> Done{false};     // the body has ended, whichever way
  std::unique_ptr<Exception> Error;  // written before Done; read after finished() or Wait()

 signals:
  void statusChanged(const QString& text);
  void progressChanged(qint64 done, qint64 total);
  void noAnswer();
  void finished();

 protected:
  virtual void DoExecute() = 0;  // worker thread
  // The text the owner will see for a failure of the body; the message text unchanged by default.
  virtual void GetErrorText(const std::exception& e, QString& text);
  void SetStatus(const QString& text);
  void SetProgress(qint64 done, qint64 total);
  void NotifyNoAnswer();

 private:
  void Execute();

  TCancelToken token_;
  std::thread worker_;
  std::atomic<bool> started_{false};
  mutable std::mutex statusMutex_;
  QString currentStatus_;
};
