#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "device/SerialDevice.h"

// Serial device over termios. Exclusive open is TIOCEXCL (keeps out other programs unless
// they run with CAP_SYS_ADMIN) plus flock (keeps out a second instance of this program even
// as root). Reads wait in poll() beside an eventfd so another thread can abort them.
class PosixSerialDevice : public SerialDevice {
 public:
  PosixSerialDevice();
  ~PosixSerialDevice() override;
  PosixSerialDevice(const PosixSerialDevice&) = delete;
  PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

  bool Open(const std::string& path, int& err) override;
  bool ConfigureLine(int32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) override;
  bool SetupQueues(int32_t in, int32_t out) override;
  bool SetTimeouts(const CommTimeouts& timeouts) override;
  bool PurgeOutput() override;
  bool Read(uint8_t* buf, uint32_t max, uint32_t& got, int& err) override;
  bool Write(const uint8_t* buf, uint32_t len, uint32_t& written, int& err) override;
  void Close() override;
  bool IsOpen() const override { return FFd >= 0; }

  // Wakes the poll() of a waiting Read through the eventfd.
  void Abort() override;

  int FileDescriptor() const { return FFd; }

 private:
  int ReadWaitMs(uint32_t max) const;
  bool WaitAbortOnly(int ms);

  int FFd = -1;
  int FAbortFd = -1;
  CommTimeouts FTimeouts{0, 0, 0, 0, 0};
};
