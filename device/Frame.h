#pragma once
// The printer's framed protocol: control bytes, request layout and the checksum that guards
// request and answer frames alike. Frames live in fixed 256-byte buffers, offset 0 = 0x01.
#include <cstdint>

constexpr uint8_t kPRE = 0x01;   // first byte of every frame
constexpr uint8_t kTERM = 0x03;  // last byte of every frame
constexpr uint8_t kSEP = 0x04;   // ends the data field of an answer; six status bytes follow
constexpr uint8_t kPOST = 0x05;  // ends the part covered by LEN and the checksum
constexpr uint8_t kNAK = 0x15;   // sent alone: request refused, send it again
constexpr uint8_t kSYN = 0x16;   // sent alone: printer busy, keep waiting

constexpr int kFrameBufferSize = 256;
constexpr int kMaxRequestData = 219;  // LEN = 0x20 + 4 + n must fit in one byte
constexpr int kMaxAnswerFrame = 255;  // 0x01 through 0x03
constexpr int kMaxAnswerData = 238;   // what fits into the longest answer frame
constexpr uint8_t kFirstSequence = 0x20;
constexpr uint8_t kLastSequence = 0x7F;

// Sum of the bytes from offset 1 up to and including the first 0x05 (at most len - 1 bytes).
uint16_t FrameSum(const uint8_t* frame, int len);

// Writes the four checksum digits of FrameSum into offsets len-5 .. len-2.
void EncodeChecksum(uint8_t* frame, int len);

// True when offsets len-5 .. len-2 hold the encoding of the frame's sum. False for frames too
// short to carry a checksum.
bool VerifyChecksum(const uint8_t* frame, int len);

// Lays out a complete request frame in out256 and returns its length (n + 10).
// Throws Exception when n is negative or larger than kMaxRequestData, or the data contain
// 0x05 (LEN and the checksum end at the first 0x05).
int BuildRequestFrame(uint8_t* out256, uint8_t seq, uint8_t cmd, const uint8_t* data, int n);

// The sequence number that follows seq: one more, and past 0x7F back to 0x20.
uint8_t NextSequenceNumber(uint8_t seq);
