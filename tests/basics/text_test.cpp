#include <climits>
#include <string>

#include "seam.h"
#include "text.h"

namespace {

class TextTest : public SeamTest {};

TEST_F(TextTest, FindAndReverseFindGiveFirstAndLastPosition) {
  struct Case {
    Text text;
    char c;
    int first;
    int last;
  } cases[] = {
      {"", 'a', -1, -1},
      {"abcabc", 'b', 1, 4},
      {"abc", 'z', -1, -1},
      {"a\\b\\c", '\\', 1, 3},
      {Text("a\0b", 3), '\0', 1, 1},  // a zero byte is an ordinary byte of the text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.text, c.c), c.first) << c.text;
    EXPECT_EQ(ReverseFind(c.text, c.c), c.last) << c.text;
  }
  EXPECT_EQ(Length(Text("a\0b", 3)), 3);
}

TEST_F(TextTest, LeftAndRightClampTheirCount) {
  const Text t = "abcdef";
  struct Case {
    int n;
    Text left;
    Text right;
  } cases[] = {
      {INT_MIN, "", ""}, {-1, "", ""}, {0, "", ""}, {2, "ab", "ef"}, {6, t, t}, {7, t, t}, {INT_MAX, t, t},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Left(t, c.n), c.left) << c.n;
    EXPECT_EQ(Right(t, c.n), c.right) << c.n;
  }
  EXPECT_EQ(Left("", 3), "");
  EXPECT_EQ(Right("", -3), "");
}

TEST_F(TextTest, FormatGrowsToAnyLength) {
  const Text big(10000, 'x');
  EXPECT_EQ(Format("%s%s", big.c_str(), "tail"), big + "tail");
  EXPECT_EQ(Format("%s%s", "", ""), "");
  EXPECT_EQ(Format("TYPE%d", 0), "TYPE0");
  EXPECT_EQ(Format("%d|%d", INT_MIN, 42), "-2147483648|42");
  EXPECT_EQ(Format("%s_auto_file", "avi"), "avi_auto_file");
  EXPECT_EQ(Format("%s\\%s", "C:\\dir", "f.txt"), "C:\\dir\\f.txt");
  EXPECT_EQ(Format("%s", ""), "");
}

TEST_F(TextTest, TextEqualsComparesEveryByte) {
  EXPECT_TRUE(TextEquals("HKEY_USERS", "HKEY_USERS"));
  EXPECT_TRUE(TextEquals("", ""));
  EXPECT_FALSE(TextEquals("HKEY_USERS", "hkey_users"));
  EXPECT_FALSE(TextEquals("abc", "abcd"));
  // Bytes after a zero byte count too.
  EXPECT_FALSE(TextEquals(Text("ab\0c", 4), Text("ab\0d", 4)));
  EXPECT_FALSE(TextEquals(Text("ab\0", 3), "ab"));
}

TEST_F(TextTest, VerbEqualsFoldsOnlyAsciiLetters) {
  struct Case {
    Text verb;
    bool matches;
  } cases[] = {
      {"Install", true},
      {"INSTALL", true},
      {"install", true},
      {"InStAlL", true},
      {"Installx", false},
      {"Instal", false},
      {"Install\t", false},
      {" Install", false},
      {"", false},
      {"\xC9nstall", false},  // a capital E with acute accent is not the letter I
      {"Instal\x8C", false},
  };
  for (const Case& c : cases) EXPECT_EQ(VerbEquals(c.verb, "Install"), c.matches) << c.verb;
  // Letters outside A-Z: their two cases stay different.
  EXPECT_FALSE(VerbEquals("\xC4nstall", "\xE4nstall"));
  EXPECT_TRUE(VerbEquals("\xC4nstall", "\xC4NSTALL"));
  // Folding is by letter, not by a fixed offset over all bytes: '@' and '`'
  // or '[' and '{' lie 0x20 apart yet are different characters.
  EXPECT_FALSE(VerbEquals("@", "`"));
  EXPECT_FALSE(VerbEquals("[", "{"));
  EXPECT_TRUE(VerbEquals("", ""));
}

// Shift-JIS: 0x95 0x5C is one character whose second byte is the code of a
// backslash; 0x82 0x41 one whose second byte is the code of 'A'.
class DoubleByteTextTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    seam::SetEnv("WINHOST_CODEPAGE", "932");
  }
};

TEST_F(DoubleByteTextTest, TrailByteIsNeverFoundAsABackslash) {
  struct Case {
    Text text;
    int first;
    int last;
  } cases[] = {
      {"\x95\x5C", -1, -1},
      {"a\\\x95\x5C", 1, 1},
      {"\x95\x5C\\", 2, 2},
      {"\x95\x5C\\\x95\x5C\\x", 2, 5},
      {"\x95\x95\x5C", 2, 2},      // 0x95 0x95 is one character; the next 0x5C is a backslash
      {"\x95\x95\x95\x5C", -1, -1},  // two double-byte characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.text, '\\'), c.first) << testing::PrintToString(c.text);
    EXPECT_EQ(ReverseFind(c.text, '\\'), c.last) << testing::PrintToString(c.text);
  }
}

TEST_F(DoubleByteTextTest, LeadByteAtTheEndIsASingleByte) {
  const Text t = "a\\\x95";
  EXPECT_FALSE(IsLeadByteAt(t, 2));
  EXPECT_TRUE(IsLeadByteAt("\x95\x5C", 0));
  EXPECT_FALSE(IsLeadByteAt("\x95\x5C", 1));
  EXPECT_FALSE(IsLeadByteAt("\x95\x5C", -1));
  EXPECT_FALSE(IsLeadByteAt("\x95\x5C", 5));
  EXPECT_EQ(Find(t, '\x95'), 2);
  EXPECT_EQ(ReverseFind(t, '\\'), 1);
  EXPECT_EQ(Length(t), 3);
}

TEST_F(DoubleByteTextTest, VerbEqualsNeverFoldsATrailByte) {
  EXPECT_FALSE(VerbEquals("\x82\x41", "\x82\x61"));
  EXPECT_TRUE(VerbEquals("\x82\x41", "\x82\x41"));
  EXPECT_FALSE(VerbEquals("x\x82\x41nstall", "X\x82\x61NSTALL"));
  EXPECT_TRUE(VerbEquals("x\x82\x41nstall", "X\x82\x41NSTALL"));
  // A lead byte at the very end has no trail byte: the next text's letter is
  // compared on its own.
  EXPECT_TRUE(VerbEquals("Ab\x82", "aB\x82"));
  EXPECT_TRUE(VerbEquals("INSTALL", "install"));
}

TEST_F(DoubleByteTextTest, SingleByteCodePageSeesEveryByte) {
  seam::UnsetEnv("WINHOST_CODEPAGE");
  EXPECT_EQ(Find("\x95\x5C", '\\'), 1);
  EXPECT_EQ(ReverseFind("\x95\x5C\\", '\\'), 2);
  EXPECT_TRUE(VerbEquals("\x82\x41", "\x82\x61"));
  seam::SetEnv("WINHOST_CODEPAGE", "1252");
  EXPECT_EQ(Find("\x95\x5C", '\\'), 1);
}

}  // namespace
