#include <gtest/gtest.h>
#include <unistd.h>

#include "support/AppPaths.h"
#include "support/IniFile.h"
#include "support/InterfaceTexts.h"
#include "support/TempDir.h"

namespace {

class ProgramPath {
 public:
  explicit ProgramPath(const std::string& p) { SetProgramFilePathForTesting(p); }
  ~ProgramPath() { SetProgramFilePathForTesting(""); }
};

class CurrentDir {
 public:
  explicit CurrentDir(const std::string& p) {
    char buf[4096];
    old_ = ::getcwd(buf, sizeof buf) ? buf : "/";
    EXPECT_EQ(::chdir(p.c_str()), 0);
  }
  ~CurrentDir() { (void)::chdir(old_.c_str()); }

 private:
  std::string old_;
};

TEST(AppPaths, AppDataFolderFollowsXdgRules) {
  TempDir dir;
  std::filesystem::create_directories(dir / "home/.local/share");
  std::filesystem::create_directories(dir / "xdg");
  ScopedEnv home("HOME", (dir / "home").c_str());
  {
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "xdg").c_str());
    EXPECT_EQ(GetLocalAppDataPath(), dir / "xdg");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", "relative/share");  // not absolute: ignored
    EXPECT_EQ(GetLocalAppDataPath(), dir / "home/.local/share");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(GetLocalAppDataPath(), dir / "home/.local/share");
  }
  {
    // Missing folders are created with their parents, private to the user.
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "missing/share/").c_str());
    EXPECT_EQ(GetLocalAppDataPath(), dir / "missing/share");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "missing").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
}

TEST(AppPaths, ProgramNamesWithSeveralDots) {
  ProgramPath program("/opt/tools/Reader.new.exe");
  EXPECT_EQ(ProgramFilePath(), "/opt/tools/Reader.new.exe");
  EXPECT_EQ(ProgramFolder(), "/opt/tools");
  EXPECT_EQ(ProgramBaseName(), "Reader.new");
  EXPECT_EQ(StringsIniPath(), "/opt/tools/Strings.ini");
}

TEST(AppPaths, RealProgramFileByDefault) {
  std::string self = ProgramFilePath();
  EXPECT_EQ(self.front(), '/');
  EXPECT_EQ(ExtractFileName(self), "vq_support_tests");
  EXPECT_EQ(ProgramBaseName(), "vq_support_tests");
}

TEST(AppPaths, SettingsFileLivesInTheCreatedUserFolder) {
  TempDir dir;
  ScopedEnv xdg("XDG_DATA_HOME", dir.path().c_str());
  ProgramPath program("/usr/bin/veltra-qrm");
  TIniFile_VT settings;
  EXPECT_EQ(settings.FileName(), dir / "veltra-qrm/veltra-qrm.ini");
  EXPECT_TRUE(DirectoryExists(dir / "veltra-qrm"));
  EXPECT_FALSE(FileExists(settings.FileName())) << "the constructor must not create the file";
  EXPECT_EQ(settings.ReadString("Settings", "SerialPort", "COM1"), "COM1");
  EXPECT_EQ(settings.ReadInteger("Settings", "BaudRate", 38400), 38400);
  settings.WriteString("Settings", "SerialPort", "COM4");
  EXPECT_EQ(TIniFile_VT().ReadString("Settings", "SerialPort", "COM1"), "COM4");

  TIniFile_VT named("  other.ini");
  EXPECT_EQ(named.FileName(), dir / "veltra-qrm/  other.ini");  // untrimmed when not blank
  EXPECT_EQ(TIniFile_VT("   ").FileName(), dir / "veltra-qrm/veltra-qrm.ini");
}

TEST(AppPaths, SeveralDotsKeepAllButTheLastExtension) {
  TempDir dir;
  ScopedEnv xdg("XDG_DATA_HOME", dir.path().c_str());
  ProgramPath program("/opt/Reader.new.exe");
  EXPECT_EQ(TIniFile_VT().FileName(), dir / "Reader.new/Reader.new.ini");
}

TEST(AppPaths, UserFolderIsCreatedUnderAMissingDataFolderNeverInTheCurrentOne) {
  TempDir dir;
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv home("HOME", (dir / "home").c_str());  // has no .local/share yet
  std::filesystem::create_directories(dir / "home");
  std::filesystem::create_directories(dir / "cwd");
  CurrentDir cwd(dir / "cwd");
  ProgramPath program("/usr/bin/veltra-qrm");
  EXPECT_EQ(UserProgramFolder(), dir / "home/.local/share/veltra-qrm");
  TIniFile_VT settings;
  settings.WriteInteger("Settings", "BaudRate", 0);
  EXPECT_EQ(ReadFileBytes(dir / "home/.local/share/veltra-qrm/veltra-qrm.ini"), "[Settings]\nBaudRate=0\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "cwd"));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "home/.local/share/veltra-qrm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(AppPaths, PathHelpers) {
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".log"), "/a.b/c.log");
  EXPECT_EQ(ChangeFileExt("/a/c.x.exe", ".log"), "/a/c.x.log");
  EXPECT_EQ(ChangeFileExt("c.exe", ""), "c");
  EXPECT_EQ(ExtractFileDir("/prog"), "/");
  EXPECT_EQ(ExtractFileDir("prog"), "");
  EXPECT_EQ(ExtractFileName("/x/y/"), "");
}

}  // namespace
