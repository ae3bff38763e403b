#pragma once
#include <cstdint>
#include <memory>
#include <string>

// The five time-out values of a serial device, in milliseconds; 0 means "limit not used".
// Read semantics: when nothing is waiting, a read waits at most
// ReadMultiplier * max + ReadConstant ms for the first byte, then returns what is waiting
// (up to max) without waiting for more. All three read values 0 = wait without limit;
// ReadInterval 0xFFFFFFFF with both others 0 = return at once.
struct CommTimeouts {
  uint32_t ReadInterval, ReadMultiplier, ReadConstant, WriteMultiplier, WriteConstant;
};

// Error classes a read or write reports besides plain errno values.
enum : int {
  kErrAccessDenied = 5,        // the device went away (hang-up, unplugged adapter, I/O error)
  kErrOperationAborted = 995,  // another thread aborted the waiting read
};

// The platform seam under TSerialPort and the device link. One implementation per platform,
// chosen by the build (device/posix/ for termios).
class SerialDevice {
 public:
  virtual ~SerialDevice();
  // Opens an existing device exclusively for reading and writing. On failure err is the
  // platform error number (errno on POSIX: EACCES, EBUSY, ENOENT, ...).
  virtual bool Open(const std::string& path, int& err) = 0;
  // Sets the whole line configuration, reads it back and compares; false on any refusal
  // or mismatch.
  virtual bool ConfigureLine(int32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) = 0;
  virtual bool SetupQueues(int32_t in, int32_t out) = 0;
  virtual bool SetTimeouts(const CommTimeouts&) = 0;
  // Discards output not yet sent; received bytes are kept.
  virtual bool PurgeOutput() = 0;
  // Reads what is waiting, up to max bytes, bounded by the time-outs. got = 0 with true is a
  // time-out. false on failure: err = kErrAccessDenied, kErrOperationAborted or an errno value.
  virtual bool Read(uint8_t* buf, uint32_t max, uint32_t& got, int& err) = 0;
  // Blocks until every byte is handed to the driver (written = len) or a failure.
  virtual bool Write(const uint8_t* buf, uint32_t len, uint32_t& written, int& err) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Any thread: makes a waiting Read (or the next one, when none waits) return false with
  // kErrOperationAborted at once. A device whose reads are bounded to a few milliseconds
  // anyway may leave it empty: the link also checks its own abort flag around every read.
  virtual void Abort() {}
};

// The platform implementation (termios on POSIX systems).
std::unique_ptr<SerialDevice> CreateSerialDevice();
