#include "device/posix/PosixSerialDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "device/posix/Termios2Speed.h"

namespace {

// The ioctl/termios calls fail with these on devices without modem lines (pseudo-terminals).
bool NoModemLines(int e) { return e == ENOTTY || e == EINVAL; }

// An error that means the device is gone or unusable, reported as "access denied" like a
// removed adapter elsewhere.
bool DeviceGone(int e) { return e == EIO || e == ENXIO || e == ENODEV || e == EBADF; }

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Speeds are compared with a small tolerance: some USB adapters store the rate they can
// really produce, which may differ from the requested one by a fraction of a percent.
bool SpeedMatches(uint32_t got, uint32_t want) {
  const uint64_t diff = got > want ? got - want : want - got;
  return diff * 100 <= uint64_t(want) * 2;
}

}  // namespace

SerialDevice::~SerialDevice() = default;

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

PosixSerialDevice::PosixSerialDevice() { FAbortFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

PosixSerialDevice::~PosixSerialDevice() {
  Close();
  if (FAbortFd >= 0) ::close(FAbortFd);
}

bool PosixSerialDevice::Open(const std::string& path, int& err) {
  err = 0;
  if (FFd >= 0) {
    err = EBUSY;
    return false;
  }
  if (FAbortFd < 0) {
    err = EMFILE;
    return false;
  }
  // O_NONBLOCK so the open never waits for carrier; cleared once the line is configured.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return false;
  }
  // Not a terminal (a plain file, a folder's device node of another kind): not a serial port.
  if (!isatty(fd)) {
    err = ENOTTY;
    ::close(fd);
    return false;
  }
  // The exclusive flag belongs to the terminal, not to this descriptor: when it was set
  // already (another holder), a failed attempt here must not clear it.
  int wasExclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &wasExclusive) != 0) wasExclusive = 0;
  if (ioctl(fd, TIOCEXCL) != 0) {
    err = errno;
    ::close(fd);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    err = errno == EWOULDBLOCK ? EBUSY : errno;
    if (!wasExclusive) ioctl(fd, TIOCNXCL);
    ::close(fd);
    return false;
  }
  // Drop an abort request left from an earlier use.
  uint64_t drained = 0;
  while (::read(FAbortFd, &drained, sizeof drained) > 0) {
  }
  FFd = fd;
  return true;
}

bool PosixSerialDevice::ConfigureLine(int32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
  if (FFd < 0 || baud <= 0) return false;

  tcflag_t size = 0;
  switch (dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  tcflag_t parityBits = 0;
  switch (parity) {
    case 0: parityBits = 0; break;                         // none
    case 1: parityBits = PARENB | PARODD; break;           // odd
    case 2: parityBits = PARENB; break;                    // even
    case 3: parityBits = PARENB | PARODD | CMSPAR; break;  // mark
    case 4: parityBits = PARENB | CMSPAR; break;           // space
    default: return false;
  }
  tcflag_t stopBitsFlag = 0;
  switch (stopBits) {
    case 0: stopBitsFlag = 0; break;
    case 1:  // one and a half: what a UART sends for CSTOPB with five data bits
      if (dataBits != 5) return false;
      stopBitsFlag = CSTOPB;
      break;
    case 2: stopBitsFlag = CSTOPB; break;
    default: return false;
  }

  termios t{};
  if (tcgetattr(FFd, &t) != 0) return false;
  // Raw transfer: every input, output and local processing bit off. Breaks are ignored
  // (no NUL byte and no signal for them); parity errors are not checked; no software flow
  // control in either direction.
  t.c_iflag = IGNBRK;
  t.c_oflag = 0;
  t.c_lflag = 0;
  const tcflag_t speedBits = t.c_cflag & (CBAUD | CIBAUD);
  t.c_cflag = speedBits | size | parityBits | stopBitsFlag | CREAD | CLOCAL | HUPCL;
  // No hardware flow control (CRTSCTS stays clear); reads return what is waiting at once,
  // the waiting itself is done by poll().
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(FFd, TCSANOW, &t) != 0) return false;
  if (!SetLineSpeed(FFd, uint32_t(baud))) return false;

  // tcsetattr reports success when any one change was taken: compare what the driver holds.
  termios back{};
  if (tcgetattr(FFd, &back) != 0) return false;
  const tcflag_t cmask = ~tcflag_t(CBAUD | CIBAUD);
  if (back.c_iflag != t.c_iflag || back.c_oflag != t.c_oflag || back.c_lflag != t.c_lflag ||
      (back.c_cflag & cmask) != (t.c_cflag & cmask) || back.c_cc[VMIN] != 0 || back.c_cc[VTIME] != 0)
    return false;
  uint32_t outSpeed = 0, inSpeed = 0;
  if (!GetLineSpeed(FFd, outSpeed, inSpeed)) return false;
  if (!SpeedMatches(outSpeed, uint32_t(baud)) || !SpeedMatches(inSpeed, uint32_t(baud))) return false;

  // DTR raised, RTS held off. A device without modem lines is not a failure.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  if (ioctl(FFd, TIOCMBIS, &dtr) != 0 && !NoModemLines(errno)) return false;
  if (ioctl(FFd, TIOCMBIC, &rts) != 0 && !NoModemLines(errno)) return false;
  int lines = 0;
  if (ioctl(FFd, TIOCMGET, &lines) == 0) {
    if (!(lines & TIOCM_DTR) || (lines & TIOCM_RTS)) return false;
  } else if (!NoModemLines(errno)) {
    return false;
  }

  // From here on writes block until the driver has taken every byte.
  const int fl = fcntl(FFd, F_GETFL);
  if (fl < 0 || fcntl(FFd, F_SETFL, fl & ~O_NONBLOCK) != 0) return false;
  return true;
}

// The driver sizes its own queues; the request is advisory and accepted as it is.
bool PosixSerialDevice::SetupQueues(int32_t, int32_t) { return FFd >= 0; }

bool PosixSerialDevice::SetTimeouts(const CommTimeouts& timeouts) {
  if (FFd < 0) return false;
  FTimeouts = timeouts;
  return true;
}

bool PosixSerialDevice::PurgeOutput() { return FFd >= 0 && tcflush(FFd, TCOFLUSH) == 0; }

int PosixSerialDevice::ReadWaitMs(uint32_t max) const {
  const CommTimeouts& t = FTimeouts;
  if (t.ReadInterval == 0xFFFFFFFFu && t.ReadMultiplier == 0 && t.ReadConstant == 0) return 0;
  const uint64_t total = uint64_t(t.ReadMultiplier) * max + t.ReadConstant;
  if (total == 0) return -1;  // no limit
  return total > uint64_t(INT_MAX) ? INT_MAX : int(total);
}

// Waits ms (or without limit for -1) for an abort only; true when aborted.
bool PosixSerialDevice::WaitAbortOnly(int ms) {
  pollfd p{FAbortFd, POLLIN, 0};
  const int64_t deadline = ms < 0 ? 0 : NowMs() + ms;
  for (;;) {
    const int left = ms < 0 ? -1 : int(deadline - NowMs());
    if (ms >= 0 && left <= 0) return false;
    const int r = poll(&p, 1, left);
    if (r > 0) {
      uint64_t v = 0;
      while (::read(FAbortFd, &v, sizeof v) > 0) {
      }
      return true;
    }
    if (r < 0 && errno != EINTR) {
      // Cannot wait on the eventfd: still do not return early.
      timespec ts{left / 1000, (left % 1000) * 1000000L};
      nanosleep(&ts, nullptr);
      return false;
    }
  }
}

bool PosixSerialDevice::Read(uint8_t* buf, uint32_t max, uint32_t& got, int& err) {
  got = 0;
  err = 0;
  if (FFd < 0) {
    err = EBADF;
    return false;
  }
  if (max == 0) return true;
  const int waitMs = ReadWaitMs(max);
  const int64_t start = NowMs();
  const int64_t deadline = start + (waitMs < 0 ? 0 : waitMs);
  // Rest of the wait after a hang-up: a device that has gone away answers poll() at once,
  // and a caller that loops on reads must not spin on it.
  auto hangUp = [&]() {
    // A read without time-out reports the failure at once instead of waiting for ever.
    const int left = waitMs < 0 ? 0 : int(deadline - NowMs());
    if (left > 0 && WaitAbortOnly(left)) {
      err = kErrOperationAborted;
    } else {
      err = kErrAccessDenied;
    }
    return false;
  };

  for (;;) {
    pollfd p[2] = {{FFd, POLLIN, 0}, {FAbortFd, POLLIN, 0}};
    int left = waitMs < 0 ? -1 : int(deadline - NowMs());
    if (left < 0 && waitMs >= 0) left = 0;
    const int r = poll(p, 2, left);
    if (r < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (p[1].revents & POLLIN) {
      uint64_t v = 0;
      while (::read(FAbortFd, &v, sizeof v) > 0) {
      }
      err = kErrOperationAborted;
      return false;
    }
    if (r == 0) return true;  // time-out, nothing read
    if (p[0].revents & POLLNVAL) {
      err = EBADF;
      return false;
    }
    if (p[0].revents & POLLIN) {
      const ssize_t n = ::read(FFd, buf, max);
      if (n > 0) {
        got = uint32_t(n);
        return true;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0 && !DeviceGone(errno)) {
        err = errno;
        return false;
      }
      return hangUp();  // 0 bytes after POLLIN, or EIO: the other end has gone
    }
    if (p[0].revents & (POLLHUP | POLLERR)) return hangUp();
  }
}

bool PosixSerialDevice::Write(const uint8_t* buf, uint32_t len, uint32_t& written, int& err) {
  written = 0;
  err = 0;
  if (FFd < 0) {
    err = EBADF;
    return false;
  }
  while (written < len) {
    const ssize_t n = ::write(FFd, buf + written, len - written);
    if (n > 0) {
      written += uint32_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // Still non-blocking (line not configured yet): wait until the driver takes more.
      pollfd p{FFd, POLLOUT, 0};
      if (poll(&p, 1, -1) < 0 && errno != EINTR) {
        err = errno;
        return false;
      }
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        err = kErrAccessDenied;
        return false;
      }
      continue;
    }
    err = (n == 0 || DeviceGone(errno)) ? kErrAccessDenied : errno;
    return false;
  }
  return true;
}

void PosixSerialDevice::Close() {
  if (FFd < 0) return;
  // A pseudo-terminal keeps TIOCEXCL after its holder closes while the master stays open.
  ioctl(FFd, TIOCNXCL);
  ::close(FFd);  // releases the flock
  FFd = -1;
  FTimeouts = CommTimeouts{0, 0, 0, 0, 0};
}

void PosixSerialDevice::Abort() {
  if (FAbortFd < 0) return;
  const uint64_t one = 1;
  ssize_t r = ::write(FAbortFd, &one, sizeof one);
  (void)r;
}
