// The .reg parser on its own: syntax, encodings, and safety on cut-off input.
#include <gtest/gtest.h>

#include "regfile_parse.h"
#include "tools_test_util.h"
#include "winapi.h"

namespace {

using regfile::Entry;

std::vector<Entry> ParseOk(const std::string& bytes) {
  std::vector<Entry> entries;
  regfile::ParseError error;
  EXPECT_TRUE(regfile::ParseRegFile(bytes, &entries, &error)) << "line " << error.line << ": " << error.message;
  return entries;
}

// One line per entry, to compare parses.
std::string Describe(const std::vector<Entry>& entries) {
  std::string out;
  for (const Entry& e : entries) {
    out += std::to_string(e.kind) + " " + regfile::JoinKeyPath(e.root, e.subkey) + " \"" + e.name + "\" " +
           std::to_string(e.type) + " [" + e.data + "] line " + std::to_string(e.line) + "\n";
  }
  return out;
}

TEST(RegfileParse, ReadsEveryLineForm) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\A]\r\n"
      "@=\"default\"\r\n"
      "\"a\\\\b\\\"c=d\"=\"C:\\\\x \\\"q\\\" C:\\temp\"\r\n"  // escapes; an unknown one stays
      "\"n\" = DWORD:0000002A ; trailing comment\r\n"
      "\"h\"=hex:01,ff,\\\r\n"
      "    0a,\\\r\n"
      "  7\r\n"
      "\"none\"=hex(0):\r\n"
      "\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"gone\"=-\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\n"  // LF alone ends lines too
      "[HKCR\\.x]\n";
  const std::vector<Entry> e = ParseOk(text);
  ASSERT_EQ(e.size(), 10u);
  EXPECT_EQ(e[0].kind, Entry::kCreateKey);
  EXPECT_EQ(e[0].root, regfile::Root::kCurrentUser);
  EXPECT_EQ(e[0].subkey, "Software\\A");
  EXPECT_EQ(e[0].line, 4);
  EXPECT_EQ(e[1].name, "");
  EXPECT_EQ(e[1].data, std::string("default\0", 8));
  EXPECT_EQ(e[2].name, "a\\b\"c=d");
  EXPECT_EQ(e[2].data, std::string("C:\\x \"q\" C:\\temp\0", 17));
  EXPECT_EQ(e[3].type, REG_DWORD);
  EXPECT_EQ(e[3].data, std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(e[4].type, REG_BINARY);
  EXPECT_EQ(e[4].data, "\x01\xff\x0a\x07");
  EXPECT_EQ(e[4].line, 8);
  EXPECT_EQ(e[5].type, REG_NONE);
  EXPECT_EQ(e[5].data, "");
  EXPECT_EQ(e[6].type, REG_QWORD);
  EXPECT_EQ(e[7].kind, Entry::kDeleteValue);
  EXPECT_EQ(e[7].name, "gone");
  EXPECT_EQ(e[8].kind, Entry::kDeleteKey);
  EXPECT_EQ(e[8].subkey, "Software\\Old");
  EXPECT_EQ(e[8].line, 14);
  EXPECT_EQ(e[9].root, regfile::Root::kClassesRoot);
  EXPECT_EQ(e[9].line, 15);
}

// The same content in each encoding the tool reads. String types in hex form
// are UTF-16 in the Unicode format and ANSI bytes in REGEDIT4.
TEST(RegfileParse, EncodingsReadTheSame) {
  const std::string body =
      "\r\n[HKEY_LOCAL_MACHINE\\Software\\Caf\xC3\xA9]\r\n"          // "Café"
      "\"euro\"=\"\xE2\x82\xAC and \xC3\xBF\"\r\n"                    // "€ and ÿ"
      "\"exp\"=hex(2):25,00,41,00,e9,00,ac,20,00,00\r\n"
      "\"d\"=dword:00000001\r\n";
  const std::string utf8 = "Windows Registry Editor Version 5.00\r\n" + body;
  const std::string ansi =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Caf\xE9]\r\n"
      "\"euro\"=\"\x80 and \xFF\"\r\n"
      "\"exp\"=hex(2):25,41,e9,80,00\r\n"
      "\"d\"=dword:00000001\r\n";
  const std::string expected = Describe(ParseOk(ansi));
  ASSERT_NE(expected.find("Caf\xE9"), std::string::npos);
  ASSERT_NE(expected.find("[%A\xE9\x80"), std::string::npos);
  EXPECT_EQ(Describe(ParseOk(utf8)), expected);
  EXPECT_EQ(Describe(ParseOk("\xEF\xBB\xBF" + utf8)), expected);
  EXPECT_EQ(Describe(ParseOk(tools_test::Utf16WithBom(utf8))), expected);
  std::string lf = utf8;
  for (size_t p; (p = lf.find('\r')) != std::string::npos;) lf.erase(p, 1);
  EXPECT_EQ(Describe(ParseOk(tools_test::Utf16WithBom(lf))), expected);
}

TEST(RegfileParse, EncodingFaultsNameTheirLine) {
  const struct {
    const char* what;
    std::string bytes;
    int line;
    const char* message;
  } cases[] = {
      {"invalid UTF-8", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\a]\n\"x\"=\"\xC3\x28\"\n", 4,
       "UTF-8"},
      {"a character 1252 lacks", "Windows Registry Editor Version 5.00\n[HKCU\\a]\n\"x\"=\"\xE4\xB8\xAD\"\n", 3,
       "U+4E2D"},
      {"lone surrogate",
       tools_test::Utf16WithBom("Windows Registry Editor Version 5.00\n[HKCU\\a]\n") + std::string("\x00\xD8", 2), 3,
       "surrogate"},
      {"odd UTF-16 string data", "Windows Registry Editor Version 5.00\n[HKCU\\a]\n\"x\"=hex(1):41,00,42\n", 3,
       "odd"},
      {"big-endian UTF-16", "\xFE\xFF", 1, "big-endian"},
  };
  for (const auto& c : cases) {
    std::vector<Entry> entries;
    regfile::ParseError error;
    EXPECT_FALSE(regfile::ParseRegFile(c.bytes, &entries, &error)) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.what << ": " << error.message;
  }
}

// Every prefix of a file (as a cut-off download would give) either parses or
// fails with a line inside the file; run under the sanitizers this also shows
// that no prefix is read past its end.
TEST(RegfileParse, CutOffInputIsSafe) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A\\B]\r\n@=\"x\\\\\\\"\"\r\n"
      "\"h\"=hex(7):41,00,00,00,\\\r\n  00,00\r\n\"d\"=dword:1\r\n\"r\"=-\r\n[-HKCU\\A]\r\n";
  for (const std::string& full : {utf8, tools_test::Utf16WithBom(utf8)}) {
    for (size_t n = 0; n <= full.size(); ++n) {
      std::vector<Entry> entries;
      regfile::ParseError error;
      if (!regfile::ParseRegFile(full.substr(0, n), &entries, &error)) {
        EXPECT_GE(error.line, 1) << n;
        EXPECT_LE(error.line, 10) << n;
        EXPECT_FALSE(error.message.empty()) << n;
      }
    }
  }
}

}  // namespace
