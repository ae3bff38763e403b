#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "support/AppPaths.h"
#include "support/LogFile.h"
#include "support/TempDir.h"

namespace {

// Each test gets its own data folder and program name; the log is closed again afterwards.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xdg_ = std::make_unique<ScopedEnv>("XDG_DATA_HOME", dir_.path().c_str());
    SetProgramFilePathForTesting("/opt/tools/Reader.new.exe");
  }
  void TearDown() override {
    CloseLog();
    SetProgramFilePathForTesting("");
  }
  std::string LogPath() const { return dir_ / "Reader.new/Reader.new.log"; }
  std::string OldPath() const { return dir_ / "Reader.new/Reader.new.LO0"; }
  void Prefill(int64_t size, const std::string& path) {
    std::filesystem::create_directories(dir_ / "Reader.new");
    WriteFileBytes(path, std::string(static_cast<size_t>(size), 'p'));
  }

  TempDir dir_;
  std::unique_ptr<ScopedEnv> xdg_;
};

const std::regex kLine(R"([ 1-3][0-9]\.[01][0-9]\.[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9] Reader: )");

TEST_F(LogTest, FirstRunCreatesFolderAndEmptyLog) {
  EXPECT_EQ(OpenLog(), 0);
  EXPECT_EQ(LogFileName(), LogPath());
  EXPECT_TRUE(DirectoryExists(dir_ / "Reader.new"));
  EXPECT_TRUE(FileExists(LogPath()));
  EXPECT_EQ(MeasureFileSize(LogPath()), 0);
  EXPECT_EQ(OpenLog(), 2);
  EXPECT_EQ(CloseLog(), 0);
  EXPECT_EQ(CloseLog(), 1);
  EXPECT_EQ(WriteLog("after close"), 1);
  EXPECT_EQ(MeasureFileSize(LogPath()), 0);
}

TEST_F(LogTest, LineFormatPrefixAndCrLf) {
  ASSERT_EQ(OpenLog(), 0);
  EXPECT_EQ(WriteLog("Read error 5! GetBlock"), 0);
  EXPECT_EQ(WriteLog("second \xB9 line"), 0);
  EXPECT_EQ(WriteLog("not enabled", 0x01), 10);
  EXPECT_EQ(WriteLog("not enabled", 0x80), 10);
  CloseLog();
  const std::string data = ReadFileBytes(LogPath());
  ASSERT_EQ(data.size(), 2 * (19 + 9 + 2) + 22 + 13);
  const std::string first = data.substr(0, 19 + 9 + 22 + 2);
  EXPECT_TRUE(std::regex_search(first, kLine)) << first;
  EXPECT_EQ(first.substr(19), " Reader: Read error 5! GetBlock\r\n");
  EXPECT_EQ(data.substr(data.size() - 15), "second \xB9 line\r\n");
}

TEST_F(LogTest, AppendsToAnExistingLog) {
  Prefill(3, LogPath());
  ASSERT_EQ(OpenLog(), 0);
  WriteLog("x");
  CloseLog();
  EXPECT_EQ(ReadFileBytes(LogPath()).substr(0, 3), "ppp");
  EXPECT_FALSE(FileExists(OldPath()));
}

TEST(LogTimestamp, Format) {
  const std::string stamp = LogTimestamp();
  ASSERT_EQ(stamp.size(), 19u);
  EXPECT_TRUE(std::regex_match(
      stamp, std::regex(R"([ 1-3][0-9]\.[01][0-9]\.[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9])")))
      << stamp;
  EXPECT_NE(stamp[0], '0');
}

TEST_F(LogTest, FullLogAtStartIsRotatedByTheFirstWriteReplacingTheOldGeneration) {
  Prefill(kLogSizeLimit, LogPath());
  WriteFileBytes(OldPath(), "previous generation");
  ASSERT_EQ(OpenLog(), 0);
  EXPECT_EQ(WriteLog("fresh"), 0);
  CloseLog();
  EXPECT_EQ(MeasureFileSize(OldPath()), kLogSizeLimit);
  const std::string fresh = ReadFileBytes(LogPath());
  EXPECT_EQ(fresh.size(), 19u + 9 + 5 + 2);
  EXPECT_EQ(fresh.substr(19), " Reader: fresh\r\n");
}

TEST_F(LogTest, RotationCountsWhatThisRunWroteIncludingCrLf) {
  // 32 bytes per line: stamp 19, " Reader: " 9, "m1" 2, CR LF 2.
  Prefill(kLogSizeLimit - 32, LogPath());
  ASSERT_EQ(OpenLog(), 0);
  WriteLog("m1");  // reaches the limit exactly
  WriteLog("m2");  // so this one rotates first
  CloseLog();
  EXPECT_EQ(MeasureFileSize(OldPath()), kLogSizeLimit);
  EXPECT_EQ(ReadFileBytes(LogPath()).substr(19), " Reader: m2\r\n");
}

TEST_F(LogTest, NoRotationBelowTheLimit) {
  Prefill(kLogSizeLimit - 33, LogPath());
  ASSERT_EQ(OpenLog(), 0);
  WriteLog("m1");
  WriteLog("m2");
  CloseLog();
  EXPECT_FALSE(FileExists(OldPath()));
  EXPECT_EQ(MeasureFileSize(LogPath()), kLogSizeLimit - 33 + 64);
}

TEST_F(LogTest, ExplicitRotation) {
  ASSERT_EQ(OpenLog(), 0);
  WriteLog("one");
  EXPECT_EQ(RotateLog(), 0);
  WriteLog("two");
  CloseLog();
  EXPECT_EQ(ReadFileBytes(OldPath()).substr(19), " Reader: one\r\n");
  EXPECT_EQ(ReadFileBytes(LogPath()).substr(19), " Reader: two\r\n");
}

TEST_F(LogTest, OpenFailureLeavesTheLogClosed) {
  std::filesystem::create_directories(LogPath());  // a folder where the file should be
  EXPECT_EQ(OpenLog(), 4);
  EXPECT_EQ(WriteLog("lost"), 1);
  EXPECT_EQ(CloseLog(), 1);
}

TEST_F(LogTest, NoProgramNameGivesNameFailure) {
  SetProgramFilePathForTesting("/");
  EXPECT_EQ(OpenLog(), 8);
  EXPECT_EQ(WriteLog("lost"), 1);
}

TEST_F(LogTest, ConcurrentWritersNeverInterleaveLines) {
  ASSERT_EQ(OpenLog(), 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i)
        WriteLog("thread " + std::to_string(t) + " line " + std::string(40, 'a' + t));
    });
  for (auto& th : threads) th.join();
  CloseLog();
  const std::string data = ReadFileBytes(LogPath());
  size_t pos = 0, lines = 0;
  while (pos < data.size()) {
    size_t end = data.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    const std::string line = data.substr(pos, end - pos);
    ASSERT_TRUE(std::regex_search(line, kLine)) << line;
    const char letter = line.back();
    EXPECT_EQ(line.substr(line.size() - 40), std::string(40, letter));
    pos = end + 2;
    ++lines;
  }
  EXPECT_EQ(lines, 2000u);
}

TEST(MeasureFileSize, MissingOrFolderIsZero) {
  EXPECT_EQ(MeasureFileSize("/no/such/file"), 0);
  EXPECT_EQ(MeasureFileSize("/"), 0);
  EXPECT_EQ(MeasureFileSize(""), 0);
}

}  // namespace
