// The COMn mapping over a fake /sys, /dev and ports tree.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/PortMap.h"
#include "device/SerialPort.h"
#include "support/AppPaths.h"
#include "support/Exceptions.h"

namespace fs = std::filesystem;

namespace {

class PortMapTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("vq-portmap-" + std::to_string(getpid()));
    fs::remove_all(root);
    sys = root / "sys";
    dev = root / "dev";
    ports = root / "ports";
    fs::create_directories(dev);
    fs::create_directories(ports);
    Uart(0, "4");  // a 16550A
    Uart(1, "0");  // placeholder
    Uart(2, "4");  // real but no device node
    Uart(3, "junk");
    for (const char* node : {"ttyS0", "ttyS1", "ttyS3", "ttyUSB0", "ttyUSB5", "ttyUSB32", "ttyACM31"})
      Touch(dev / node);
    SetPortRootsForTesting(PortRoots{sys.string(), dev.string(), ports.string()});
  }
  void TearDown() override {
    SetPortRootsForTesting(PortRoots{});
    fs::remove_all(root);
  }
  void Uart(int i, const char* type) {
    fs::create_directories(sys / "class/tty" / ("ttyS" + std::to_string(i)));
    std::ofstream(sys / "class/tty" / ("ttyS" + std::to_string(i)) / "type") << type << "\n";
  }
  static void Touch(const fs::path& p) { std::ofstream(p).put('\0'); }
  std::string D(const char* node) const { return (dev / node).string(); }

  fs::path root, sys, dev, ports;
};

TEST_F(PortMapTree, AutomaticRanges) {
  EXPECT_EQ(DevicePathForPort("COM1"), D("ttyS0"));
  EXPECT_EQ(DevicePathForPort("COM2"), "") << "placeholder UART";
  EXPECT_EQ(DevicePathForPort("COM3"), D("ttyS2")) << "real UART: mapped even without node";
  EXPECT_EQ(DevicePathForPort("COM4"), "") << "unreadable type";
  EXPECT_EQ(DevicePathForPort("COM32"), "");
  EXPECT_EQ(DevicePathForPort("COM33"), D("ttyUSB0"));
  EXPECT_EQ(DevicePathForPort("com38"), D("ttyUSB5"));
  EXPECT_EQ(DevicePathForPort("COM64"), D("ttyUSB31"));
  EXPECT_EQ(DevicePathForPort("COM65"), D("ttyACM0"));
  EXPECT_EQ(DevicePathForPort("COM96"), D("ttyACM31"));
  EXPECT_EQ(DevicePathForPort("COM97"), "");
  for (const char* bad : {"", "COM", "COM0", "COM01", "COM-1", "COM1x", "LPT1", "ttyS0", "COM100000"})
    EXPECT_EQ(DevicePathForPort(bad), "") << bad;
  EXPECT_EQ(DevicePathForPort("/dev/serial/by-id/x"), "/dev/serial/by-id/x");
  EXPECT_EQ(PortDevicePath("/dev/pts/7"), "/dev/pts/7");

  // Only names whose device exists; ttyUSB32 lies outside every range.
  EXPECT_EQ(DefinedPortNames(), (std::vector<std::string>{"COM1", "COM33", "COM38", "COM96"}));
}

TEST_F(PortMapTree, LinksInThePortsFolderOverrideAndExtend) {
  fs::create_symlink(dev / "ttyS1", ports / "COM2");        // the placeholder slot, by hand
  fs::create_symlink(dev / "ttyUSB5", ports / "COM33");     // overrides ttyUSB0
  fs::create_symlink("../dev/ttyUSB0", ports / "com200");   // relative target, lower case
  fs::create_symlink(dev / "gone", ports / "COM7");         // dangling
  Touch(ports / "COM8");                                    // not a link: ignored
  fs::create_symlink(dev / "ttyACM31", ports / "COM0009");  // not a port name
  fs::create_symlink(dev / "ttyS3", ports / "COM1000");

  EXPECT_EQ(DevicePathForPort("COM2"), D("ttyS1"));
  EXPECT_EQ(DevicePathForPort("COM33"), D("ttyUSB5"));
  EXPECT_EQ(DevicePathForPort("COM200"), (ports / "../dev/ttyUSB0").string());
  EXPECT_EQ(DevicePathForPort("COM7"), D("gone"));
  EXPECT_EQ(DevicePathForPort("COM8"), "");
  EXPECT_EQ(DevicePathForPort("COM9"), "");
  EXPECT_EQ(DefinedPortNames(),
            (std::vector<std::string>{"COM1", "COM2", "COM33", "COM38", "COM96", "COM200", "COM1000"}));

  // A port whose device is missing (an unplugged adapter) is named as the operator chose it.
  TSerialPort port;
  try {
    port.Open("COM7", 9600);
    FAIL();
  } catch (const ECommError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to open port COM7!");
  }
}

TEST_F(PortMapTree, UnreadablePortsFolderIsAnErrorNotSilence) {
  fs::remove_all(ports);
  SetPortRootsForTesting(PortRoots{sys.string(), dev.string(), (root / "missing").string()});
  EXPECT_EQ(DefinedPortNames().size(), 4u) << "a missing folder is just empty";

  Touch(ports);  // a file where the folder should be
  SetPortRootsForTesting(PortRoots{sys.string(), dev.string(), ports.string()});
  try {
    DefinedPortNames();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(ports.string()), std::string::npos) << e.what();
  }
  TSerialPort port;
  try {
    port.Open("COM1", 9600);
    FAIL();
  } catch (const ECommError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Unable to open port COM1! ", 0), 0u) << e.what();
  }
  EXPECT_FALSE(port.IsOpen());
}

TEST(PortMapRoots, DefaultPortsFolderLiesInTheUserProgramFolder) {
  SetPortRootsForTesting(PortRoots{});
  const PortRoots roots = CurrentPortRoots();
  EXPECT_EQ(roots.sys, "/sys");
  EXPECT_EQ(roots.dev, "/dev");
  EXPECT_EQ(roots.ports, UserProgramFolder() + "/ports");
}

}  // namespace
