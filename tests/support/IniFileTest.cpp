#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/IniFile.h"
#include "support/InterfaceTexts.h"
#include "support/TempDir.h"

namespace {

TEST(IniFile, MissingFileSectionOrKeyGivesDefault) {
  TempDir dir;
  TIniFile ini(dir / "none.ini");
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", "COM1"), "COM1");
  EXPECT_EQ(ini.ReadInteger("Settings", "BaudRate", 38400), 38400);
  WriteFileBytes(dir / "none.ini", "[Other]\nSerialPort=COM9\n[Settings]\nBaud=1\n");
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", "COM1"), "COM1");
  EXPECT_EQ(ini.ReadString("Other", "SerialPort", "COM1"), "COM9");
}

TEST(IniFile, EmptyValueIsNotMissing) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "[Settings]\r\nSerialPort=\r\n");
  TIniFile ini(dir / "s.ini");
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", "COM1"), "");
  EXPECT_EQ(ini.ReadInteger("Settings", "SerialPort", 7), 7);
}

TEST(IniFile, NamesAreCaseInsensitiveAndBlanksAroundAreIgnored) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "\xEF\xBB\xBF[ settings ]\n  serialport =  COM3  \nBAUDRATE=9600\n");
  TIniFile ini(dir / "s.ini");
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", "COM1"), "COM3");
  EXPECT_EQ(ini.ReadInteger("SETTINGS", "baudrate", 0), 9600);
}

TEST(IniFile, QuotedValueKeepsItsBlanks) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "[fmReadOptions]\ngbSearch=\" Search \"\nOne=\"\nPair=''\nMixed=\"x'\n");
  TIniFile ini(dir / "s.ini");
  EXPECT_EQ(ini.ReadString("fmReadOptions", "gbSearch", ""), " Search ");
  EXPECT_EQ(ini.ReadString("fmReadOptions", "One", "d"), "\"");  // a lone quote is a value
  EXPECT_EQ(ini.ReadString("fmReadOptions", "Pair", "d"), "");
  EXPECT_EQ(ini.ReadString("fmReadOptions", "Mixed", "d"), "\"x'");
}

TEST(IniFile, FirstSectionAndFirstKeyWin) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\n");
  TIniFile ini(dir / "s.ini");
  EXPECT_EQ(ini.ReadString("a", "K", ""), "1");
  EXPECT_EQ(ini.ReadString("b", "k", ""), "3");
}

TEST(IniFile, CommentsAndLinesWithoutEqualsAreNotKeys) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "[S]\n;k=comment\nk\nk2=a=b\n");
  TIniFile ini(dir / "s.ini");
  EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", ";k", "def"), "def");
  EXPECT_EQ(ini.ReadString("S", "k2", ""), "a=b");
}

TEST(IniFile, ValueIsCutAt2047Characters) {
  TempDir dir;
  std::string longValue(3000, 'x');
  longValue[2046] = 'y';
  WriteFileBytes(dir / "s.ini", "[S]\nk=" + longValue + "\n");
  TIniFile ini(dir / "s.ini");
  std::string got = ini.ReadString("S", "k", "");
  ASSERT_EQ(got.size(), 2047u);
  EXPECT_EQ(got.back(), 'y');
  EXPECT_EQ(ini.ReadString("S", "missing", std::string(2048, 'd')).size(), 2047u);
}

TEST(IniFile, ReadIntegerRules) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"0x9600", 38400}, {"0X9600", 38400},
      {"$9600", 38400},  {"fast", 7},
      {"0x", 7},         {"", 7},
      {"-5", -5},        {"+12", 12},
      {"12a", 7},        {"$", 7},
      {"-", 7},          {"2147483647", 2147483647},
      {"2147483648", 7}, {"-2147483648", INT32_MIN},
      {"$FFFFFFFF", -1}, {"$100000000", 7},
      {"-$10", -16},     {"0x0x1", 7},
      {"1 2", 7},
  };
  TempDir dir;
  TIniFile ini(dir / "s.ini");
  for (const Case& c : cases) {
    ini.WriteString("Settings", "BaudRate", c.text);
    EXPECT_EQ(ini.ReadInteger("Settings", "BaudRate", 7), c.expected) << "text \"" << c.text << "\"";
  }
}

TEST(IniFile, WriteCreatesFileSectionAndKeyAndReadsBack) {
  TempDir dir;
  TIniFile ini(dir / "new.ini");
  ini.WriteString("Settings", "SerialPort", "COM3");
  ini.WriteInteger("Settings", "BaudRate", -115200);
  ini.WriteString("Other", "X", "");
  EXPECT_EQ(ReadFileBytes(dir / "new.ini"), "[Settings]\nSerialPort=COM3\nBaudRate=-115200\n[Other]\nX=\n");
  EXPECT_EQ(ini.ReadString("Settings", "SerialPort", ""), "COM3");
  EXPECT_EQ(ini.ReadInteger("Settings", "BaudRate", 0), -115200);
  EXPECT_EQ(ini.ReadString("Other", "X", "def"), "");
}

TEST(IniFile, WriteReplacesOnlyTheKeyAndKeepsEveryOtherLine) {
  TempDir dir;
  const std::string before =
      "; settings of the reader\r\n"
      "[Misc]\r\n"
      "SerialPort=keep me\r\n"
      "\r\n"
      "[settings]\r\n"
      "  serialport = COM1 \r\n"
      "; a comment inside\r\n"
      "BaudRate=9600\r\n"
      "\r\n"
      "[Tail]\r\n"
      "x=1";
  WriteFileBytes(dir / "s.ini", before);
  TIniFile ini(dir / "s.ini");
  ini.WriteString("Settings", "SerialPort", "COM7");
  ini.WriteString("SETTINGS", "NewKey", "v");
  ini.WriteString("Tail", "y", "2");
  EXPECT_EQ(ReadFileBytes(dir / "s.ini"),
            "; settings of the reader\r\n"
            "[Misc]\r\n"
            "SerialPort=keep me\r\n"
            "\r\n"
            "[settings]\r\n"
            "SerialPort=COM7\r\n"
            "; a comment inside\r\n"
            "BaudRate=9600\r\n"
            "NewKey=v\r\n"
            "\r\n"
            "[Tail]\r\n"
            "x=1\r\n"
            "y=2\r\n");
}

TEST(IniFile, ValuesThatWouldBreakTheFileAreRefusedAndLoseNothing) {
  TempDir dir;
  WriteFileBytes(dir / "s.ini", "[S]\nk=1\n");
  TIniFile ini(dir / "s.ini");
  const std::string msg = "Unable to write to " + dir / "s.ini";
  for (auto [s, k, v] : {std::tuple<std::string, std::string, std::string>{"S", "k", "a\nb=c"},
                         {"S", "k", "a\rb"},
                         {"S", "a=b", "x"},
                         {"S", "", "x"},
                         {"S]", "k", "x"},
                         {"", "k", "x"},
                         {"S", "[T]", "x"}}) {
    try {
      ini.WriteString(s, k, v);
      ADD_FAILURE() << "accepted " << s << "/" << k;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), msg);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / "s.ini"), "[S]\nk=1\n");
}

TEST(IniFile, WriteFailureNamesThePathAndLeavesTheOldFileWhole) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir dir;
  const std::string path = dir / "s.ini";
  WriteFileBytes(path, "[Settings]\nSerialPort=COM2\n");
  ::chmod(dir.path().c_str(), 0555);
  TIniFile ini(path);
  try {
    ini.WriteString("Settings", "SerialPort", "COM5");
    ADD_FAILURE() << "write into a read-only folder succeeded";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(ReadFileBytes(path), "[Settings]\nSerialPort=COM2\n");
}

TEST(IniFile, WriteIntoMissingOrBogusFolderFails) {
  TempDir dir;
  WriteFileBytes(dir / "plain", "x");
  for (const std::string& path : {dir / "no/such/folder.ini", dir / "plain/s.ini"}) {
    TIniFile ini(path);
    try {
      ini.WriteInteger("Settings", "BaudRate", 1);
      ADD_FAILURE() << path;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
  }
}

TEST(IniFile, DiskFullDuringWriteLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir / "s.ini";
  const std::string before = "[Settings]\nSerialPort=COM2\nBaudRate=9600\n";
  WriteFileBytes(path, before);
  // A file size limit makes the write of the new contents fail part-way, even for root.
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  TIniFile ini(path);
  bool threw = false;
  try {
    ini.WriteString("Settings", "SerialPort", std::string(500, 'c'));
  } catch (const Exception& e) {
    threw = true;
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadFileBytes(path), before);
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "the temporary file must not stay behind";
}

TEST(IniFile, WriteGoesThroughATemporaryFileAndLeavesNoneBehind) {
  TempDir dir;
  const std::string path = dir / "s.ini";
  WriteFileBytes(path, "[S]\nk=old\n");
  ::chmod(path.c_str(), 0640);
  struct stat before {};
  ::stat(path.c_str(), &before);
  TIniFile ini(path);
  ini.WriteString("S", "k", "new");
  struct stat after {};
  ::stat(path.c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino) << "the file was rewritten in place";
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(ReadFileBytes(path), "[S]\nk=new\n");
}

TEST(IniFile, ALinkedSettingsFileStaysALink) {
  TempDir dir;
  WriteFileBytes(dir / "real.ini", "[S]\nk=1\n");
  std::filesystem::create_symlink(dir / "real.ini", dir / "link.ini");
  TIniFile(dir / "link.ini").WriteString("S", "k", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFileBytes(dir / "real.ini"), "[S]\nk=2\n");
}

TEST(InterfaceTexts, WorkedExample) {
  TempDir dir;
  WriteFileBytes(dir / "Strings.ini",
                 "[fmreadoptions]\r\nCaption=Report options\r\ngbSearch=Find\r\nlblCOM=\r\n"
                 "lblFromDate=Od dnia:\xC5\x82\r\n");
  TTextTable texts(dir / "Strings.ini");
  EXPECT_EQ(texts.Read("fmReadOptions", "Caption", "Read options"), "Report options");
  EXPECT_EQ(texts.Read("fmReadOptions", "GBSEARCH", " Search "), "Find");
  EXPECT_EQ(texts.Read("fmReadOptions", "lblCOM", "COM port:"), "");
  EXPECT_EQ(texts.Read("fmReadOptions", "lblFromDate", "From date:"), QString::fromUtf8("Od dnia:\u0142"));
  EXPECT_EQ(texts.Read("fmReaderFM", "acRead", "Read"), "Read");
  TTextTable missing(dir / "nothing.ini");
  EXPECT_EQ(missing.Read("fmReaderFM", "acRead", "Read"), "Read");
  // One reading per window: an edit shows in the next table made, never halfway through one.
  WriteFileBytes(dir / "Strings.ini", "[fmReadOptions]\nCaption=Edited\n");
  EXPECT_EQ(texts.Read("fmReadOptions", "Caption", ""), "Report options");
  EXPECT_EQ(TTextTable(dir / "Strings.ini").Read("fmReadOptions", "Caption", ""), "Edited");
}

}  // namespace

TEST(IniFile, AppendedSectionTakesTheLineEndsOfTheFile) {
  TempDir dir;
  const std::pair<std::string, std::string> cases[] = {{"junk\n\x01\x02\r\n garbage \r\n=\r\n", "\r\n"},
                                                       {"junk\r\nmore\nstill\n", "\n"}};
  for (const auto& [before, eol] : cases) {
    WriteFileBytes(dir / "g.ini", before);
    TIniFile(dir / "g.ini").WriteString("S", "K", "v");
    EXPECT_EQ(ReadFileBytes(dir / "g.ini"), before + "[S]" + eol + "K=v" + eol);
  }
}
