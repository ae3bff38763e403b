#include "device/Frame.h"

#include <cstring>

#include "support/Exceptions.h"

uint16_t FrameSum(const uint8_t* frame, int len) {
  uint16_t sum = 0;
  for (int i = 1; i < len; ++i) {
    sum = uint16_t(sum + frame[i]);
    if (frame[i] == kPOST) break;
  }
  return sum;
}

static void EncodeSum(uint16_t sum, uint8_t* out4) {
  out4[0] = uint8_t(0x30 + ((sum >> 12) & 0x0F));
  out4[1] = uint8_t(0x30 + ((sum >> 8) & 0x0F));
  out4[2] = uint8_t(0x30 + ((sum >> 4) & 0x0F));
  out4[3] = uint8_t(0x30 + (sum & 0x0F));
}

void EncodeChecksum(uint8_t* frame, int len) {
  if (len < 6) return;
  EncodeSum(FrameSum(frame, len), frame + len - 5);
}

bool VerifyChecksum(const uint8_t* frame, int len) {
  if (len < 6) return false;
  uint8_t expected[4];
  EncodeSum(FrameSum(frame, len), expected);
  return std::memcmp(expected, frame + len - 5, 4) == 0;
}

int BuildRequestFrame(uint8_t* out256, uint8_t seq, uint8_t cmd, const uint8_t* data, int n) {
  if (n < 0 || n > kMaxRequestData)
    throw Exception("Command data of " + std::to_string(n) + " bytes is longer than the " +
                    std::to_string(kMaxRequestData) + " bytes a frame can carry!");
  // LEN and the checksum both end at the first 0x05, so such data could never be understood.
  if (n > 0 && std::memchr(data, kPOST, size_t(n)) != nullptr)
    throw Exception("Command data must not contain the byte 0x05!");
  out256[0] = kPRE;
  out256[1] = uint8_t(0x20 + 4 + n);
  out256[2] = seq;
  out256[3] = cmd;
  if (n > 0) std::memcpy(out256 + 4, data, size_t(n));
  out256[4 + n] = kPOST;
  const int len = n + 10;
  out256[len - 1] = kTERM;
  EncodeChecksum(out256, len);
  return len;
}

uint8_t NextSequenceNumber(uint8_t seq) {
  const int next = seq + 1;
  return next > kLastSequence ? kFirstSequence : uint8_t(next);
}
