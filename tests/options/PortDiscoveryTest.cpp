// Port discovery over a fake ports folder whose links point at pseudo-terminals.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "device/PortMap.h"
#include "device/SerialPort.h"
#include "device/SerialTestPty.h"
#include "options/PortDiscovery.h"
#include "support/Exceptions.h"

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("vq-discovery-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "sys");
    fs::create_directories(root / "dev");
    fs::create_directories(root / "ports");
    Use(root / "ports");
  }
  void TearDown() override {
    SetPortRootsForTesting(PortRoots{});
    fs::remove_all(root);
  }
  void Use(const fs::path& ports) {
    SetPortRootsForTesting(PortRoots{(root / "sys").string(), (root / "dev").string(), ports.string()});
  }
  // A port name backed by a fresh pseudo-terminal.
  void Link(const std::string& name) {
    ptys.push_back(std::make_unique<TestPty>());
    ASSERT_TRUE(ptys.back()->ok());
    fs::create_symlink(ptys.back()->path, root / "ports" / name);
  }
  fs::path root;
  std::vector<std::unique_ptr<TestPty>> ptys;
};

TEST_F(Discovery, ListingCoversComOneTo2047InNumberOrder) {
  for (const char* n : {"COM10", "COM2", "COM1", "com2047", "COM2048", "COM3000"}) Link(n);
  fs::create_symlink(root / "dev/absent", root / "ports/COM5");  // no device behind it

  Names all;
  all.push_back("stale");
  ListDosDevices(all);
  EXPECT_EQ(all, (Names{"COM1", "COM10", "COM2", "COM2047", "COM2048", "COM3000"}));

  Names list{"stale"};
  EXPECT_EQ(FillCommList(list), 4);
  EXPECT_EQ(list, (Names{"COM1", "COM2", "COM10", "COM2047"}));

  Names appended{"first"};
  Get_COM_EX(appended);
  EXPECT_EQ(appended, (Names{"first", "COM1", "COM2", "COM10", "COM2047"}));
}

TEST_F(Discovery, ListingShowsPortsHeldByOthersProbingDoesNot) {
  for (const char* n : {"COM1", "COM3", "COM2048", "COM2049"}) Link(n);
  TSerialPort held;
  held.Open("COM3", 9600);

  Names listed;
  Get_COM_EX(listed);
  EXPECT_EQ(listed, (Names{"COM1", "COM3"}));

  Names probed{"stale"};
  EXPECT_TRUE(ProbeComPorts(probed));
  EXPECT_EQ(probed, (Names{"COM1", "COM2048"}));
  // Probing closed what it opened.
  TSerialPort again;
  again.Open("COM1", 9600);
  EXPECT_TRUE(again.IsOpen());
}

TEST_F(Discovery, NoPortsAtAll) {
  Names list{"x"};
  EXPECT_EQ(FillCommList(list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(ProbeComPorts(list));
  EXPECT_TRUE(list.empty());
}

TEST_F(Discovery, ErrorsAreWrappedWithTheRoutineNames) {
  const fs::path notAFolder = root / "ports-file";
  std::ofstream(notAFolder) << "x";
  Use(notAFolder);
  std::string inner;
  try {
    DefinedPortNames();
  } catch (const Exception& e) {
    inner = e.what();
  }
  ASSERT_FALSE(inner.empty());

  Names list{"kept"};
  try {
    Get_COM_EX(list);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Exception in method \"Get_COM_EX\":Exception in method \"FillCommList\":" + inner);
  }
  EXPECT_EQ(list, Names{"kept"});
  try {
    FillCommList(list);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Exception in method \"FillCommList\":" + inner);
  }
  // Probing never raises.
  EXPECT_FALSE(ProbeComPorts(list));
  EXPECT_TRUE(list.empty());
}

}  // namespace
