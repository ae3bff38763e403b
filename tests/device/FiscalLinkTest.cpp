#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "LinkRig.h"
#include "support/Exceptions.h"

namespace {

const char* const kGiveUpLine = "Were made is 3 unsuccess try to connect with fiscal device!";

std::shared_ptr<LinkRig> NewRig() { return std::make_shared<LinkRig>(); }

int Count(const std::vector<std::string>& v, const std::string& s) {
  return int(std::count(v.begin(), v.end(), s));
}

TEST(FiscalLink, AcceptedAnswerCarriesDataAndStatus) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  const uint8_t start = link->Sequence();
  EXPECT_GE(start, 0x20);
  EXPECT_LE(start, 0x7E);
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(3, AnswerFrame(q.seq, q.cmd, std::string("A,\xE9\xFF,z", 6), "\x20\x21\x22\x23\x24\x25"));
  };
  EXPECT_EQ(link->SendCommandText(90, "#"), std::string("A,\xE9\xFF,z", 6));
  ASSERT_EQ(rig->writes.size(), 1u);
  EXPECT_EQ(ParseRequest(rig->writes[0].bytes).seq, uint8_t(start + 1));
  EXPECT_EQ(rig->writes[0].bytes.substr(3, 2), "Z#");
  EXPECT_EQ(rig->purges, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(link->Status()), 6), "\x20\x21\x22\x23\x24\x25");
  EXPECT_TRUE(link->ReportText().empty());
  EXPECT_TRUE(link->log.empty());
}

TEST(FiscalLink, SequenceMovesPerCommandAndWraps) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = AnswerAll("ok");
  const int toWrap = 0x7F - link->Sequence();
  for (int i = 0; i < toWrap; ++i) link->SendCommandText(0x4A, "");
  EXPECT_EQ(link->Sequence(), 0x7F);
  link->SendCommandText(0x4A, "");
  EXPECT_EQ(link->Sequence(), 0x20);
  EXPECT_EQ(ParseRequest(rig->writes.back().bytes).seq, 0x20);
}

TEST(FiscalLink, SilentPrinterIsGivenUpAndLaterCommandsSendNothing) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  const std::string answer = link->SendCommandText(90, "#");
  EXPECT_TRUE(answer.empty());
  ASSERT_EQ(rig->writes.size(), 4u);
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(rig->writes[i].bytes, rig->writes[0].bytes);  // identical retransmission
    const int64_t gap = rig->writes[i].at - rig->writes[i - 1].at;
    EXPECT_GE(gap, 500);
    EXPECT_LE(gap, 520);
  }
  EXPECT_TRUE(link->GaveUp());
  EXPECT_TRUE(link->TimedOut());
  EXPECT_EQ(link->failCalls, 1);
  EXPECT_EQ(link->log, std::vector<std::string>{kGiveUpLine});

  rig->onWrite = AnswerAll("late");
  EXPECT_TRUE(link->SendCommandText(94, "D,1,0101").empty());
  EXPECT_EQ(rig->writes.size(), 4u);
  EXPECT_EQ(link->failCalls, 1);
  EXPECT_EQ(link->log.size(), 1u);
}

TEST(FiscalLink, NakGiveUpStillSendsTheNextCommand) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string&) { r.At(2, "\x15"); };
  EXPECT_TRUE(link->SendCommandText(90, "#").empty());
  ASSERT_EQ(rig->writes.size(), 4u);
  for (const auto& w : rig->writes) EXPECT_EQ(w.bytes, rig->writes[0].bytes);
  EXPECT_EQ(rig->purges, 4);
  EXPECT_EQ(link->failCalls, 1);
  EXPECT_FALSE(link->GaveUp());
  EXPECT_EQ(link->log, std::vector<std::string>{kGiveUpLine});

  rig->onWrite = AnswerAll("fine");
  EXPECT_EQ(link->SendCommandText(94, "x"), "fine");
  EXPECT_EQ(rig->writes.size(), 5u);
  EXPECT_EQ(link->failCalls, 1);
}

TEST(FiscalLink, RetryCountRestartsWithEachCommand) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int n = 0;
  // Three NAKs, then an answer: the fourth write succeeds without a give-up.
  rig->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(2, ++n % 4 != 0 ? std::string("\x15") : AnswerFrame(q.seq, q.cmd, "ok"));
  };
  EXPECT_EQ(link->SendCommandText(0x4A, ""), "ok");
  EXPECT_EQ(link->RetryCount(), 3);
  EXPECT_EQ(link->SendCommandText(0x4B, ""), "ok");
  EXPECT_EQ(rig->writes.size(), 8u);
  EXPECT_EQ(link->failCalls, 0);
}

TEST(FiscalLink, SynAndTextKeepTheWaitAlive) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    for (int i = 1; i <= 20; ++i) r.At(400 * i, "\x16");  // busy for 8 s
    for (int i = 1; i <= 10; ++i) r.At(8000 + 450 * i, std::string(1, char('a' + i - 1)));
    r.At(8000 + 4500 + 490, AnswerFrame(q.seq, q.cmd, "end"));
  };
  EXPECT_EQ(link->SendCommandText(94, "S,1,0126"), "end");
  EXPECT_EQ(rig->writes.size(), 1u);
  EXPECT_EQ(link->ReportText(), "abcdefghij");
  EXPECT_EQ(link->failCalls, 0);
}

TEST(FiscalLink, TextGapRestartsTheReport) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int n = 0;
  rig->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    if (++n == 1) {
      r.At(10, "first part");  // then more than 500 ms of silence: a time-out
    } else {
      r.At(10, "second ");
      r.At(300, "try");
      r.At(500, AnswerFrame(q.seq, q.cmd, ""));
    }
  };
  EXPECT_EQ(link->SendCommandText(94, "D,1,1225"), "");
  ASSERT_EQ(rig->writes.size(), 2u);
  EXPECT_EQ(rig->writes[1].bytes, rig->writes[0].bytes);
  EXPECT_EQ(link->ReportText(), "second try");
  EXPECT_EQ(link->RetryCount(), 1);
}

TEST(FiscalLink, TimeOutGiveUpEmptiesTheReportBeforeOnFail) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string&) { r.At(5, "partial report\r\n"); };
  std::string seenByHandler = "unset";
  link->OnFail = [&](void* sender) {
    EXPECT_EQ(sender, nullptr);
    seenByHandler = link->ReportText();
  };
  link->SendCommandText(94, "D,1,0101,3112");
  EXPECT_EQ(rig->writes.size(), 4u);
  EXPECT_EQ(seenByHandler, "");
  EXPECT_EQ(link->ReportText(), "");

  // Without a listener the partial text is dropped all the same.
  auto rig2 = NewRig();
  auto link2 = MakeRigLink(rig2);
  link2->OnFail = nullptr;
  rig2->onWrite = [](LinkRig& r, const std::string&) { r.At(5, "partial"); };
  link2->SendCommandText(94, "x");
  EXPECT_TRUE(link2->GaveUp());
  EXPECT_EQ(link2->ReportText(), "");
}

TEST(FiscalLink, WrongSequenceIsNeverAccepted) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int n = 0;
  rig->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    ++n;
    r.At(5, AnswerFrame(n < 4 ? uint8_t(q.seq + 1) : q.seq, q.cmd, "n" + std::to_string(n)));
  };
  EXPECT_EQ(link->SendCommandText(90, "#"), "n4");
  ASSERT_EQ(rig->writes.size(), 4u);
  for (const auto& w : rig->writes) EXPECT_EQ(w.bytes, rig->writes[0].bytes);
  // Rejections are retransmitted at once and are not counted.
  EXPECT_EQ(link->RetryCount(), 0);
  EXPECT_LE(rig->writes[3].at - rig->writes[0].at, 3 * 20);
}

TEST(FiscalLink, DamagedAnswersAreRetransmitted) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int n = 0;
  rig->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    std::string a = AnswerFrame(q.seq, q.cmd, "data");
    switch (++n) {
      case 1: a[a.size() - 2] ^= 1; break;  // bad checksum
      case 2: a = "\x01\x03"; break;        // bare frame
      case 3:
        a = AnswerFrame(q.seq, q.cmd, "");
        a.erase(4, 1);
        break;   // no separator
      case 4: {  // 0x05 among the status bytes, checksum over the whole frame
        a = AnswerFrame(q.seq, q.cmd, "x", "\x20\x05\x20\x20\x20\x20");
        unsigned sum = 0;
        for (size_t i = 1; i + 5 < a.size(); ++i) sum += uint8_t(a[i]);
        for (int k = 0; k < 4; ++k) a[a.size() - 5 + size_t(k)] = char(0x30 + ((sum >> (12 - 4 * k)) & 15));
        break;
      }
      case 5:  // only three status bytes before the 0x05
        a = AnswerFrame(q.seq, q.cmd, "x", "\x20\x20\x20\x20\x20\x20");
        a.erase(6, 3);
        break;
      default: break;
    }
    if (n == 3 || n == 5) EncodeChecksum(reinterpret_cast<uint8_t*>(a.data()), int(a.size()));
    r.At(5, a);
  };
  EXPECT_EQ(link->SendCommandText(0x4A, ""), "data");
  EXPECT_EQ(rig->writes.size(), 6u);
  EXPECT_EQ(link->failCalls, 0);
}

TEST(FiscalLink, ControlBytesOutsideAndInsideFrames) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    // 0x03 outside a frame is dropped; 0x04, 0x05, NUL and high bytes are text; a 0x01 inside
    // a frame starts it again.
    r.At(5, std::string("a\x03"
                        "b\x04"
                        "c\x05"
                        "d\0e\xFF",
                        10));
    r.At(50, std::string("\x01\x30\x20garbage") + AnswerFrame(q.seq, q.cmd, "ok"));
  };
  EXPECT_EQ(link->SendCommandText(94, "p"), "ok");
  EXPECT_EQ(link->ReportText(), std::string("ab\x04"
                                            "c\x05"
                                            "d\0e\xFF",
                                            9));
  EXPECT_EQ(rig->writes.size(), 1u);
}

TEST(FiscalLink, FrameLimitOf255Bytes) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  const std::string longest(kMaxAnswerData, 'L');
  rig->onWrite = [&](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(5, AnswerFrame(q.seq, q.cmd, longest));
  };
  ASSERT_EQ(AnswerFrame(0x20, 1, longest).size(), 255u);
  EXPECT_EQ(link->SendCommandText(0x4A, ""), longest);

  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(5, AnswerFrame(q.seq, q.cmd, std::string(kMaxAnswerData + 1, 'L')));
  };
  try {
    link->SendCommandText(0x4A, "");
    FAIL() << "no error for a 256-byte frame";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("255"), std::string::npos) << e.what();
  }
}

TEST(FiscalLink, EndlessRejectionsAreBounded) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(5, AnswerFrame(uint8_t(q.seq ^ 0x40), q.cmd, "never"));
  };
  EXPECT_TRUE(link->SendCommandText(90, "#").empty());
  // The first write, eight free retransmissions, then the counted three.
  EXPECT_EQ(rig->writes.size(), 1u + TFiscalLink::kMaxRejectedInRow + 3u);
  EXPECT_TRUE(link->GaveUp());
  EXPECT_EQ(link->failCalls, 1);
  EXPECT_EQ(Count(link->log, kGiveUpLine), 1);
  ASSERT_EQ(link->log.size(), 5u);
  EXPECT_EQ(link->log[0], "9 answers in a row were rejected! Counted as a time-out.");

  // A real time-out breaks the row: damaged answers after it get their free retransmissions.
  auto rig2 = NewRig();
  auto link2 = MakeRigLink(rig2);
  int n = 0;
  rig2->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    ++n;
    if (n == 5) return;  // silence
    r.At(5, AnswerFrame(n == 12 ? q.seq : uint8_t(q.seq + 1), q.cmd, "ok"));
  };
  EXPECT_EQ(link2->SendCommandText(0x4A, ""), "ok");
  EXPECT_EQ(link2->failCalls, 0);
  EXPECT_EQ(link2->RetryCount(), 1);
}

TEST(FiscalLink, ReportTextLimit) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  link->SetReportTextLimit(1000);
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(5, std::string(1000, 'x') + AnswerFrame(q.seq, q.cmd, ""));
  };
  link->SendCommandText(94, "");
  EXPECT_EQ(link->ReportText().size(), 1000u);

  rig->onWrite = [](LinkRig& r, const std::string&) { r.At(5, std::string(1001, 'x')); };
  EXPECT_THROW(link->SendCommandText(94, ""), Exception);
}

TEST(FiscalLink, EndlessStreamStopsAt64MiB) {
  auto rig = NewRig();
  rig->readChunk = 1 << 20;
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string&) {
    for (int i = 0; i < 65; ++i) r.At(5 + i, std::string(1 << 20, 'R'));
  };
  try {
    link->SendCommandText(94, "D,1,0101,3112");
    FAIL() << "no error for an endless report";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("64 MiB"), std::string::npos) << e.what();
  }
  EXPECT_EQ(link->ReportText().size(), TFiscalLink::kReportTextLimit);
}

TEST(FiscalLink, ReadErrorsAreLoggedAndDoNotEndTheWait) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int failures = 0;
  const int codes[] = {kErrOperationAborted, 13, kErrOperationAborted};
  rig->failRead = [&](int& err) {
    if (failures >= 3) return false;
    err = codes[failures++];
    return true;
  };
  rig->onWrite = AnswerAll("ok", 100);
  EXPECT_EQ(link->SendCommandText(0x4A, ""), "ok");
  EXPECT_EQ(link->log, (std::vector<std::string>{"Read error 995! GetBlock", "Read error 995! GetBlock"}));
  EXPECT_EQ(rig->writes.size(), 1u);
}

TEST(FiscalLink, HangUpDoesNotSpin) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->failRead = [](int& err) {
    err = kErrAccessDenied;
    return true;
  };
  try {
    link->SendCommandText(90, "#");
    FAIL() << "a hang-up did not end the read";
  } catch (const Exception& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("The port /dev/scripted-printer was disconnected during the read.", 0),
        0u)
        << e.what();
  }
  EXPECT_EQ(rig->reads, 1);
  EXPECT_EQ(rig->writes.size(), 1u);
  EXPECT_EQ(link->failCalls, 0);
  EXPECT_EQ(link->log, std::vector<std::string>{"Read error 5! GetBlock"});

  // A driver whose empty reads return at once is slept out to 10 ms a read.
  auto rig2 = NewRig();
  rig2->emptyReadsTakeNoTime = true;
  auto link2 = MakeRigLink(rig2);
  link2->SendCommandText(90, "#");
  EXPECT_TRUE(link2->GaveUp());
  EXPECT_LE(rig2->reads, 4 * 52);
  EXPECT_TRUE(link2->log.size() == 1u);
}

TEST(FiscalLink, AbortEndsThisWaitAndEveryLaterOne) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  rig->onWrite = [](LinkRig& r, const std::string&) {
    for (int i = 1; i <= 50; ++i) r.At(100 * i, "\x16");  // busy for 5 s
  };
  rig->failRead = [&](int&) {
    if (rig->now >= 1300) link->Abort();
    return false;
  };
  EXPECT_THROW(link->SendCommandText(94, "D,1,1225"), EReadCancelled);
  EXPECT_LE(rig->now, 1300 + 10);
  const uint8_t seq = link->Sequence();
  EXPECT_THROW(link->SendCommandText(90, "#"), EReadCancelled);
  EXPECT_THROW(link->DrainEarlierReport({}), EReadCancelled);
  EXPECT_EQ(rig->writes.size(), 1u);
  EXPECT_EQ(link->Sequence(), seq);
  EXPECT_EQ(link->failCalls, 0);

  auto early = MakeRigLink(rig);  // aborted before its first wait
  early->Abort();
  EXPECT_THROW(early->SendCommandText(90, "#"), EReadCancelled);
  EXPECT_EQ(rig->writes.size(), 1u);
}

TEST(FiscalLink, DrainDiscardsAnEarlierReportUntilTheLineIsQuiet) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int finishing = 0;
  const int64_t start = rig->now;
  EXPECT_FALSE(link->DrainEarlierReport([&] { ++finishing; }));
  EXPECT_GE(rig->now - start, TFiscalLink::kDrainLookMs);
  EXPECT_LE(rig->now - start, TFiscalLink::kDrainLookMs + 10);

  rig->At(90, "old report ");
  rig->At(400, "\x16");
  rig->At(890, "tail" + AnswerFrame(0x33, 94, "") + "\x15");
  EXPECT_TRUE(link->DrainEarlierReport([&] { ++finishing; }));
  EXPECT_EQ(finishing, 1);
  EXPECT_GE(rig->now - start, 890 + TFiscalLink::kReadTimeoutMs);
  EXPECT_TRUE(rig->writes.empty());

  int progress = 0;
  link->OnReportProgress = [&] { progress = int(link->ReportText().size()); };
  rig->onWrite = [](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(5, "new ");
    r.At(50, "report" + AnswerFrame(q.seq, q.cmd, ""));
  };
  link->SendCommandText(94, "D,1,1225");
  EXPECT_EQ(progress, 10);
  EXPECT_EQ(link->TakeReportText(), "new report");
  EXPECT_EQ(link->ReportText(), "");
  link->SetReportTextLimit(100);  // a line that never falls quiet
  for (int i = 0; i < 30; ++i) rig->At(20 * i, "noise");
  EXPECT_THROW(link->DrainEarlierReport({}), Exception);
}

TEST(FiscalLink, BytesAfterAnAnswerAreKeptForTheNextWait) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  int n = 0;
  rig->onWrite = [&n](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    if (++n == 1)
      r.At(5, AnswerFrame(q.seq, q.cmd, "id") + "early text ");
    else
      r.At(5, "more" + AnswerFrame(q.seq, q.cmd, ""));
  };
  EXPECT_EQ(link->SendCommandText(90, "#"), "id");
  EXPECT_EQ(link->ReportText(), "");
  link->SendCommandText(94, "x");
  EXPECT_EQ(link->ReportText(), "early text more");
}

TEST(FiscalLink, WriteAndDataErrors) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  const uint8_t seq = link->Sequence();
  EXPECT_THROW(link->SendCommandText(0x4A, std::string(256, 'd')), Exception);
  EXPECT_THROW(link->SendCommandText(0x4A, std::string(220, 'd')), Exception);
  EXPECT_TRUE(rig->writes.empty());
  EXPECT_EQ(link->Sequence(), seq);

  rig->shortWrite = true;
  try {
    link->SendCommandText(0x4A, "abc");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Incorrect number of bytes sent!");
  }
}

int32_t CodeFor(const std::string& status, int32_t start) {
  auto rig = std::make_shared<LinkRig>();
  auto link = MakeRigLink(rig);
  rig->onWrite = [&](LinkRig& r, const std::string& f) {
    const Request q = ParseRequest(f);
    r.At(2, AnswerFrame(q.seq, q.cmd, "", status));
  };
  link->SendCommandText(0x4A, "");
  int32_t code = start;
  link->StatusToErrorCode(code);
  return code;
}

TEST(FiscalLink, StatusToErrorCode) {
  auto st = [](uint8_t s0, uint8_t s1, uint8_t s2, uint8_t s4) {
    // Bit 7 set as a printer does, so no status byte reads as a control byte of the frame.
    return std::string{char(0x80 | s0), char(0x80 | s1), char(0x80 | s2), '\x80', char(0x80 | s4), '\x80'};
  };
  EXPECT_EQ(CodeFor(st(0x23, 0x00, 0x00, 0x00), 77), 2);
  EXPECT_EQ(CodeFor(st(0x22, 0x00, 0x00, 0x00), 77), 1);
  EXPECT_EQ(CodeFor(st(0x20, 0x00, 0x01, 0x00), 77), 4);
  EXPECT_EQ(CodeFor(st(0x23, 0x02, 0x01, 0x00), 77), 4);
  EXPECT_EQ(CodeFor(st(0x21, 0x02, 0x00, 0x00), 77), 3);
  EXPECT_EQ(CodeFor(st(0x20, 0x00, 0x00, 0x31), 77), 77);  // S0 flag wins, nothing named
  EXPECT_EQ(CodeFor(st(0x00, 0x00, 0x00, 0x31), 77), 6);
  EXPECT_EQ(CodeFor(st(0x00, 0x00, 0x00, 0x21), 77), 5);
  EXPECT_EQ(CodeFor(st(0x00, 0x00, 0x00, 0x20), 77), 77);
  EXPECT_EQ(CodeFor(st(0x03, 0x02, 0x01, 0x11), 77), 0);  // no flag bits: no error
}

TEST(FiscalLink, ErrorTextsAndLogError) {
  auto rig = NewRig();
  auto link = MakeRigLink(rig);
  EXPECT_EQ(link->ErrorText(0), "No error!");
  EXPECT_EQ(link->ErrorText(3), "Execution of the command is not allowed in the current fiscal mode!");
  EXPECT_EQ(link->ErrorText(6), "The fiscal memory is full!");
  EXPECT_EQ(link->ErrorText(7), "Unknown error!");
  EXPECT_EQ(link->ErrorText(-1), "Unknown error!");

  link->LogError("Cmd 94 ", 0);
  EXPECT_TRUE(link->log.empty());
  link->LogError("Cmd 94 ", 4);
  link->LogError("100% %s %n ", -1);
  EXPECT_EQ(link->log,
            (std::vector<std::string>{"Cmd 94 -> Error code: 4! Error text: Paper is finished!",
                                      "100% %s %n -> Error code: -1! Error text: Unknown error!"}));
}

}  // namespace
