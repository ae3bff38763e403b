// The command exchange over a real pseudo-terminal, with the real termios code, against the
// printer simulator. The simulator starts the line in deliberately bad settings (echo,
// canonical mode, CR/LF translation, 7 bits), so every test also proves the raw set-up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "SimRig.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"

namespace {

void ExpectIdentical(const std::vector<PrinterSim::Request>& writes) {
  for (size_t i = 1; i < writes.size(); ++i)
    EXPECT_EQ(writes[i].Bytes, writes[0].Bytes) << "retransmission " << i << " differs";
}

}  // namespace

TEST(SimExchange, IdentificationAndReportOverADevicePath) {
  auto sim = StartSim("");
  RecordingLink link(sim->SlavePath());

  EXPECT_EQ(link.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  const std::string params = "D,1,050312,200312";
  const std::string answer = link.SendCommandText(94, params);
  const SimReport report = BuildSimReport(sim->Options(), 94, params);
  EXPECT_EQ(answer, report.AnswerData);
  // Every byte value the report uses (CR LF, code page 1250 letters) came through unchanged.
  EXPECT_EQ(link.ReportText(), report.Text);
  EXPECT_EQ(link.Fails, 0);

  const auto writes = sim->Requests();
  ASSERT_EQ(writes.size(), 2u);
  for (const auto& w : writes) EXPECT_TRUE(w.Valid) << "the simulator refused a request frame";
  // The identification request: 0x01, LEN 0x25, SEQ, 0x5A, "#", 0x05, four digits, 0x03.
  ASSERT_EQ(writes[0].Bytes.size(), 11u);
  EXPECT_EQ(writes[0].Bytes[1], 0x25);
  EXPECT_EQ(writes[0].Bytes[3], 90);
  EXPECT_EQ(writes[0].Bytes[4], '#');
  EXPECT_EQ(writes[1].Data, params);
  EXPECT_EQ(writes[1].Bytes.size(), params.size() + 10);
  // Consecutive commands take consecutive sequence numbers.
  EXPECT_EQ(uint8_t(writes[1].Seq), writes[0].Seq == 0x7F ? 0x20 : writes[0].Seq + 1);
  // Nothing else went out: exactly the two frames.
  EXPECT_EQ(sim->Received().size(), writes[0].Bytes.size() + writes[1].Bytes.size());
}

TEST(SimExchange, PortNameThroughThePortsFolder) {
  // The ports folder is <user data>/<program name>/ports; pretend to be the program.
  SetProgramFilePathForTesting("/opt/veltra/veltra-qrm");
  PrinterSimOptions o;
  o.LinkPath = PortLinkPathFor("COM7");
  ASSERT_EQ(o.LinkPath, UserProgramFolder() + "/ports/COM7");
  auto sim = StartSim("", o);
  {
    RecordingLink link("COM7");
    EXPECT_EQ(link.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  }
  sim->Stop();
  EXPECT_THROW(RecordingLink("COM7"), Exception) << "the link should be gone with the simulator";
  SetProgramFilePathForTesting("");
}

TEST(SimExchange, SilentPrinterFourWritesHalfASecondApartThenNothingMore) {
  auto sim = StartSim("silent");
  RecordingLink link(sim->SlavePath());
  const auto start = SimClock::now();
  EXPECT_EQ(link.SendCommandText(90, "#"), "");
  EXPECT_EQ(link.Fails, 1);
  EXPECT_TRUE(link.GaveUp());
  ASSERT_TRUE(sim->WaitForRequests(4, std::chrono::milliseconds(500)));
  const auto writes = sim->Requests();
  ASSERT_EQ(writes.size(), 4u);
  ExpectIdentical(writes);
  for (size_t i = 1; i < writes.size(); ++i) {
    const int64_t gap = MsBetween(writes[i - 1].Received, writes[i].Received);
    EXPECT_GE(gap, 470) << "write " << i;
    EXPECT_LE(gap, 1000) << "write " << i;
  }
  const int64_t total = MsBetween(start, link.FailAt);
  EXPECT_GE(total, 1950);
  EXPECT_LE(total, 3000);
  EXPECT_EQ(std::count(link.Log.begin(), link.Log.end(), std::string(kGiveUpLine)), 1);

  // Once given up, the link sends nothing more and answers at once.
  const auto before = SimClock::now();
  EXPECT_EQ(link.SendCommandText(94, "D,1,0312"), "");
  EXPECT_LT(MsBetween(before, SimClock::now()), 100);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(sim->RequestCount(), 4u);
  EXPECT_EQ(link.Fails, 1);
}

TEST(SimExchange, NakGiveUpStillSendsTheNextCommand) {
  auto sim = StartSim("nak-first=4");
  RecordingLink link(sim->SlavePath());
  const auto start = SimClock::now();
  EXPECT_EQ(link.SendCommandText(90, "#"), "");
  // NAKs are answered at once: no half-second waits.
  EXPECT_LT(MsBetween(start, SimClock::now()), 400);
  EXPECT_EQ(link.Fails, 1);
  EXPECT_FALSE(link.GaveUp());
  auto writes = sim->Requests();
  ASSERT_EQ(writes.size(), 4u);
  ExpectIdentical(writes);
  EXPECT_EQ(std::count(link.Log.begin(), link.Log.end(), std::string(kGiveUpLine)), 1);

  EXPECT_EQ(link.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  writes = sim->Requests();
  ASSERT_EQ(writes.size(), 5u);
  EXPECT_NE(writes[4].Seq, writes[0].Seq) << "a new command takes a new sequence number";
  EXPECT_EQ(link.Fails, 1);
}

TEST(SimExchange, RejectedAnswersAreRetransmittedAtOnceWithTheSameBytes) {
  for (const char* mode : {"damaged=2", "wrong-seq=2", "status-05=2"}) {
    SCOPED_TRACE(mode);
    auto sim = StartSim(mode);
    RecordingLink link(sim->SlavePath());
    const auto start = SimClock::now();
    EXPECT_EQ(link.SendCommandText(90, "#"), SimIdentification(sim->Options()));
    EXPECT_LT(MsBetween(start, SimClock::now()), 400);
    const auto writes = sim->Requests();
    ASSERT_EQ(writes.size(), 3u);
    ExpectIdentical(writes);
    EXPECT_EQ(link.Fails, 0);
    EXPECT_EQ(link.RetryCount(), 0) << "rejected answers are not counted";
  }
}

TEST(SimExchange, EndlessDamagedAnswersEndInAGiveUp) {
  auto sim = StartSim("damaged");
  RecordingLink link(sim->SlavePath());
  const auto start = SimClock::now();
  EXPECT_EQ(link.SendCommandText(90, "#"), "");
  EXPECT_LT(MsBetween(start, SimClock::now()), 10000);
  EXPECT_EQ(link.Fails, 1);
  const auto writes = sim->Requests();
  EXPECT_GT(writes.size(), 4u);
  ExpectIdentical(writes);
}

TEST(SimExchange, SynKeepsTheWaitAlive) {
  auto sim = StartSim("syn-busy=1600");
  RecordingLink link(sim->SlavePath());
  const auto start = SimClock::now();
  EXPECT_EQ(link.SendCommandText(90, "#"), SimIdentification(sim->Options()));
  EXPECT_GE(MsBetween(start, SimClock::now()), 1500);
  EXPECT_EQ(sim->RequestCount(), 1u);
  EXPECT_EQ(link.Fails, 0);
}

TEST(SimExchange, TextGapRestartsTheReportText) {
  auto sim = StartSim("text-gap=1500");
  RecordingLink link(sim->SlavePath());
  const std::string params = "S,1,7,120";
  EXPECT_EQ(link.SendCommandText(95, params), BuildSimReport(sim->Options(), 95, params).AnswerData);
  const auto writes = sim->Requests();
  ASSERT_EQ(writes.size(), 2u);
  ExpectIdentical(writes);
  const int64_t gap = MsBetween(writes[0].Received, writes[1].Received);
  EXPECT_GE(gap, 470);
  // The simulator starts the report over on the retransmission; what came before the gap
  // must not stay in front of it.
  EXPECT_EQ(link.ReportText(), BuildSimReport(sim->Options(), 95, params).Text);
  EXPECT_EQ(link.Fails, 0);
}

TEST(SimExchange, TextGapEveryTimeGivesUpWithEmptyReport) {
  auto sim = StartSim("text-gap-always=1500");
  RecordingLink link(sim->SlavePath());
  EXPECT_EQ(link.SendCommandText(94, "D,1,0312"), "");
  EXPECT_EQ(link.Fails, 1);
  EXPECT_TRUE(link.GaveUp());
  EXPECT_EQ(link.ReportText(), "");
  EXPECT_EQ(sim->RequestCount(), 4u);
}

TEST(SimExchange, ControlBytesOutsideFrames) {
  auto sim = StartSim("control-bytes");
  RecordingLink link(sim->SlavePath());
  const std::string params = "D,1,010112,311212";
  link.SendCommandText(94, params);
  const SimReport report = BuildSimReport(sim->Options(), 94, params);
  ASSERT_NE(report.Text.find('\x03'), std::string::npos);
  // 0x03 outside a frame is dropped; 0x04, 0x05, NUL and every line end are kept as text.
  EXPECT_EQ(link.ReportText(), WithoutByte(report.Text, '\x03'));
  EXPECT_EQ(sim->RequestCount(), 1u);
}

TEST(SimExchange, HugeReportArrivesWhole) {
  PrinterSimOptions o;
  o.ReportBytes = 4u << 20;
  auto sim = StartSim("", o);
  RecordingLink link(sim->SlavePath());
  const std::string params = "D,1,1,1830";
  link.SendCommandText(95, params);
  const SimReport report = BuildSimReport(sim->Options(), 95, params);
  ASSERT_GE(report.Text.size(), 4u << 20);
  EXPECT_EQ(link.ReportText().size(), report.Text.size());
  EXPECT_TRUE(link.ReportText() == report.Text);
  EXPECT_EQ(sim->RequestCount(), 1u);
}

TEST(SimExchange, AnswerFrameLongerThan255BytesIsAnError) {
  auto sim = StartSim("long-answer");
  RecordingLink link(sim->SlavePath());
  EXPECT_THROW(link.SendCommandText(90, "#"), Exception);
  EXPECT_EQ(sim->RequestCount(), 1u) << "an over-long answer is not retransmitted";
}

TEST(SimExchange, ReturnsSoonAfterTheAnswerFrame) {
  auto sim = StartSim("");
  RecordingLink link(sim->SlavePath());
  for (int i = 0; i < 5; ++i) {
    link.SendCommandText(94, "D,1,0312");
    const auto back = SimClock::now();
    const auto writes = sim->Requests();
    ASSERT_TRUE(writes.back().Answered);
    EXPECT_LT(MsBetween(writes.back().AnswerDone, back), 100);
  }
}

TEST(SimExchange, SimulatorProgramServesAComPortAndRecordsRequests) {
  const char* build = std::getenv("VQ_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  SetProgramFilePathForTesting("/opt/veltra/veltra-qrm");
  const std::string record = UserProgramFolder() + "/sim-record.txt";
  std::remove(record.c_str());
  {
    PrinterSimProcess sim(std::string(build) + "/tools/vq-printer-sim",
                          {"--port", "COM9", "--mode", "nak-first=1", "--stem", "AB 99", "--record", record});
    RecordingLink link("COM9");
    const std::string ident = link.SendCommandText(90, "#");
    EXPECT_NE(ident.find(",AB 99,"), std::string::npos) << ident;
    EXPECT_EQ(link.RetryCount(), 1);
  }
  SetProgramFilePathForTesting("");
  std::ifstream in(record);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("reply=nak"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("reply=answer"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("data=\"#\""), std::string::npos) << lines[1];
  // The program removes its link when it stops.
  EXPECT_THROW(RecordingLink("COM9"), Exception);
}
