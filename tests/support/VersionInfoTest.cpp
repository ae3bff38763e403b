#include <gtest/gtest.h>

#include "support/AppPaths.h"
#include "support/TempDir.h"
#include "support/VersionInfo.h"

namespace {

// The position of our note's four numbers inside a file, or npos.
size_t NoteNumbersOffset(const std::string& bytes) {
  const std::string header = std::string("\x0a\0\0\0\x08\0\0\0\x01\0\0\0VeltraQRM\0\0\0", 24);
  size_t at = bytes.find(header);
  return at == std::string::npos ? at : at + header.size();
}

TEST(VersionInfo, ThisProgramCarriesTheProjectVersion) {
  uint16_t major = 9, minor = 9, release = 9, build = 9;
  ASSERT_TRUE(QueryFileVersion(ProgramFilePath(), &major, &minor, &release, &build));
  EXPECT_EQ(major, VQ_EXPECT_MAJOR);
  EXPECT_EQ(minor, VQ_EXPECT_MINOR);
  EXPECT_EQ(release, VQ_EXPECT_RELEASE);
  EXPECT_EQ(build, VQ_EXPECT_BUILD);
  EXPECT_EQ(GetFileVersionText(ProgramFilePath()),
            VersionToText(VQ_EXPECT_MAJOR, VQ_EXPECT_MINOR, VQ_EXPECT_RELEASE, VQ_EXPECT_BUILD));
  // Outputs the caller leaves out are skipped.
  uint16_t onlyBuild = 0;
  EXPECT_TRUE(QueryFileVersion(ProgramFilePath(), nullptr, nullptr, nullptr, &onlyBuild));
  EXPECT_EQ(onlyBuild, VQ_EXPECT_BUILD);
}

TEST(VersionInfo, FilesWithoutTheNoteGiveTheFallback) {
  TempDir dir;
  EXPECT_EQ(GetFileVersionText(VQ_EXE_WITHOUT_NOTE), "v0.0.0.0");
  EXPECT_EQ(GetFileVersionText(dir / "missing"), "v0.0.0.0");
  EXPECT_EQ(GetFileVersionText(dir.path()), "v0.0.0.0");
  WriteFileBytes(dir / "text", "#!/bin/sh\necho VeltraQRM\n");
  EXPECT_EQ(GetFileVersionText(dir / "text"), "v0.0.0.0");
  WriteFileBytes(dir / "empty", "");
  EXPECT_EQ(GetFileVersionText(dir / "empty"), "v0.0.0.0");

  // Our own file cut short inside its section headers, and one whose note lost its owner name.
  const std::string self = ReadFileBytes(ProgramFilePath());
  WriteFileBytes(dir / "cut", self.substr(0, self.size() - 10));
  EXPECT_EQ(GetFileVersionText(dir / "cut"), "v0.0.0.0");
  std::string renamed = self;
  size_t at = NoteNumbersOffset(renamed);
  ASSERT_NE(at, std::string::npos);
  renamed[at - 12] = 'X';
  WriteFileBytes(dir / "renamed", renamed);
  EXPECT_EQ(GetFileVersionText(dir / "renamed"), "v0.0.0.0");

  TVersionInfo info;
  info.Major = 5;
  EXPECT_FALSE(info.ReadFromFile(dir / "renamed"));
  EXPECT_EQ(info.Major, 0);
}

TEST(VersionInfo, NumbersPrintUnsigned) {
  EXPECT_EQ(VersionToText(10, 2, 0, 1500), "v10.2.0.1500");
  EXPECT_EQ(VersionToText(65535, 0, 65535, 1), "v65535.0.65535.1");
  TempDir dir;
  std::string patched = ReadFileBytes(ProgramFilePath());
  size_t at = NoteNumbersOffset(patched);
  ASSERT_NE(at, std::string::npos);
  const unsigned char numbers[8] = {0xFF, 0xFF, 2, 0, 0, 0, 0xDC, 0x05};  // 65535.2.0.1500
  patched.replace(at, 8, reinterpret_cast<const char*>(numbers), 8);
  WriteFileBytes(dir / "patched", patched);
  EXPECT_EQ(GetFileVersionText(dir / "patched"), "v65535.2.0.1500");
  TVersionInfo info;
  EXPECT_TRUE(info.ReadFromFile(dir / "patched"));
  EXPECT_EQ(info.Major, 65535);
  info.Clear();
  EXPECT_EQ(info.Major + info.Minor + info.Release + info.Build, 0);
}

}  // namespace
