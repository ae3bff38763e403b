#include <gtest/gtest.h>

#include <QCoreApplication>

#include "LinkRig.h"
#include "device/ReadKLEN.h"
#include "device/ReportCodec.h"
#include "device/SerialPort.h"

namespace {

TStringList Lines(const std::string& text) {
  TStringList out = {"stale"};
  LoadReportLines(text, out);
  return out;
}

TEST(ReportLines, BreaksNulAndLastLine) {
  EXPECT_EQ(Lines("P\r\nQ\n\nR"), (TStringList{"P", "Q", "", "R"}));
  EXPECT_EQ(Lines("P\r\n"), (TStringList{"P"}));
  EXPECT_EQ(Lines(std::string("P\0Q", 3)), (TStringList{"P"}));
  EXPECT_EQ(Lines("P\n\rQ"), (TStringList{"P", "", "Q"}));
  EXPECT_EQ(Lines("P\r\rQ\r"), (TStringList{"P", "", "Q"}));
  EXPECT_EQ(Lines(""), TStringList{});
  EXPECT_EQ(Lines("\r\n"), (TStringList{""}));
  EXPECT_EQ(Lines(std::string("\0abc", 4)), TStringList{});
  // Bytes are kept as they are: blanks, high bytes, other control bytes.
  EXPECT_EQ(Lines(" ^ Head \xB9\x04\x05\r\nx"), (TStringList{" ^ Head \xB9\x04\x05", "x"}));
}

TEST(ReportLines, CutInPlaceByTheSameRule) {
  for (const std::string& text : {std::string("P\r\nQ\n\nR"), std::string("P\n\rQ\r"), std::string("P\0Q", 3),
                                  std::string("\r\n"), std::string(), std::string(" ^ \xB9\x04\r\n\r\rx")}) {
    const TReportLines lines = SplitReportText(text);
    EXPECT_TRUE(lines == Lines(text)) << text;
    EXPECT_EQ(lines.ToList(), Lines(text)) << text;
  }
}

TEST(ReportRequest, AMonthIsReadOnlyInDetail) {
  TReportRequest r;
  r.Period = TReportMonth{"0324"};
  r.Type = TReportType::Summary;
  EXPECT_EQ(r.Check(), TReportCheck::SummaryByMonth);
  r.Type = TReportType::Detailed;
  EXPECT_EQ(r.Check(), TReportCheck::Ok);
}

// A printer on the rig: identification for 90, report text then the answer for the rest.
struct Printer {
  std::string identification = "V1,2,3,4,5,6,7,DT 123456,9";
  std::string report = "^REPORT\r\nline 1\r\n\r\nline 3\r\n";
  bool silent = false;
  bool nakIdentification = false;
  std::vector<Request> requests;

  void Attach(LinkRig& rig) {
    rig.onWrite = [this](LinkRig& r, const std::string& f) {
      const Request q = ParseRequest(f);
      requests.push_back(q);
      if (silent) return;
      if (q.cmd == 90) {
        r.At(5, nakIdentification ? std::string("\x15") : AnswerFrame(q.seq, q.cmd, identification));
      } else {
        r.At(5, report);
        r.At(50, AnswerFrame(q.seq, q.cmd, "0"));
      }
    };
  }
};

struct JobRun {
  std::shared_ptr<LinkRig> rig = std::make_shared<LinkRig>();
  Printer printer;
  TStringList lines = {"old"};
  int failCalls = 0;
  std::unique_ptr<TReadKLEN> job = std::make_unique<TReadKLEN>();

  JobRun() {
    job->Command = 95;
    job->Params = "D,1,1,20";
    job->StatusText = "Reading...";
    job->Lines = &lines;
    job->OnFail = [this](void*) { ++failCalls; };
    job->LinkFactory = [this] { return MakeRigLink(rig); };
  }
  void Run() {
    printer.Attach(*rig);
    job->Resume();
    job->Wait();
  }
};

TEST(ReadKLEN, ReadsStemAndLines) {
  JobRun run;
  run.Run();
  ASSERT_FALSE(run.job->Failure()) << run.job->FailureText().toStdString();
  EXPECT_EQ(run.job->FileNameStem, "DT 123456");  // blanks kept
  EXPECT_EQ(run.lines, (TStringList{"^REPORT", "line 1", "", "line 3"}));
  EXPECT_EQ(run.job->CurrentStatus(), "Reading...");
  ASSERT_EQ(run.printer.requests.size(), 2u);
  EXPECT_EQ(run.printer.requests[0].cmd, 90);
  EXPECT_EQ(run.printer.requests[0].data, "#");
  EXPECT_EQ(run.printer.requests[1].cmd, 95);
  EXPECT_EQ(run.printer.requests[1].data, "D,1,1,20");
  EXPECT_EQ(run.failCalls, 0);
}

TEST(ReadKLEN, ShortIdentificationAndEmptyReport) {
  JobRun run;
  run.printer.identification = "a,b,c,d,e,f,g";
  run.printer.report = "";
  run.Run();
  EXPECT_FALSE(run.job->Failure());
  EXPECT_EQ(run.job->FileNameStem, "");
  EXPECT_TRUE(run.lines.empty());
}

TEST(ReadKLEN, SilentPrinterGivesEmptyReportWithoutFailure) {
  JobRun run;
  run.printer.silent = true;
  run.Run();
  EXPECT_FALSE(run.job->Failure());
  EXPECT_EQ(run.failCalls, 1);
  EXPECT_EQ(run.printer.requests.size(), 4u);  // the report command is never sent
  EXPECT_EQ(run.job->FileNameStem, "");
  EXPECT_TRUE(run.lines.empty());
}

TEST(ReadKLEN, RefusedIdentificationStillReadsTheReport) {
  JobRun run;
  run.printer.nakIdentification = true;
  run.Run();
  EXPECT_FALSE(run.job->Failure());
  EXPECT_EQ(run.failCalls, 1);
  EXPECT_EQ(run.job->FileNameStem, "");
  EXPECT_EQ(run.printer.requests.size(), 5u);
  EXPECT_EQ(run.lines.size(), 4u);
}

TEST(ReadKLEN, FailuresReachTheOwner) {
  JobRun run;
  run.job->LinkFactory = []() -> std::unique_ptr<TFiscalLink> {
    throw ECommError("Unable to open port /dev/ttyUSB7!");
  };
  run.Run();
  EXPECT_EQ(run.job->FailureText(), "Unable to open port /dev/ttyUSB7!");
  EXPECT_EQ(run.lines, TStringList{"old"});
  EXPECT_TRUE(run.job->CurrentStatus().isEmpty());

  JobRun big;
  big.printer.report = "";
  big.rig->shortWrite = true;
  big.Run();
  EXPECT_EQ(big.job->FailureText(), "Incorrect number of bytes sent!");
}

TEST(ReadKLEN, OpensTheNamedPort) {
  // Without a factory the job opens PortName itself; a missing device is an ECommError.
  TStringList lines;
  TReadKLEN job;
  job.PortName = "/nonexistent/tty-of-no-one";
  job.Baud = 9600;
  job.Lines = &lines;
  job.Resume();
  job.Wait();
  EXPECT_TRUE(job.FailureText().contains("/nonexistent/tty-of-no-one"));
}

}  // namespace
