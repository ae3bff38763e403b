// The serial port over real pseudo-terminals: the termios code as it runs in the program.
#include <errno.h>
#include <grp.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/PortMap.h"
#include "device/SerialPort.h"
#include "device/posix/PosixSerialDevice.h"
#include "device/posix/Termios2Speed.h"
#include "device/SerialTestPty.h"

namespace {

const int32_t kSpeeds[] = {1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};

PosixSerialDevice* Posix(TSerialPort& port) { return dynamic_cast<PosixSerialDevice*>(port.Handle()); }

std::string OpenError(TSerialPort& port, const std::string& name, int32_t baud = 9600) {
  try {
    port.Open(name, baud);
  } catch (const ECommError& e) {
    return e.what();
  }
  return "";
}

void ExpectClosed(TSerialPort& port) {
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Handle(), nullptr);
  EXPECT_EQ(port.DeviceName(), "");
  EXPECT_EQ(port.Baud(), 0);
}

// The line as the driver holds it, seen from the master side.
void ExpectRawEightNOne(const TestPty& pty, uint32_t baud) {
  termios t{};
  ASSERT_EQ(tcgetattr(pty.master, &t), 0);
  EXPECT_EQ(t.c_iflag, tcflag_t(IGNBRK)) << "input processing left on";
  EXPECT_EQ(t.c_oflag, tcflag_t(0)) << "output processing left on";
  EXPECT_EQ(t.c_lflag, tcflag_t(0)) << "echo/canonical/signals left on";
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), tcflag_t(0));
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VSTART], TestPty::kStartChar);
  EXPECT_EQ(t.c_cc[VSTOP], TestPty::kStopChar);
  uint32_t out = 0, in = 0;
  ASSERT_TRUE(GetLineSpeed(pty.master, out, in));
  EXPECT_EQ(out, baud);
  EXPECT_EQ(in, baud);
}

class SerialPortPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    // Nothing in the ports folder of the test home may interfere.
    SetPortRootsForTesting(PortRoots{"/nonexistent-sys", "/nonexistent-dev", "/nonexistent-ports"});
  }
  void TearDown() override { SetPortRootsForTesting(PortRoots{}); }
  TestPty pty;
};

TEST_F(SerialPortPty, EverySpeedAndLineSettingIsSetFromBadStart) {
  for (int32_t baud : kSpeeds) {
    TestPty fresh;
    ASSERT_TRUE(fresh.ok());
    TSerialPort port;
    port.Open(fresh.path, baud);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Baud(), baud);
    EXPECT_EQ(port.DeviceName(), fresh.path);
    SCOPED_TRACE(baud);
    ExpectRawEightNOne(fresh, uint32_t(baud));
    // Configured: writes block from now on.
    EXPECT_EQ(fcntl(Posix(port)->FileDescriptor(), F_GETFL) & O_NONBLOCK, 0);
  }
}

TEST_F(SerialPortPty, SwitchingFromCustomToStandardSpeedLeavesNoStaleInputSpeed) {
  TSerialPort port;
  port.Open(pty.path, 14400);
  ExpectRawEightNOne(pty, 14400);
  port.ConfigureLine(19200, 8, 0, 0);
  ExpectRawEightNOne(pty, 19200);
  EXPECT_EQ(port.Baud(), 19200);
  port.ConfigureLine(28800, 8, 0, 0);
  ExpectRawEightNOne(pty, 28800);
}

TEST_F(SerialPortPty, SettingTheDriverDoesNotKeepIsAConfigurationFailure) {
  // A pseudo-terminal always forces 8 bits without parity: asking for odd parity must be
  // caught by the read-back, not reported as success.
  TSerialPort port;
  port.Open(pty.path, 9600);
  try {
    port.ConfigureLine(9600, 8, 1, 0);
    FAIL() << "odd parity accepted";
  } catch (const ECommError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to configure port " + pty.path + "!");
  }
  ExpectClosed(port);
  // Values the platform has no code for are refused the same way.
  for (auto [bits, parity, stop] : {std::tuple{9, 0, 0}, {8, 5, 0}, {8, 0, 3}, {8, 0, 1}}) {
    port.Open(pty.path, 9600);
    EXPECT_THROW(port.ConfigureLine(9600, uint8_t(bits), uint8_t(parity), uint8_t(stop)), ECommError);
    ExpectClosed(port);
  }
}

TEST_F(SerialPortPty, AllByteValuesPassBothWays) {
  TSerialPort port;
  port.Open(pty.path, 115200);
  port.SetTimeouts(0, 0, 10, 0, 0);
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  all += all;  // CR LF, XON/XOFF, ^C, ^D in several orders

  uint32_t written = 0;
  int err = 0;
  ASSERT_TRUE(
      port.Handle()->Write(reinterpret_cast<const uint8_t*>(all.data()), uint32_t(all.size()), written, err));
  EXPECT_EQ(written, all.size());
  EXPECT_EQ(pty.ReadMaster(all.size()), all);

  ASSERT_TRUE(pty.WriteMaster(all));
  std::string got;
  const int64_t end = TestPty::Now() + 3000;
  while (got.size() < all.size() && TestPty::Now() < end) {
    uint8_t buf[4096];
    uint32_t n = 0;
    ASSERT_TRUE(port.Handle()->Read(buf, sizeof buf, n, err)) << err;
    got.append(reinterpret_cast<char*>(buf), n);
  }
  EXPECT_EQ(got, all);
}

TEST_F(SerialPortPty, ReadTimesOutAfterTenMillisecondsAndTakesAllWaitingBytes) {
  TSerialPort port;
  port.Open(pty.path, 115200);
  port.SetTimeouts(0, 0, 10, 0, 0);
  uint8_t buf[4096];
  uint32_t n = 99;
  int err = 0;
  std::vector<int64_t> spans;
  for (int i = 0; i < 20; ++i) {
    const int64_t t0 = TestPty::Now();
    ASSERT_TRUE(port.Handle()->Read(buf, 1, n, err));
    spans.push_back(TestPty::Now() - t0);
    EXPECT_EQ(n, 0u);
  }
  std::sort(spans.begin(), spans.end());
  EXPECT_GE(spans.front(), 9);
  EXPECT_LE(spans[spans.size() / 2], 60);  // median, generous for a loaded machine

  // Bytes already waiting come back in one call, without waiting out the time-out.
  ASSERT_TRUE(pty.WriteMaster(std::string(300, 'x')));
  usleep(50 * 1000);
  ASSERT_TRUE(port.Handle()->Read(buf, sizeof buf, n, err));
  EXPECT_EQ(n, 300u);
  // A one-byte read takes one byte and leaves the next waiting.
  ASSERT_TRUE(pty.WriteMaster("ab"));
  usleep(20 * 1000);
  ASSERT_TRUE(port.Handle()->Read(buf, 1, n, err));
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(buf[0], 'a');
  ASSERT_TRUE(port.Handle()->Read(buf, 1, n, err));
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(buf[0], 'b');
}

TEST_F(SerialPortPty, HangUpFailsAsAccessDeniedAndDoesNotSpin) {
  TSerialPort port;
  port.Open(pty.path, 115200);
  port.SetTimeouts(0, 0, 10, 0, 0);
  pty.CloseMaster();  // the adapter is unplugged

  uint8_t buf[16];
  uint32_t n = 0;
  int err = 0;
  timespec c0{}, c1{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
  const int64_t t0 = TestPty::Now();
  const int kReads = 50;
  for (int i = 0; i < kReads; ++i) {
    EXPECT_FALSE(port.Handle()->Read(buf, 1, n, err));
    EXPECT_EQ(err, kErrAccessDenied);
    EXPECT_EQ(n, 0u);
  }
  const int64_t wall = TestPty::Now() - t0;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
  const int64_t cpuMs = (c1.tv_sec - c0.tv_sec) * 1000 + (c1.tv_nsec - c0.tv_nsec) / 1000000;
  // Each failing read still waits out its 10 ms, and waiting costs no processor time.
  EXPECT_GE(wall, kReads * 9);
  EXPECT_LT(cpuMs, wall / 4) << "cpu " << cpuMs << " ms over " << wall << " ms";

  uint32_t written = 0;
  EXPECT_FALSE(port.Handle()->Write(buf, 1, written, err));
  EXPECT_EQ(err, kErrAccessDenied);
}

TEST_F(SerialPortPty, AbortEndsAWaitingRead) {
  TSerialPort port;
  port.Open(pty.path, 115200);
  port.SetTimeouts(0, 0, 20000, 0, 0);
  PosixSerialDevice* device = Posix(port);
  ASSERT_NE(device, nullptr);
  std::thread aborter([device] {
    usleep(50 * 1000);
    device->Abort();
  });
  uint8_t b = 0;
  uint32_t n = 0;
  int err = 0;
  const int64_t t0 = TestPty::Now();
  EXPECT_FALSE(device->Read(&b, 1, n, err));
  aborter.join();
  EXPECT_EQ(err, kErrOperationAborted);
  EXPECT_LT(TestPty::Now() - t0, 5000);
  // The abort is used up: the next read times out normally.
  port.SetTimeouts(0, 0, 10, 0, 0);
  EXPECT_TRUE(device->Read(&b, 1, n, err));
}

TEST_F(SerialPortPty, PurgeDropsPendingOutputAndKeepsInput) {
  TSerialPort port;
  port.Open(pty.path, 115200);
  port.SetTimeouts(0, 0, 10, 0, 0);
  ASSERT_TRUE(pty.WriteMaster("in"));
  usleep(20 * 1000);
  EXPECT_TRUE(port.Handle()->PurgeOutput());
  uint8_t buf[8];
  uint32_t n = 0;
  int err = 0;
  ASSERT_TRUE(port.Handle()->Read(buf, sizeof buf, n, err));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), n), "in");
}

// The child drops CAP_SYS_ADMIN (which lets root past TIOCEXCL) and opens the slave.
int OpenErrnoFromUnprivilegedChild(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0) {
      __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
      __user_cap_data_struct data[2]{};
      if (syscall(SYS_capget, &hdr, data) != 0) _exit(200);
      data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
      data[CAP_SYS_ADMIN / 32].permitted &= ~(1u << (CAP_SYS_ADMIN % 32));
      if (syscall(SYS_capset, &hdr, data) != 0) _exit(201);
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    _exit(fd >= 0 ? 0 : (errno & 0x7f));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SerialPortPty, OpenIsExclusiveAndCloseReleasesIt) {
  TSerialPort first;
  first.Open(pty.path, 9600);

  // flock: a second instance of this program is refused even as root.
  TSerialPort second;
  EXPECT_EQ(OpenError(second, pty.path), "Unable to open port " + pty.path + "!");
  ExpectClosed(second);

  // TIOCEXCL: other programs without CAP_SYS_ADMIN are refused at open.
  EXPECT_EQ(OpenErrnoFromUnprivilegedChild(pty.path), EBUSY);

  first.Close();
  ExpectClosed(first);
  // Both locks go with the close (a pseudo-terminal would keep TIOCEXCL otherwise).
  EXPECT_EQ(OpenErrnoFromUnprivilegedChild(pty.path), 0);
  EXPECT_EQ(OpenError(second, pty.path), "");
  EXPECT_TRUE(second.IsOpen());
}

TEST_F(SerialPortPty, OpenFailuresNameTheDeviceAndLeaveThePortClosed) {
  TSerialPort port;
  EXPECT_EQ(OpenError(port, "/dev/vq-no-such-port"), "Unable to open port /dev/vq-no-such-port!");
  ExpectClosed(port);
  // A name the port map does not know is named as given.
  EXPECT_EQ(OpenError(port, "COM7"), "Unable to open port COM7!");
  EXPECT_EQ(OpenError(port, "ttyS0"), "Unable to open port ttyS0!");
  // COM33 maps to a ttyUSB0 that is absent: an unplugged adapter is named as chosen.
  EXPECT_EQ(OpenError(port, "COM33"), "Unable to open port COM33!");
  ExpectClosed(port);
  EXPECT_NE(OpenError(port, ""), "");
  ExpectClosed(port);
  // Something that is not a terminal is not a serial port.
  EXPECT_EQ(OpenError(port, "/dev/null"), "Unable to open port /dev/null!");
  ExpectClosed(port);
}

TEST_F(SerialPortPty, SecondOpenOfAnOpenPortKeepsTheOpenOne) {
  TestPty other;
  TSerialPort port;
  port.Open(pty.path, 9600);
  EXPECT_EQ(OpenError(port, other.path, 19200), "Port " + other.path + " already taken!");
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.DeviceName(), pty.path);
  EXPECT_EQ(port.Baud(), 9600);
  ExpectRawEightNOne(pty, 9600);
}

TEST_F(SerialPortPty, PermissionDeniedNamesTheOwningGroup) {
  struct stat st {};
  ASSERT_EQ(stat(pty.path.c_str(), &st), 0);
  const group* g = getgrgid(st.st_gid);
  // A device of the root group (or of a group without a name) gets the usual serial group.
  const std::string name = st.st_gid != 0 && g ? g->gr_name : "dialout";
  const std::string expected = "Unable to open port " + pty.path +
                               "! You have no permission to use it: add your user to the group \"" + name +
                               "\" (sudo adduser $USER " + name + "), then log out and log in again.";
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (geteuid() == 0) {
      // Become "nobody": the slave is 0620 root:tty.
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    } else if (chmod(pty.path.c_str(), 0) != 0) {
      _exit(4);
    }
    TSerialPort port;
    const std::string message = OpenError(port, pty.path);
    (void)!write(fds[1], message.data(), message.size());
    _exit(0);
  }
  close(fds[1]);
  std::string message;
  char buf[512];
  ssize_t r;
  while ((r = read(fds[0], buf, sizeof buf)) > 0) message.append(buf, size_t(r));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(message, expected);
}

// A device that only records what is asked of it and fails where told.
class ScriptedDevice : public SerialDevice {
 public:
  struct Log {
    int opens = 0, configures = 0, closes = 0;
    CommTimeouts timeouts{};
  };
  ScriptedDevice(Log& log, int failAt) : FLog(log), FFailAt(failAt) {}
  bool Open(const std::string&, int& err) override {
    ++FLog.opens;
    err = 0;
    FOpen = FFailAt != 0;
    if (!FOpen) err = EBUSY;
    return FOpen;
  }
  bool ConfigureLine(int32_t, uint8_t, uint8_t, uint8_t) override {
    ++FLog.configures;
    return FFailAt != 1;
  }
  bool SetTimeouts(const CommTimeouts& t) override {
    FLog.timeouts = t;
    return FFailAt != 2;
  }
  bool SetupQueues(int32_t, int32_t) override { return FFailAt != 3; }
  bool PurgeOutput() override { return true; }
  bool Read(uint8_t*, uint32_t, uint32_t& got, int&) override {
    got = 0;
    return true;
  }
  bool Write(const uint8_t*, uint32_t len, uint32_t& written, int&) override {
    written = len;
    return true;
  }
  void Close() override {
    ++FLog.closes;
    FOpen = false;
  }
  bool IsOpen() const override { return FOpen; }

 private:
  Log& FLog;
  int FFailAt;
  bool FOpen = false;
};

TEST(SerialPortScripted, EachConfigurationFailureClosesAndNamesThePort) {
  for (int failAt : {1, 2, 3}) {
    SCOPED_TRACE(failAt);
    ScriptedDevice::Log log;
    TSerialPort port(std::make_unique<ScriptedDevice>(log, failAt));
    EXPECT_EQ(OpenError(port, "/dev/ttyUSB3"), "Unable to configure port /dev/ttyUSB3!");
    ExpectClosed(port);
    EXPECT_EQ(log.closes, 1);
  }
}

TEST(SerialPortScripted, OpenSetsTheInitialTimeoutsAndLifecycleIsTidy) {
  ScriptedDevice::Log log;
  {
    TSerialPort port(std::make_unique<ScriptedDevice>(log, -1));
    port.Open("/dev/ttyS0", 4800);
    EXPECT_EQ(log.timeouts.ReadInterval, 50u);
    EXPECT_EQ(log.timeouts.ReadConstant, 200u);
    EXPECT_EQ(log.timeouts.ReadMultiplier + log.timeouts.WriteMultiplier + log.timeouts.WriteConstant, 0u);
    port.Close();
    ExpectClosed(port);
    // Closed: ConfigureLine reaches no device and raises nothing.
    const int before = log.configures;
    port.ConfigureLine(9600, 8, 0, 0);
    EXPECT_EQ(log.configures, before);
    EXPECT_EQ(port.Baud(), 0);
  }
  EXPECT_EQ(log.closes, 1);  // the destructor did not close again

  ScriptedDevice::Log never;
  { TSerialPort port(std::make_unique<ScriptedDevice>(never, -1)); }
  EXPECT_EQ(never.closes, 0);
  EXPECT_EQ(never.opens, 0);
}

}  // namespace
