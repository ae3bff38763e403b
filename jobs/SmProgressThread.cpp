#include "jobs/SmProgressThread.h"

TSmProgressThread::TSmProgressThread(QObject* parent) : QObject(parent) {}

TSmProgressThread::~TSmProgressThread() {
  // Too late for a derived job's own members, which are gone by now: owners wait before this.
  if (worker_.joinable()) {
    Cancel();
    worker_.join();
  }
}

void TSmProgressThread::Resume() {
  if (started_.exchange(true)) return;
  worker_ = std::thread([this] { Execute(); });
}

void TSmProgressThread::Cancel() { token_.Cancel(); }

bool TSmProgressThread::IsRunning() const { return started_ && !Done; }

void TSmProgressThread::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

QString TSmProgressThread::CurrentStatus() const {
  std::lock_guard lock(statusMutex_);
  return currentStatus_;
}

void TSmProgressThread::GetErrorText(const std::exception& e, QString& text) {
  text = QString::fromUtf8(e.what());
}

void TSmProgressThread::SetStatus(const QString& text) {
  {
    std::lock_guard lock(statusMutex_);
    currentStatus_ = text;
  }
  emit statusChanged(text);
}

void TSmProgressThread::SetProgress(qint64 done, qint64 total) { emit progressChanged(done, total); }

void TSmProgressThread::NotifyNoAnswer() { emit noAnswer(); }

void TSmProgressThread::Execute() {
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
  emit finished();
}
