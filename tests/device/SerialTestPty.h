#pragma once
// Pseudo-terminal rigs for the serial-port tests: the test keeps the master (the "printer")
// and a spare slave descriptor, so the master does not see a hang-up when the port closes.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>

struct TestPty {
  int master = -1;
  int spare = -1;
  std::string path;

  TestPty() {
    if (openpty(&master, &spare, nullptr, nullptr, nullptr) != 0) return;
    path = ptsname(master);
    MakeBad();
  }
  ~TestPty() {
    if (spare >= 0) close(spare);
    if (master >= 0) close(master);
  }
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  static constexpr cc_t kStartChar = 0x01, kStopChar = 0x02;

  bool ok() const { return master >= 0 && !path.empty(); }

  // Settings a previous program could have left: they survive close and reopen, so the
  // port must replace every one of them.
  void MakeBad() {
    termios t{};
    tcgetattr(spare, &t);
    t.c_iflag |= ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | BRKINT;
    t.c_oflag |= OPOST | ONLCR | OCRNL;
    t.c_lflag |= ECHO | ECHOE | ECHONL | ICANON | ISIG | IEXTEN;
    t.c_cflag &= ~(CLOCAL | CREAD);
    t.c_cflag |= PARENB | PARODD | CSTOPB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_cc[VSTART] = kStartChar;  // the driver's own special characters must survive
    t.c_cc[VSTOP] = kStopChar;
    cfsetospeed(&t, B300);
    cfsetispeed(&t, B1200);
    tcsetattr(spare, TCSANOW, &t);
  }

  // Reads exactly n bytes from the master, waiting at most timeoutMs in all.
  std::string ReadMaster(size_t n, int timeoutMs = 3000) {
    std::string got;
    const int64_t end = Now() + timeoutMs;
    while (got.size() < n && Now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buf[4096];
      const ssize_t r = read(master, buf, std::min(sizeof buf, n - got.size()));
      if (r <= 0) break;
      got.append(buf, size_t(r));
    }
    return got;
  }
  bool WriteMaster(const std::string& data) {
    return write(master, data.data(), data.size()) == ssize_t(data.size());
  }
  void CloseMaster() {
    close(master);
    master = -1;
  }

  static int64_t Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
};
