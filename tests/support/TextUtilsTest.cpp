#include <gtest/gtest.h>

#include "support/Exceptions.h"
#include "support/TextUtils.h"

namespace {

TEST(TextUtils, CenterText) {
  EXPECT_EQ(CenterText("abc", 8), "  abc   ");
  EXPECT_EQ(CenterText("", 42), std::string(42, ' '));
  const std::string fifty(50, 'x');
  EXPECT_EQ(CenterText(fifty, 42), fifty);
  EXPECT_EQ(CenterText("ab", 2), "ab");
  EXPECT_EQ(CenterText("ab", -1), "ab");
  EXPECT_EQ(CenterText("", 0), "");
}

TEST(TextUtils, GetField) {
  EXPECT_EQ(GetField("a,b,,c", 3, ','), "");
  EXPECT_EQ(GetField("a,b,,c", 4, ','), "c");
  EXPECT_EQ(GetField("a,b,c ", 3, ','), "c ");
  EXPECT_EQ(GetField("a,b, ", 3, ','), "");
  EXPECT_EQ(GetField("a,b,\r\n", 3, ','), "");
  EXPECT_EQ(GetField("a,b,c", 0, ','), "");
  EXPECT_EQ(GetField("a,b,c", 4, ','), "");
  EXPECT_EQ(GetField("", 1, ','), "");
  EXPECT_EQ(GetField(",", 1, ','), "");
  EXPECT_EQ(GetField("1,2,3,4,5,6,7, Stem 8 ,9", 8, ','), " Stem 8 ");
  EXPECT_EQ(GetField("x;y", 2, ';'), "y");
  std::string many;
  for (int i = 0; i < 300; ++i) many += "f" + std::to_string(i) + ",";
  EXPECT_EQ(GetField(many, 255, ','), "f254");
}

TEST(TextUtils, MakePrintColumnsOneBlock) {
  TStringList src;
  for (int i = 0; i < 100; ++i) src.push_back("L" + std::to_string(i));
  TStringList out{"stale"};
  MakePrintColumns(src, out, 74, 42);
  ASSERT_EQ(out.size(), 74u);
  auto cell = [](const std::string& s) {
    std::string c = CenterText(s, 42);
    return c;
  };
  EXPECT_EQ(out[0], cell("L0") + "   " + cell("L74"));
  EXPECT_EQ(out[0].size(), 87u);
  EXPECT_EQ(out[25], cell("L25") + "   " + cell("L99"));
  EXPECT_EQ(out[26], cell("L26"));
  EXPECT_EQ(out[73], cell("L73"));
}

TEST(TextUtils, MakePrintColumnsSeveralBlocks) {
  TStringList src;
  for (int i = 0; i < 200; ++i) src.push_back(std::to_string(i));
  TStringList out;
  MakePrintColumns(src, out, 74, 42);
  ASSERT_EQ(out.size(), 126u);
  EXPECT_EQ(out[73], CenterText("73", 42) + "   " + CenterText("147", 42));
  EXPECT_EQ(out[74], CenterText("148", 42));
  EXPECT_EQ(out[125], CenterText("199", 42));
}

TEST(TextUtils, MakePrintColumnsCells) {
  TStringList out{"stale"};
  MakePrintColumns({}, out, 74, 42);
  EXPECT_TRUE(out.empty());
  // Cells narrower than 42 are padded on the left; wider ones stay as they are.
  MakePrintColumns({"ab", std::string(50, 'x')}, out, 1, 4);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], std::string(38, ' ') + " ab " + "   " + std::string(50, 'x'));
  // No rows per column would never finish a block: no output instead.
  MakePrintColumns({"a", "b"}, out, 0, 42);
  EXPECT_TRUE(out.empty());
  MakePrintColumns({"a", "b"}, out, -3, 42);
  EXPECT_TRUE(out.empty());
}

TEST(TextUtils, AnsiStringToWideString) {
  EXPECT_EQ(AnsiStringToWideString("\xB9", 1250), QString(QChar(0x0105)));
  EXPECT_EQ(AnsiStringToWideString("Za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1", 1250),
            QString::fromUtf8("Zażółć gęślą jaźń"));
  EXPECT_EQ(AnsiStringToWideString("\x80", 1250), QString(QChar(0x20AC)));
  EXPECT_EQ(AnsiStringToWideString("\xE9", 1252), QString(QChar(0x00E9)));
  EXPECT_EQ(AnsiStringToWideString("\xC5\x82", 65001), QString(QChar(0x0142)));
  EXPECT_TRUE(AnsiStringToWideString("", 1250).isEmpty());
  EXPECT_EQ(AnsiStringToWideString(std::string("ab\0cd", 5), 1250), "ab");
  EXPECT_TRUE(AnsiStringToWideString("abc", 12345).isEmpty());
}

TEST(TextUtils, SmallHelpers) {
  EXPECT_EQ(StripBlanks(" a b  c "), "abc");
  EXPECT_EQ(TrimBlanksAndControls("\t\r a b \n\x01"), "a b");
  EXPECT_EQ(TrimBlanksAndControls(" \x1f "), "");
  EXPECT_EQ(FormatText("%s_%02d", "x", 7), "x_07");
  EXPECT_EQ(FormatText("%s", std::string(5000, 'y').c_str()).size(), 5000u);
}

}  // namespace

TEST(TextUtils, SplitTextKeepsEveryField) {
  const struct {
    std::string text;
    TStringList fields;
  } cases[] = {{"", {""}}, {"a", {"a"}}, {"a;;b;", {"a", "", "b", ""}}, {";", {"", ""}}};
  for (const auto& c : cases) EXPECT_EQ(SplitText(c.text, ';'), c.fields) << c.text;
}
