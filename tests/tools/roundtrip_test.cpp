// Export, then import into a fresh registry: the same keys, values, types and
// bytes; and the layout of the written file.
#include "regfile_parse.h"
#include "regfile_write.h"
#include "reg_keys.h"
#include "seam.h"
#include "tools_test_util.h"
#include "winapi.h"

namespace {

using regfile::Root;

void Set(HKEY key, const std::string& name, DWORD type, const std::string& data) {
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            0)
      << name;
}

HKEY Create(HKEY root, const std::string& path) {
  HKEY k = nullptr;
  EXPECT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0) << path;
  return k;
}

std::string Export(Root root, const std::string& subkey) {
  std::vector<regfile::Key> keys;
  EXPECT_EQ(regtool::ReadTree(root, subkey, &keys), 0);
  std::string bytes, error;
  EXPECT_TRUE(regfile::WriteRegFile(keys, &bytes, &error)) << error;
  return bytes;
}

void Import(const std::string& bytes) {
  std::vector<regfile::Entry> entries;
  regfile::ParseError error;
  ASSERT_TRUE(regfile::ParseRegFile(bytes, &entries, &error)) << error.line << ": " << error.message;
  int line = 0;
  ASSERT_EQ(regtool::ApplyEntries(entries, &line), 0) << "line " << line;
}

// Text of a file this tool wrote, as UTF-8 with LF, for readable checks.
std::string Text(const std::string& utf16) {
  std::string out;
  for (size_t i = 2; i + 1 < utf16.size(); i += 2) {
    const unsigned u = static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8;
    if (u == '\r') continue;
    out += u < 0x80 ? static_cast<char>(u) : '?';
  }
  return out;
}

class RoundTrip : public SeamTest {};

TEST_F(RoundTrip, EveryKindOfValueComesBackByteForByte) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\RT");
  std::string all_bytes;  // 1..255: holds line breaks, so written as hex(1)
  for (int c = 1; c < 256; ++c) all_bytes += static_cast<char>(c);
  std::string high;  // the code page's upper half without line breaks: written as "text"
  for (int c = 0x80; c < 256; ++c) high += static_cast<char>(c);
  const struct {
    std::string name;
    DWORD type;
    std::string data;
  } values[] = {
      {"", REG_SZ, std::string("default\0", 8)},
      {"binary with zeros", REG_BINARY, std::string("\0\x01\0\xff\0", 5)},
      {"empty string", REG_SZ, std::string(1, '\0')},
      {"no bytes at all", REG_SZ, ""},
      {"not terminated", REG_SZ, "abc"},
      {"inner zero", REG_SZ, std::string("a\0b\0", 4)},
      {"line breaks", REG_SZ, all_bytes + '\0'},
      {"upper half", REG_SZ, high + '\0'},
      {"long text", REG_SZ, std::string(5000, 'x') + '\0'},
      {"long binary", REG_BINARY, all_bytes + all_bytes + all_bytes},
      {"back\\slash \"quotes\" a=b ;semi [br]", REG_SZ, std::string("\\\"\\\\\"\0", 6)},
      {"@", REG_SZ, std::string("not the default\0", 16)},
      {"\x80\xe9\xff name", REG_EXPAND_SZ, std::string("%PATH%\xe9\0", 8)},
      {"multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9)},
      {"dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {"short dword", REG_DWORD, std::string("\x01\x02\x03", 3)},
      {"big endian", REG_DWORD_BIG_ENDIAN, std::string("\x12\x34\x56\x78", 4)},
      {"qword", REG_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8)},
      {"none", REG_NONE, ""},
      {"none with data", REG_NONE, std::string("\0\x05", 2)},
      {"link", REG_LINK, "L\0i\0"},
      {"odd type", 0x12345678u, "?"},
  };
  for (const auto& v : values) Set(k, v.name, v.type, v.data);
  RegCloseKey(k);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\RT\\Empty Key"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\RT\\odd ]name[ \xe9"));
  k = Create(HKEY_CURRENT_USER, "Software\\RT\\A\\B\\C");
  Set(k, "deep", REG_SZ, std::string("x\0", 2));
  RegCloseKey(k);

  const std::string before = tools_test::DumpTree(Root::kCurrentUser, "Software\\RT");
  const std::string file = Export(Root::kCurrentUser, "Software\\RT");
  seam::Reset();
  ASSERT_EQ(tools_test::DumpTree(Root::kCurrentUser, "Software\\RT"), "");
  Import(file);
  EXPECT_EQ(tools_test::DumpTree(Root::kCurrentUser, "Software\\RT"), before);
  EXPECT_EQ(Export(Root::kCurrentUser, "Software\\RT"), file);

  // The forms the values were written in.
  const std::string text = Text(file);
  EXPECT_NE(text.find("\n@=\"default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"@\"=\"not the default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"empty string\"=\"\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"no bytes at all\"=hex(1):\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"not terminated\"=hex(1):61,00,62,00,63,00\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"back\\\\slash \\\"quotes\\\" a=b ;semi [br]\"=\"\\\\\\\"\\\\\\\\\\\"\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n\"dword\"=dword:12345678\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"short dword\"=hex(4):01,02,03\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"qword\"=hex(b):01,00,00,00,00,00,00,80\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"none\"=hex(0):\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"odd type\"=hex(12345678):3f\n"), std::string::npos);
  EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\RT\\Empty Key]\n\n"), std::string::npos);
}

// A whole root, HKEY_CLASSES_ROOT's view included, goes and comes back.
TEST_F(RoundTrip, WholeRoots) {
  HKEY k = Create(HKEY_CLASSES_ROOT, ".xyz");
  Set(k, "", REG_SZ, std::string("xyzfile\0", 8));
  RegCloseKey(k);
  k = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor");
  Set(k, "v", REG_DWORD, std::string(4, '\0'));
  RegCloseKey(k);
  const std::string machine = tools_test::DumpTree(Root::kLocalMachine, "");
  const std::string lm = Export(Root::kLocalMachine, "");
  const std::string cr = Export(Root::kClassesRoot, "");
  EXPECT_EQ(Text(cr).find("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT]\n\n"
                          "[HKEY_CLASSES_ROOT\\.xyz]\n@=\"xyzfile\"\n"),
            0u)
      << Text(cr);
  seam::Reset();
  Import(cr);
  EXPECT_EQ(tools_test::DumpTree(Root::kLocalMachine, "SOFTWARE\\Classes\\.xyz"),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.xyz]\n  \"\" type 1: 78 79 7a 66 69 6c 65 00\n");
  seam::Reset();
  Import(lm);
  EXPECT_EQ(tools_test::DumpTree(Root::kLocalMachine, ""), machine);
}

TEST_F(RoundTrip, LayoutIsTheRegistryEditors) {
  regfile::Key key;
  key.path = "HKEY_CURRENT_USER\\W";
  key.values.push_back({"b", REG_BINARY, std::string(60, '\x11')});
  std::string bytes, error;
  ASSERT_TRUE(regfile::WriteRegFile({key}, &bytes, &error));
  ASSERT_EQ(bytes.compare(0, 2, "\xFF\xFE"), 0);
  // CRLF everywhere, never a lone LF.
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == '\n' && bytes[i + 1] == 0) {
      EXPECT_EQ(bytes[i - 2], '\r') << i;
    }
  }
  const std::string b3 = "11,";
  std::string row;
  for (int i = 0; i < 25; ++i) row += b3;
  EXPECT_EQ(Text(bytes),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\W]\n"
            "\"b\"=hex:" + row.substr(0, 23 * 3) + "\\\n"
            "  " + row + "\\\n"
            "  " + row.substr(0, 12 * 3 - 1) + "\n\n");
}

TEST_F(RoundTrip, NamesWithLineBreaksAreRefused) {
  regfile::Key key;
  key.path = "HKEY_CURRENT_USER\\W";
  key.values.push_back({"two\nlines", REG_SZ, std::string(1, '\0')});
  std::string bytes, error;
  EXPECT_FALSE(regfile::WriteRegFile({key}, &bytes, &error));
  EXPECT_NE(error.find("line break"), std::string::npos);
  key.values.clear();
  key.path += "\\a\rb";
  EXPECT_FALSE(regfile::WriteRegFile({key}, &bytes, &error));
}

}  // namespace
