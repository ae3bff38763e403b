// The report job end to end: TReadKLEN with the real port and link over a pseudo-terminal,
// against the printer simulator in each of its modes.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "SimRig.h"
#include "device/ReadKLEN.h"
#include "support/AppPaths.h"

namespace {

struct JobResult {
  TStringList Lines;
  std::string Stem;
  int Fails = 0;
  std::string Error;  // "" when the job did not fail
  std::vector<PrinterSim::Request> Requests;
};

JobResult RunJob(PrinterSim& sim, uint8_t command, const std::string& params,
                 const std::string& portName = "") {
  JobResult r;
  r.Lines = {"left over from an earlier read"};
  TReadKLEN job;
  job.PortName = portName.empty() ? sim.SlavePath() : portName;
  job.Baud = 115200;
  job.Command = command;
  job.Params = params;
  job.StatusText = "Reading";
  job.Lines = &r.Lines;
  job.OnFail = [&r](void*) { ++r.Fails; };
  job.Resume();
  job.Wait();
  r.Error = job.FailureText().toStdString();
  r.Stem = job.FileNameStem;
  r.Requests = sim.Requests();
  return r;
}

std::vector<uint8_t> Commands(const JobResult& r) {
  std::vector<uint8_t> out;
  for (const auto& q : r.Requests) out.push_back(q.Cmd);
  return out;
}

}  // namespace

TEST(SimReadKLEN, ReadsLinesAndStemThroughAComPort) {
  SetProgramFilePathForTesting("/opt/veltra/veltra-qrm");
  PrinterSimOptions o;
  o.LinkPath = PortLinkPathFor("COM3");
  auto sim = StartSim("", o);
  const std::string params = "D,1,050312,200312";
  const JobResult r = RunJob(*sim, 94, params, "COM3");
  SetProgramFilePathForTesting("");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Stem, "ZHK 12345678") << "blanks inside the eighth field stay";
  EXPECT_EQ(r.Lines, BuildSimReport(sim->Options(), 94, params).Lines);
  ASSERT_GE(r.Lines.size(), 3u);
  EXPECT_EQ(r.Lines[0][0], '^');
  EXPECT_EQ(r.Fails, 0);
  EXPECT_EQ(Commands(r), (std::vector<uint8_t>{90, 94}));
  EXPECT_EQ(r.Requests[0].Data, "#");
  EXPECT_EQ(r.Requests[1].Data, params);
}

TEST(SimReadKLEN, ReportDependsOnTheRequest) {
  auto sim = StartSim("");
  const JobResult a = RunJob(*sim, 95, "S,1,7,120");
  const JobResult b = RunJob(*sim, 95, "D,1,7,8");
  EXPECT_EQ(a.Lines, BuildSimReport(sim->Options(), 95, "S,1,7,120").Lines);
  EXPECT_EQ(b.Lines, BuildSimReport(sim->Options(), 95, "D,1,7,8").Lines);
  EXPECT_NE(a.Lines, b.Lines);
}

TEST(SimReadKLEN, FaultsThatAreRetriedStillGiveTheWholeReport) {
  // Each mode spoils the first answer (or the first report attempt) only.
  for (const char* mode : {"damaged=1", "wrong-seq=1", "status-05=1", "nak-first=2", "text-gap=1500",
                           "syn-busy=900", "damaged=3,wrong-seq=2,nak-first=1"}) {
    SCOPED_TRACE(mode);
    auto sim = StartSim(mode);
    const JobResult r = RunJob(*sim, 94, "S,1,0312");
    EXPECT_EQ(r.Error, "");
    EXPECT_EQ(r.Fails, 0);
    EXPECT_EQ(r.Stem, "ZHK 12345678");
    EXPECT_EQ(r.Lines, BuildSimReport(sim->Options(), 94, "S,1,0312").Lines);
  }
}

TEST(SimReadKLEN, SilentPrinterGivesEmptyStemAndLinesWithoutFailure) {
  auto sim = StartSim("silent");
  const JobResult r = RunJob(*sim, 94, "D,1,0312");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Fails, 1);
  EXPECT_EQ(r.Stem, "");
  EXPECT_TRUE(r.Lines.empty());
  // The report command is never sent after the identification was given up.
  EXPECT_EQ(Commands(r), (std::vector<uint8_t>{90, 90, 90, 90}));
}

TEST(SimReadKLEN, NakOnTheIdentificationStillReadsTheReport) {
  auto sim = StartSim("nak-first=4");
  const JobResult r = RunJob(*sim, 94, "D,1,0312");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Fails, 1);
  EXPECT_EQ(r.Stem, "");
  EXPECT_EQ(r.Lines, BuildSimReport(sim->Options(), 94, "D,1,0312").Lines);
  EXPECT_EQ(Commands(r), (std::vector<uint8_t>{90, 90, 90, 90, 94}));
}

TEST(SimReadKLEN, ShortIdentificationGivesEmptyStem) {
  auto sim = StartSim("short-ident");
  const JobResult r = RunJob(*sim, 94, "D,1,0312");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Stem, "");
  EXPECT_EQ(r.Lines, BuildSimReport(sim->Options(), 94, "D,1,0312").Lines);
}

TEST(SimReadKLEN, ControlBytesAndMixedLineEnds) {
  auto sim = StartSim("control-bytes");
  const JobResult r = RunJob(*sim, 94, "D,1,0312");
  EXPECT_EQ(r.Error, "");
  const SimReport report = BuildSimReport(sim->Options(), 94, "D,1,0312");
  EXPECT_EQ(r.Lines, report.Lines);
  // The pieces that matter, spelled out: 0x04 0x05 kept, LF CR giving an empty line, the NUL
  // ending the text.
  EXPECT_NE(std::find(r.Lines.begin(), r.Lines.end(), std::string("Znaki ster.: \x04\x05 koniec")),
            r.Lines.end());
  EXPECT_NE(std::find(r.Lines.begin(), r.Lines.end(), std::string()), r.Lines.end());
  ASSERT_FALSE(r.Lines.empty());
  EXPECT_EQ(r.Lines.back(), "OSTATNIA");
}

TEST(SimReadKLEN, TextGapEveryTimeGivesEmptyLines) {
  auto sim = StartSim("text-gap-always=1500");
  const JobResult r = RunJob(*sim, 95, "D,1,1,20");
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(r.Fails, 1);
  EXPECT_EQ(r.Stem, "ZHK 12345678");
  EXPECT_TRUE(r.Lines.empty());
  EXPECT_EQ(Commands(r), (std::vector<uint8_t>{90, 95, 95, 95, 95}));
}

TEST(SimReadKLEN, LongAnswerFailsTheJob) {
  auto sim = StartSim("long-answer");
  const JobResult r = RunJob(*sim, 94, "D,1,0312");
  EXPECT_NE(r.Error, "");
  EXPECT_EQ(r.Fails, 0);
  EXPECT_EQ(Commands(r), (std::vector<uint8_t>{90}));
}

TEST(SimReadKLEN, HugeReport) {
  PrinterSimOptions o;
  o.ReportBytes = 4u << 20;
  auto sim = StartSim("", o);
  const JobResult r = RunJob(*sim, 95, "D,1,1,1830");
  EXPECT_EQ(r.Error, "");
  const SimReport report = BuildSimReport(sim->Options(), 95, "D,1,1,1830");
  ASSERT_EQ(r.Lines.size(), report.Lines.size());
  EXPECT_TRUE(r.Lines == report.Lines);
}

TEST(SimReadKLEN, PortThatCannotBeOpenedFailsTheJob) {
  auto sim = StartSim("");
  const JobResult r = RunJob(*sim, 94, "D,1,0312", sim->SlavePath() + "-missing");
  EXPECT_NE(r.Error.find(sim->SlavePath() + "-missing"), std::string::npos) << r.Error;
  EXPECT_EQ(r.Lines, TStringList{"left over from an earlier read"});
  EXPECT_TRUE(r.Requests.empty());
}
