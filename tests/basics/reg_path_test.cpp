#include <string>

#include "registry_access.h"
#include "seam.h"

namespace {

const char kViewers[] = "Software\\Netscape\\Netscape Navigator\\Viewers";

class RegPathTest : public SeamTest {};

TEST_F(RegPathTest, FormatJoinsHiveKeyAndValueWithBackslashes) {
  struct Case {
    HKEY hive;
    Text key;
    Text value;
    Text path;
  } cases[] = {
      {HKEY_CURRENT_USER, kViewers, "video/avi",
       "HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi"},
      {HKEY_CLASSES_ROOT, "avifile\\shell\\open\\command", "",
       "HKEY_CLASSES_ROOT\\avifile\\shell\\open\\command\\"},
      {HKEY_LOCAL_MACHINE, "", "Word", "HKEY_LOCAL_MACHINE\\\\Word"},
      {HKEY_USERS, "", "", "HKEY_USERS\\\\"},
      {HKEY_CURRENT_CONFIG, "a", "b", "HKEY_USERS\\a\\b"},
      {reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)), "a", "b", "HKEY_USERS\\a\\b"},
      {nullptr, "a", "b", "HKEY_USERS\\a\\b"},
      // Nothing is escaped.
      {HKEY_CURRENT_USER, "k\\", "v\\w", "HKEY_CURRENT_USER\\k\\\\v\\w"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatRegPath(c.hive, c.key, c.value), c.path);
}

TEST_F(RegPathTest, ParseSplitsAtTheFirstAndTheLastBackslash) {
  const HKEY kOldHive = HKEY_CURRENT_CONFIG;
  struct Case {
    const char* why;
    Text text;
    bool assigns;
    HKEY hive;
    Text key;
    Text value;
  } cases[] = {
      {"viewer entry", "HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi", true,
       HKEY_CURRENT_USER, kViewers, "video/avi"},
      {"default value", "HKEY_CLASSES_ROOT\\avifile\\shell\\open\\command\\", true, HKEY_CLASSES_ROOT,
       "avifile\\shell\\open\\command", ""},
      {"root key, one backslash", "HKEY_LOCAL_MACHINE\\Word", true, HKEY_LOCAL_MACHINE, "", "Word"},
      {"root key, two backslashes", "HKEY_LOCAL_MACHINE\\\\Word", true, HKEY_LOCAL_MACHINE, "", "Word"},
      {"hive and backslash only", "HKEY_CURRENT_USER\\", true, HKEY_CURRENT_USER, "", ""},
      {"root default value", "HKEY_CURRENT_USER\\\\", true, HKEY_CURRENT_USER, "", ""},
      {"HKEY_USERS", "HKEY_USERS\\S-1\\v", true, HKEY_USERS, "S-1", "v"},
      {"small letters", "hkey_current_user\\a\\b", true, HKEY_USERS, "a", "b"},
      {"other root key", "HKEY_CURRENT_CONFIG\\a\\b", true, HKEY_USERS, "a", "b"},
      {"longer name", "HKEY_CLASSES_ROOTS\\a\\b", true, HKEY_USERS, "a", "b"},
      {"any word", "x\\a", true, HKEY_USERS, "", "a"},
      {"value name with a backslash", "HKEY_CURRENT_USER\\k\\v\\w", true, HKEY_CURRENT_USER, "k\\v", "w"},
      {"empty", "", false, kOldHive, "old key", "old value"},
      {"no backslash", "HKEY_CURRENT_USER", false, kOldHive, "old key", "old value"},
      {"leading backslash", "\\HKEY_CURRENT_USER\\a\\b", false, kOldHive, "old key", "old value"},
      {"backslash only", "\\", false, kOldHive, "old key", "old value"},
  };
  for (const Case& c : cases) {
    HKEY hive = kOldHive;
    Text key = "old key";
    Text value = "old value";
    ParseRegPath(c.text, hive, key, value);
    EXPECT_EQ(hive, c.hive) << c.why;
    EXPECT_EQ(key, c.key) << c.why;
    EXPECT_EQ(value, c.value) << c.why;
  }
}

TEST_F(RegPathTest, ParseGivesBackWhatFormatWrote) {
  for (HKEY hive : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    for (const Text key : {"", "a", "Software\\Netscape\\Netscape Navigator\\Viewers", "a b\\c d"}) {
      for (const Text value : {"", "video/avi", "application/x-zip-compressed", "with space"}) {
        HKEY parsedHive = nullptr;
        Text parsedKey = "x";
        Text parsedValue = "x";
        ParseRegPath(FormatRegPath(hive, key, value), parsedHive, parsedKey, parsedValue);
        EXPECT_EQ(parsedHive, hive);
        EXPECT_EQ(parsedKey, key);
        EXPECT_EQ(parsedValue, value);
      }
    }
  }
}

// Shift-JIS: 0x95 0x5C is one character whose second byte has the code of a
// backslash.
TEST_F(RegPathTest, ParseNeverSplitsADoubleByteCharacter) {
  seam::SetEnv("WINHOST_CODEPAGE", "932");
  const Text kanji = "\x95\x5C";
  HKEY hive = nullptr;
  Text key;
  Text value;
  ParseRegPath(FormatRegPath(HKEY_CURRENT_USER, "a", kanji), hive, key, value);
  EXPECT_EQ(hive, HKEY_CURRENT_USER);
  EXPECT_EQ(key, "a");
  EXPECT_EQ(value, kanji);

  ParseRegPath(FormatRegPath(HKEY_LOCAL_MACHINE, "Soft" + kanji + "\\x", kanji + "v" + kanji), hive, key, value);
  EXPECT_EQ(hive, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(key, "Soft" + kanji + "\\x");
  EXPECT_EQ(value, kanji + "v" + kanji);

  // A text whose only 0x5C byte is a trail byte has no hive part.
  hive = HKEY_CURRENT_CONFIG;
  key = "old";
  value = "old";
  ParseRegPath(kanji + "abc", hive, key, value);
  EXPECT_EQ(hive, HKEY_CURRENT_CONFIG);
  EXPECT_EQ(key, "old");
  EXPECT_EQ(value, "old");
}

}  // namespace
