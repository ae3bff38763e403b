// The simulator builds its frames on its own; these cross-checks against the program's frame
// code make sure the two agree where they must and disagree where a fault mode wants them to.
#include <gtest/gtest.h>

#include "device/Frame.h"
#include "tools/PrinterSim.h"

namespace {
const uint8_t kStatus[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

bool ProgramAccepts(const std::string& f) {
  return VerifyChecksum(reinterpret_cast<const uint8_t*>(f.data()), int(f.size()));
}
}  // namespace

TEST(SimTool, AnswerFramesAgreeWithTheProgramsChecksum) {
  const std::string empty = BuildSimAnswer(0x20, 90, "", kStatus, false);
  ASSERT_EQ(empty.size(), 17u);
  EXPECT_EQ(empty[4], '\x04');
  EXPECT_EQ(empty.back(), '\x03');
  EXPECT_TRUE(ProgramAccepts(empty));
  EXPECT_TRUE(ProgramAccepts(BuildSimAnswer(0x7F, 94, "VQ-SIM,1.00,PL,\xB9\xEA", kStatus, false)));
  EXPECT_FALSE(ProgramAccepts(BuildSimAnswer(0x7F, 94, "12", kStatus, true)));
  // 0x05 among the status bytes: the printer sums the whole frame, the program stops early.
  uint8_t status05[6] = {0x80, 0x80, 0x80, 0x05, 0x80, 0x80};
  EXPECT_FALSE(ProgramAccepts(BuildSimAnswer(0x21, 90, "x", status05, false)));
  EXPECT_GT(BuildSimAnswer(0x21, 90, std::string(250, 'L'), kStatus, false).size(), 255u);
}

TEST(SimTool, ReportsAreDeterministicAndFreeOfFrameBytes) {
  PrinterSimOptions o;
  const SimReport a = BuildSimReport(o, 94, "D,1,050312,200312");
  EXPECT_EQ(a.Text, BuildSimReport(o, 94, "D,1,050312,200312").Text);
  EXPECT_NE(a.Text, BuildSimReport(o, 94, "D,1,050312,210312").Text);
  for (char c : a.Text)
    for (char bad : {'\x01', '\x03', '\x15', '\x16', '\0'}) ASSERT_NE(c, bad);
  EXPECT_NE(a.Text.find("\xCA"), std::string::npos) << "code page 1250 letters expected";
  EXPECT_NE(BuildSimReport(o, 95, "S,1,7,120").Lines, BuildSimReport(o, 95, "D,1,7,120").Lines);
  o.ReportBytes = 100000;
  EXPECT_GE(BuildSimReport(o, 95, "S,1,1,2").Text.size(), 100000u);
}

TEST(SimTool, ArgumentsAreCheckedWithClearMessages) {
  auto parse = [](std::vector<std::string> args) {
    PrinterSimOptions o;
    std::string port;
    bool stdinStop = false;
    ParsePrinterSimArgs(args, o, port, stdinStop);
    return o;
  };
  const PrinterSimOptions o = parse({"--mode", "nak-first=2,damaged,syn-busy=900", "--mode", "text-gap=700"});
  EXPECT_EQ(o.NakCount, 2);
  EXPECT_EQ(o.DamagedCount, -1);
  EXPECT_EQ(o.SynBusyMs, 900);
  EXPECT_EQ(o.TextGapMs, 700);
  EXPECT_EQ(o.TextGapCount, 1);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--mode", "nak-first"},
                                              {"--mode", "bogus"},
                                              {"--port", "COM0"},
                                              {"--port", "LPT1"},
                                              {"--report-bytes", "-5"},
                                              {"--stem", "A,B"},
                                              {"--link"},
                                              {"--link", "/a", "--port", "COM1"},
                                              {"--unknown"}}) {
    try {
      parse(bad);
      ADD_FAILURE() << "accepted " << bad[0];
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()), "");
    }
  }
}

TEST(SimTool, EntryDatesFallInsideThePeriodAskedFor) {
  struct Case {
    const char* params;
    const char* monthYear;  // "-MM-20YY" every entry must carry
    int lastDay;
  };
  for (const Case& c : {Case{"D,1,091226,091226", "-12-2026", 9}, Case{"S,1,022024", "-02-2024", 29},
                        Case{"D,1,280225,010325", "", 31}}) {
    const SimReport r = BuildSimReport(PrinterSimOptions{}, 94, c.params);
    int dated = 0;
    for (const std::string& line : r.Lines) {
      const size_t at = line.find("-20");
      if (at == std::string::npos || at < 5) continue;
      ++dated;
      const std::string date = line.substr(at - 5, 10);  // "dd-MM-yyyy"
      EXPECT_LE(std::stoi(date.substr(0, 2)), c.lastDay) << c.params << ": " << line;
      if (*c.monthYear) {
        EXPECT_EQ(date.substr(2), c.monthYear) << c.params << ": " << line;
      } else {
        EXPECT_TRUE(date == "28-02-2025" || date == "01-03-2025") << c.params << ": " << line;
      }
    }
    EXPECT_GT(dated, 0) << c.params;
  }
}
