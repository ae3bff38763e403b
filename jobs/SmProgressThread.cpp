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

bool TSmProgressThread::IsRunning() const { return started_ && !Done(); }

void TSmProgressThread::Wait() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

QString TSmProgressThread::CurrentStatus() const {
  std::lock_guard lock(statusMutex_);
  return currentStatus_;
}

void TSmProgressThread::GetErrorText(const std::exception& e, QString& text) const {
  text = QString::fromUtf8(e.what());
}

QString TSmProgressThread::FailureText() const {
  if (!failure_) return {};
  try {
    std::rethrow_exception(failure_);
  } catch (const std::exception& e) {
    QString text;
    try {
      GetErrorText(e, text);
    } catch (...) {
      text = QString::fromUtf8(e.what());
    }
    return text;
  } catch (...) {
    return QStringLiteral("Unknown error in the background job");
  }
}

void TSmProgressThread::SetStatus(const QString& text) {
  {
    std::lock_guard lock(statusMutex_);
    currentStatus_ = text;
  }
  emit statusChanged(text);
}

void TSmProgressThread::Execute() {
  try {
    DoExecute();
  } catch (...) {
    failure_ = std::current_exception();
  }
  const bool ok = !failure_ && !Terminated();
  done_.store(true, std::memory_order_release);
  emit finished(ok);
}
