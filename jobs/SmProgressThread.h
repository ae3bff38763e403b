#pragma once
#include <QString>
#include <QThread>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "support/Exceptions.h"

// The base of background jobs: created suspended, filled by its owner, started once (Resume), its
// body DoExecute runs on the worker thread. A failure of the body is kept as a plain Exception with
// only its message text, for the owner to raise on the UI thread after the thread has ended.
// The owner destroys the job.
class TSmProgressThread : public QThread {
  Q_OBJECT

 public:
  TSmProgressThread();
  // Owners wait for the job (WaitForJob) before destroying it; a job destroyed while its body still
  // runs is asked to stop and waited for here, which is too late for a derived job's own members.
  ~TSmProgressThread() override;

  // Worker thread, after the body ended, only when no cancel was asked for.
  std::function<void(TSmProgressThread*)> OnFinished;
  // UI thread; the worker waits inside SetStatus until it has returned.
  std::function<void(TSmProgressThread*, const QString&)> OnStatus;
  std::unique_ptr<Exception> Error;  // written before Done; read only after the thread ended
  QString CurrentStatus;
  std::atomic<bool> Done{false};
  std::function<void(TSmProgressThread*)> OnAfterFinished;
  std::function<void()> OnCancel;

  // Sets the terminate request (the body may poll Terminated()), then calls OnCancel.
  virtual void Cancel();
  void Resume();  // starts the worker thread
  bool Terminated() const;

 protected:
  void run() override;  // the worker's entry ("Execute")
  virtual void DoExecute() = 0;
  // The text the owner will see for a failure of the body; the message text unchanged by default.
  virtual void GetErrorText(const std::exception& e, QString& text);
  // Stores text in CurrentStatus and hands OnStatus to the UI thread, waiting for it to return.
  void SetStatus(const QString& text);

 private:
  // QThread forgets its interruption request when the thread ends (and ignores one made before the
  // start); the terminate request of a job stays set once made.
  std::atomic<bool> terminated_{false};
};

// Waits on the UI thread for the job's worker thread to end while still serving the worker's
// blocking hand-offs (a plain join would deadlock a job inside SetStatus). User input is deferred
// until the wait is over. Off the UI thread, or without an application object, a plain wait.
// Returns at once for a job that was never started.
void WaitForJob(TSmProgressThread* job);
