#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/Frame.h"
#include "support/Exceptions.h"

namespace {

std::vector<uint8_t> Build(uint8_t seq, uint8_t cmd, const std::string& data) {
  std::vector<uint8_t> out(kFrameBufferSize, 0xEE);
  const int len = BuildRequestFrame(out.data(), seq, cmd, reinterpret_cast<const uint8_t*>(data.data()),
                                    int(data.size()));
  out.resize(size_t(len));
  return out;
}

TEST(Frame, WorkedExampleIsByteExact) {
  const std::vector<uint8_t> want = {0x01, 0x25, 0x20, 0x5A, 0x23, 0x05, 0x30, 0x30, 0x3C, 0x37, 0x03};
  const auto got = Build(0x20, 90, "#");
  EXPECT_EQ(got, want);
  EXPECT_EQ(FrameSum(got.data(), int(got.size())), 0x00C7);
  EXPECT_TRUE(VerifyChecksum(got.data(), int(got.size())));
}

TEST(Frame, LengthLimits) {
  const auto empty = Build(0x30, 0x41, "");
  ASSERT_EQ(empty.size(), 10u);
  EXPECT_EQ(empty[1], 0x24);
  EXPECT_EQ(empty[4], kPOST);
  EXPECT_TRUE(VerifyChecksum(empty.data(), 10));

  const auto full = Build(0x30, 0x41, std::string(219, 'x'));
  ASSERT_EQ(full.size(), 229u);
  EXPECT_EQ(full[1], 0xFF);
  EXPECT_EQ(full[228], kTERM);
  EXPECT_TRUE(VerifyChecksum(full.data(), 229));

  uint8_t buf[kFrameBufferSize];
  const std::string tooLong(220, 'x');
  EXPECT_THROW(BuildRequestFrame(buf, 0x20, 1, reinterpret_cast<const uint8_t*>(tooLong.data()), 220),
               Exception);
  EXPECT_THROW(BuildRequestFrame(buf, 0x20, 1, nullptr, -1), Exception);
  // The sum and LEN end at the first 0x05, so such data can never reach the printer intact.
  EXPECT_THROW(Build(0x20, 1, std::string("a\x05z")), Exception);
}

TEST(Frame, ChecksumDigitsAreNotHex) {
  // Frames whose sum is a chosen value: LEN .. 0x05 add up to it.
  auto frameWithSum = [](uint16_t sum) {
    std::vector<uint8_t> f = {kPRE};
    uint16_t rest = uint16_t(sum - kPOST);
    while (rest > 0) {
      const uint8_t b = uint8_t(rest > 0xFF ? 0xFF : rest);
      f.push_back(b == kPOST ? 0x04 : b);  // keep 0x05 out of the body
      rest = uint16_t(rest - f.back());
    }
    f.push_back(kPOST);
    f.insert(f.end(), {0, 0, 0, 0, kTERM});
    EncodeChecksum(f.data(), int(f.size()));
    return f;
  };
  auto f1 = frameWithSum(0x0405);
  EXPECT_EQ(FrameSum(f1.data(), int(f1.size())), 0x0405);
  EXPECT_EQ(std::vector<uint8_t>(f1.end() - 5, f1.end() - 1), (std::vector<uint8_t>{0x30, 0x34, 0x30, 0x35}));
  auto f2 = frameWithSum(0xABCD);
  EXPECT_EQ(std::vector<uint8_t>(f2.end() - 5, f2.end() - 1), (std::vector<uint8_t>{0x3A, 0x3B, 0x3C, 0x3D}));
  EXPECT_TRUE(VerifyChecksum(f2.data(), int(f2.size())));
  f2[f2.size() - 2] = 0x3E;
  EXPECT_FALSE(VerifyChecksum(f2.data(), int(f2.size())));
}

TEST(Frame, AnswerChecks) {
  // An answer without data: 0x04 at offset 4, 17 bytes in all.
  std::vector<uint8_t> a = {kPRE, 0x2B, 0x21,  0x5A, kSEP, 0x80, 0x80, 0x80, 0x80,
                            0x80, 0x80, kPOST, 0,    0,    0,    0,    kTERM};
  ASSERT_EQ(a.size(), 17u);
  EncodeChecksum(a.data(), 17);
  EXPECT_TRUE(VerifyChecksum(a.data(), 17));

  // A 0x05 among the status bytes ends the sum early: the printer's checksum over the whole
  // frame no longer matches.
  std::vector<uint8_t> b = a;
  b[7] = kPOST;
  uint16_t whole = 0;
  for (int i = 1; i <= 11; ++i) whole = uint16_t(whole + b[size_t(i)]);
  b[12] = uint8_t(0x30 + (whole >> 12));
  b[13] = uint8_t(0x30 + ((whole >> 8) & 15));
  b[14] = uint8_t(0x30 + ((whole >> 4) & 15));
  b[15] = uint8_t(0x30 + (whole & 15));
  EXPECT_FALSE(VerifyChecksum(b.data(), 17));

  // Too short to carry a checksum at all.
  const uint8_t bare[2] = {kPRE, kTERM};
  EXPECT_FALSE(VerifyChecksum(bare, 2));
  // No 0x05 anywhere: the sum covers offsets 1 .. len-1.
  const uint8_t noPost[3] = {kPRE, 0x10, 0x20};
  EXPECT_EQ(FrameSum(noPost, 3), 0x30);
}

TEST(Frame, SequenceWraps) {
  EXPECT_EQ(NextSequenceNumber(0x20), 0x21);
  EXPECT_EQ(NextSequenceNumber(0x7E), 0x7F);
  EXPECT_EQ(NextSequenceNumber(0x7F), 0x20);
}

}  // namespace
