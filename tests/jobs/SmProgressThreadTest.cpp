#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "jobs/SmProgressThread.h"

namespace {

// A job whose body is given by the test.
class ScriptJob : public TSmProgressThread {
 public:
  std::function<void(ScriptJob*)> body;
  using TSmProgressThread::SetStatus;
  QString errorPrefix;

 protected:
  void DoExecute() override {
    if (body) body(this);
  }
  void GetErrorText(const std::exception& e, QString& text) override {
    TSmProgressThread::GetErrorText(e, text);
    text = errorPrefix + text;
  }
};

class NotAnException {};

TEST(SmProgressThread, StatusIsHandedToTheUiThreadWhileItWaits) {
  ScriptJob job;
  std::vector<QString> seen;
  std::atomic<int> wrongThread{0};
  QThread* ui = QThread::currentThread();
  job.OnStatus = [&](TSmProgressThread* sender, const QString& text) {
    if (QThread::currentThread() != ui || sender != &job) ++wrongThread;
    seen.push_back(text);
  };
  std::atomic<int> finishedOnWorker{0};
  job.OnFinished = [&](TSmProgressThread*) {
    if (QThread::currentThread() != ui) ++finishedOnWorker;
  };
  job.body = [&](ScriptJob* self) {
    for (int i = 0; i < 200; ++i) {
      self->SetStatus(QString("step %1").arg(i));
      // The hand-off is synchronous: the UI thread has run the handler before SetStatus returns.
      if (seen.size() != static_cast<size_t>(i + 1)) ++wrongThread;
    }
  };
  EXPECT_FALSE(job.Done);
  job.Resume();
  WaitForJob(&job);
  EXPECT_TRUE(job.isFinished());
  EXPECT_TRUE(job.Done);
  EXPECT_EQ(wrongThread, 0);
  ASSERT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen.back(), "step 199");
  EXPECT_EQ(job.CurrentStatus, "step 199");
  EXPECT_EQ(finishedOnWorker, 1);
  EXPECT_EQ(job.Error, nullptr);
}

TEST(SmProgressThread, StatusWithoutHandlerIsOnlyStored) {
  ScriptJob job;
  job.body = [](ScriptJob* self) { self->SetStatus("quiet"); };
  job.Resume();
  WaitForJob(&job);
  EXPECT_EQ(job.CurrentStatus, "quiet");
}

TEST(SmProgressThread, FailureIsKeptAsPlainExceptionWithItsText) {
  class DeviceError : public Exception {
   public:
    using Exception::Exception;
  };
  ScriptJob job;
  bool finished = false, after = false;
  job.OnFinished = [&](TSmProgressThread* j) { finished = j->Done; };
  job.OnAfterFinished = [&](TSmProgressThread*) { after = finished; };
  job.body = [](ScriptJob*) { throw DeviceError("Unable to open port /dev/ttyS2!\xB9"); };
  job.Resume();
  WaitForJob(&job);
  ASSERT_NE(job.Error, nullptr);
  EXPECT_EQ(dynamic_cast<DeviceError*>(job.Error.get()), nullptr) << "the class must not survive";
  EXPECT_STREQ(job.Error->what(), "Unable to open port /dev/ttyS2!\xB9");  // bytes kept exactly
  EXPECT_TRUE(job.Done);
  EXPECT_TRUE(finished);
  EXPECT_TRUE(after);
}

TEST(SmProgressThread, GetErrorTextShapesTheStoredText) {
  ScriptJob job;
  job.errorPrefix = "Read: ";
  job.body = [](ScriptJob*) { throw std::runtime_error("timeout"); };
  job.Resume();
  WaitForJob(&job);
  ASSERT_NE(job.Error, nullptr);
  EXPECT_STREQ(job.Error->what(), "Read: timeout");
}

TEST(SmProgressThread, NonStandardThrowStillEndsTheJob) {
  ScriptJob job;
  job.body = [](ScriptJob*) { throw NotAnException(); };
  job.Resume();
  WaitForJob(&job);
  EXPECT_TRUE(job.Done);
  ASSERT_NE(job.Error, nullptr);
}

TEST(SmProgressThread, CancelSkipsTheEndNotificationsAndCallsOnCancel) {
  ScriptJob job;
  std::atomic<bool> started{false};
  int finished = 0, cancels = 0;
  job.OnFinished = [&](TSmProgressThread*) { ++finished; };
  job.OnAfterFinished = [&](TSmProgressThread*) { ++finished; };
  job.OnCancel = [&] { ++cancels; };
  std::vector<QString> seen;
  job.OnStatus = [&](TSmProgressThread*, const QString& t) { seen.push_back(t); };
  job.body = [&](ScriptJob* self) {
    started = true;
    while (!self->Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    self->SetStatus("stopping");  // a hand-off during the UI thread's wait after Cancel
    throw Exception("interrupted");
  };
  job.Resume();
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(job.Terminated());
  job.Cancel();
  EXPECT_TRUE(job.Terminated());
  WaitForJob(&job);
  EXPECT_TRUE(job.Terminated()) << "the request outlives the thread";
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(finished, 0);
  EXPECT_TRUE(job.Done);
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_NE(job.Error, nullptr);  // dropping a cancelled job's failure is the progress window's call
}

TEST(SmProgressThread, CancelWithoutHandler) {
  ScriptJob job;
  job.Cancel();  // before the start: only the flag
  EXPECT_TRUE(job.Terminated());
}

TEST(SmProgressThread, WaitingForAJobThatNeverStartedOrAlreadyEnded) {
  ScriptJob idle;
  WaitForJob(&idle);  // returns at once
  WaitForJob(nullptr);
  ScriptJob quick;
  quick.Resume();
  quick.wait();
  WaitForJob(&quick);
  EXPECT_TRUE(quick.Done);
}

TEST(SmProgressThread, ManyShortJobsNeverLoseTheWakeUp) {
  for (int i = 0; i < 300; ++i) {
    ScriptJob job;
    job.Resume();
    if (i % 2) std::this_thread::yield();
    WaitForJob(&job);
    ASSERT_TRUE(job.isFinished()) << "round " << i;
  }
}

TEST(SmProgressThread, WaitFromAnotherThreadIsAPlainJoin) {
  ScriptJob job;
  job.body = [](ScriptJob*) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
  job.Resume();
  std::thread other([&] { WaitForJob(&job); });
  other.join();
  EXPECT_TRUE(job.isFinished());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
