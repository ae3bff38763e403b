// Cancelling a read against the simulator: Abort ends every kind of wait at once, and a printer
// that goes on with a cancelled report does not leak into the next read.
#include <gtest/gtest.h>

#include <thread>

#include "SimRig.h"

namespace {

// Runs one command on a thread and aborts it after 300 ms; ms from Abort to the throw.
int64_t AbortAfter300Ms(RecordingLink& link, uint8_t cmd, const std::string& params) {
  bool cancelled = false;
  SimClock::time_point ended;
  std::thread reader([&] {
    try {
      link.SendCommandText(cmd, params);
    } catch (const EReadCancelled&) {
      cancelled = true;
    }
    ended = SimClock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto aborted = SimClock::now();
  link.Abort();
  reader.join();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(link.ReportText(), "");
  return MsBetween(aborted, ended);
}

}  // namespace

TEST(SimCancel, AbortEndsAStreamASilentWaitAndABusyWait) {
  const struct {
    const char* modes;
    uint8_t cmd;
  } cases[] = {{"keep-streaming", 94}, {"silent", 90}, {"syn-busy=5000", 90}};
  for (const auto& c : cases) {
    auto sim = StartSim(c.modes);
    RecordingLink link(sim->SlavePath());
    size_t streamed = 0;
    link.OnReportProgress = [&] { streamed = link.ReportText().size(); };
    EXPECT_LT(AbortAfter300Ms(link, c.cmd, "D,1,0312"), 1000) << c.modes;
    EXPECT_EQ(link.Fails, 0) << c.modes;
    EXPECT_EQ(sim->RequestCount(), 1u) << c.modes;
    EXPECT_TRUE(c.cmd != 94 || streamed > 0) << "no stream was under way";
  }
}

TEST(SimCancel, TheNextReadDrainsTheCancelledReportAndGetsTheWholeOne) {
  PrinterSimOptions o;
  o.ReportLines = 30;
  auto sim = StartSim("keep-streaming=19200", o);
  const std::string params = "D,1,050312,200312";
  {
    RecordingLink first(sim->SlavePath());
    EXPECT_FALSE(first.DrainEarlierReport({}));
    first.SendCommandText(90, "#");
    AbortAfter300Ms(first, 94, params);
  }
  RecordingLink next(sim->SlavePath());
  int finishing = 0;
  EXPECT_TRUE(next.DrainEarlierReport([&] { ++finishing; }));
  EXPECT_EQ(finishing, 1);
  EXPECT_EQ(next.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  next.SendCommandText(94, params);
  EXPECT_EQ(next.ReportText(), BuildSimReport(sim->Options(), 94, params).Text);
}

TEST(SimCancel, APrinterThatGoesAwayMidReadIsNamedAsDisconnected) {
  auto sim = StartSim("silent");
  RecordingLink link(sim->SlavePath());
  std::string message;
  std::thread reader([&] {
    try {
      link.SendCommandText(90, "#");
    } catch (const Exception& e) {
      message = e.what();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  sim->Stop();  // like pulling the USB adapter: the line hangs up
  reader.join();
  EXPECT_EQ(message.rfind("The port " + sim->SlavePath() + " was disconnected during the read.", 0), 0u)
      << message;
  EXPECT_EQ(link.Fails, 0);
}
