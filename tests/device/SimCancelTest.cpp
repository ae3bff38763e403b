// Cancelling a read against the simulator: Abort ends every kind of wait at once, a printer that
// goes on with a cancelled report does not leak into the next read, and an unplugged line is named.
#include <gtest/gtest.h>

#include <thread>

#include "SimRig.h"

namespace {

const std::string kParams = "D,1,050312,200312";

// Runs one command on a thread and calls act 300 ms in: what the command threw, and the ms from
// act to its end.
std::pair<std::string, int64_t> ActDuring(RecordingLink& link, uint8_t cmd,
                                          const std::function<void()>& act) {
  std::string thrown;
  SimClock::time_point ended;
  std::thread reader([&] {
    try {
      link.SendCommandText(cmd, kParams);
    } catch (const Exception& e) {
      thrown = e.what();
    }
    ended = SimClock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto acted = SimClock::now();
  act();
  reader.join();
  return {thrown, MsBetween(acted, ended)};
}

}  // namespace

TEST(SimCancel, AbortEndsAStreamASilentWaitAndABusyWait) {
  for (const char* modes : {"keep-streaming", "silent", "syn-busy=5000"}) {
    auto sim = StartSim(modes);
    RecordingLink link(sim->SlavePath());
    size_t streamed = 0;
    link.OnReportProgress = [&] { streamed = link.ReportText().size(); };
    const auto [thrown, ms] = ActDuring(link, 94, [&] { link.Abort(); });
    EXPECT_EQ(thrown, "The read was cancelled!") << modes;
    EXPECT_LT(ms, 1000) << modes;
    EXPECT_EQ(link.ReportText(), "") << modes;
    EXPECT_EQ(link.Fails, 0) << modes;
    EXPECT_EQ(sim->RequestCount(), 1u) << modes;
    EXPECT_TRUE(modes[0] != 'k' || streamed > 0) << "no stream was under way";
  }
}

TEST(SimCancel, TheNextReadDrainsTheCancelledReportAndGetsTheWholeOne) {
  PrinterSimOptions o;
  o.ReportLines = 30;
  auto sim = StartSim("keep-streaming=19200", o);
  {
    RecordingLink first(sim->SlavePath());
    EXPECT_FALSE(first.DrainEarlierReport({}));
    first.SendCommandText(90, "#");
    ActDuring(first, 94, [&] { first.Abort(); });
  }
  RecordingLink next(sim->SlavePath());
  int finishing = 0;
  EXPECT_TRUE(next.DrainEarlierReport([&] { ++finishing; }));
  EXPECT_EQ(finishing, 1);
  EXPECT_EQ(next.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  next.SendCommandText(94, kParams);
  EXPECT_EQ(next.ReportText(), BuildSimReport(sim->Options(), 94, kParams).Text);
}

TEST(SimCancel, APrinterThatGoesAwayMidReadIsNamedAsDisconnected) {
  auto sim = StartSim("silent");
  RecordingLink link(sim->SlavePath());
  const std::string thrown = ActDuring(link, 90, [&] { sim->Stop(); }).first;  // the line hangs up
  EXPECT_EQ(thrown.rfind("The port " + sim->SlavePath() + " was disconnected during the read.", 0), 0u)
      << thrown;
  EXPECT_EQ(link.Fails, 0);
}
