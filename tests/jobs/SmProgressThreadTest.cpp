#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <thread>
#include <vector>

#include "jobs/CancelToken.h"
#include "jobs/SmProgressThread.h"
#include "support/Exceptions.h"

namespace {

// A job whose body is given by the test.
class ScriptJob : public TSmProgressThread {
 public:
  std::function<void(ScriptJob*)> body;
  using TSmProgressThread::SetStatus;
  QString errorPrefix;
  ~ScriptJob() override {  // the body uses this object's members
    Cancel();
    Wait();
  }

 protected:
  void DoExecute() override {
    if (body) body(this);
  }
  void GetErrorText(const std::exception& e, QString& text) const override {
    TSmProgressThread::GetErrorText(e, text);
    text = errorPrefix + text;
  }
};

class NotAnException {};

// Runs the job and serves the queued signals until its end has been delivered.
void RunToEnd(ScriptJob& job) {
  bool ended = false;
  QObject::connect(&job, &TSmProgressThread::finished, qApp, [&] { ended = true; });
  job.Resume();
  while (!ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  job.Wait();
}

TEST(SmProgressThread, StatusAndEndArriveQueuedOnTheUiThreadInOrder) {
  ScriptJob job;
  std::vector<QString> seen;
  int wrongThread = 0;
  bool endedAfterLastStatus = false;
  QObject::connect(&job, &TSmProgressThread::statusChanged, qApp, [&](const QString& text) {
    if (QThread::currentThread() != qApp->thread()) ++wrongThread;
    seen.push_back(text);
  });
  QObject::connect(&job, &TSmProgressThread::finished, qApp, [&] {
    if (QThread::currentThread() != qApp->thread()) ++wrongThread;
    endedAfterLastStatus = job.Done() && seen.size() == 200;
  });
  job.body = [](ScriptJob* self) {
    for (int i = 0; i < 200; ++i) self->SetStatus(QString("step %1").arg(i));  // never blocks
  };
  EXPECT_FALSE(job.Done());
  RunToEnd(job);
  EXPECT_EQ(wrongThread, 0);
  ASSERT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen.back(), "step 199");
  EXPECT_EQ(job.CurrentStatus(), "step 199");
  EXPECT_TRUE(endedAfterLastStatus);
  EXPECT_FALSE(job.Failure());
}

TEST(SmProgressThread, FailureIsKeptWithItsClassAndText) {
  class DeviceError : public Exception {
   public:
    using Exception::Exception;
  };
  ScriptJob job;
  job.body = [](ScriptJob*) { throw DeviceError("Unable to open port /dev/ttyS2!\xB9"); };
  RunToEnd(job);
  ASSERT_TRUE(job.Failure());
  try {
    std::rethrow_exception(job.Failure());
  } catch (const DeviceError& e) {  // the class survives, so an owner can tell failures apart
    EXPECT_STREQ(e.what(), "Unable to open port /dev/ttyS2!\xB9");  // bytes kept exactly
  }
  EXPECT_TRUE(job.Done());

  ScriptJob shaped;
  shaped.errorPrefix = "Read: ";
  shaped.body = [](ScriptJob*) { throw std::runtime_error("timeout"); };
  RunToEnd(shaped);
  EXPECT_EQ(shaped.FailureText(), "Read: timeout");

  ScriptJob odd;
  odd.body = [](ScriptJob*) { throw NotAnException(); };
  RunToEnd(odd);
  ASSERT_TRUE(odd.Failure());
  EXPECT_FALSE(odd.FailureText().isEmpty());
}

TEST(SmProgressThread, CancelWakesARegisteredWaitAndStillEndsTheJob) {
  ScriptJob job;
  std::atomic<bool> waiting{false};
  job.body = [&](ScriptJob* self) {
    std::mutex m;
    std::condition_variable cv;
    bool woken = false;
    auto wake = self->Token().OnCancel([&] {
      std::lock_guard lock(m);
      woken = true;
      cv.notify_all();
    });
    std::unique_lock lock(m);
    waiting = true;
    cv.wait(lock, [&] { return woken; });  // no time-out: only the wake-up ends it
    throw Exception("interrupted");
  };
  int ended = 0;
  QObject::connect(&job, &TSmProgressThread::finished, qApp, [&] { ++ended; });
  job.Resume();
  while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(job.Terminated());
  job.Cancel();
  job.Cancel();
  while (ended == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  job.Wait();
  QCoreApplication::processEvents();
  EXPECT_TRUE(job.Terminated()) << "the request outlives the thread";
  EXPECT_EQ(ended, 1);
  ASSERT_TRUE(job.Failure());  // dropping a cancelled job's failure is the caller's call
}

TEST(CancelToken, WakeUpsRunOnceAndARemovedOneNever) {
  TCancelToken token;
  int a = 0, b = 0, late = 0;
  auto ra = token.OnCancel([&] { ++a; });
  {
    auto rb = token.OnCancel([&] { ++b; });
  }
  token.Cancel();
  token.Cancel();
  auto rl = token.OnCancel([&] { ++late; });  // already cancelled: at once
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(late, 1);
}

TEST(SmProgressThread, JobsNeverStartedOrDestroyedWhileRunning) {
  ScriptJob idle;
  idle.Wait();  // returns at once
  idle.Cancel();
  EXPECT_TRUE(idle.Terminated());
  EXPECT_FALSE(idle.IsRunning());
  std::atomic<bool> stopped{false};
  {
    ScriptJob running;
    running.body = [&](ScriptJob* self) {
      while (!self->Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stopped = true;
    };
    running.Resume();
  }  // cancelled and joined here
  EXPECT_TRUE(stopped);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
