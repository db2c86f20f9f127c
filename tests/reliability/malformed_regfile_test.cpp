// The built registry tool importing malformed .reg files into a registry
// file: each is refused with its line named, and the registry file stays
// byte for byte as it was, with nothing left beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string(1, c) + '\0';
  return out;
}

// A thousand good lines, then the fault: nothing of the good ones may stay.
std::string ManyThen(const std::string& fault) {
  std::string s = kHeader + "[HKEY_CURRENT_USER\\Software\\Imported]\r\n";
  for (int i = 0; i < 1000; ++i) s += "\"v" + std::to_string(i) + "\"=\"data\"\r\n";
  return s + fault + "\r\n";
}

TEST(MalformedRegFile, RefusedWithItsLineAndNothingChanges) {
  testsupport::TempDir dir;
  const std::string registry = dir.File("registry.db");
  const std::vector<testsupport::Env> env = {{"WINHOST_REGISTRY", registry}};
  ASSERT_EQ(testsupport::RunProgram({WINHOST_REG_PROGRAM, "add", "HKCU\\Software\\Imported", "/v", "kept", "/d",
                                     "old", "/f"},
                                    env, dir.path())
                .exit_code,
            0);
  const std::string before = testsupport::ReadBytes(registry);
  const struct {
    const char* what;
    std::string bytes;
    int line;  // 0: the message names no line
  } cases[] = {
      {"binary garbage", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + std::string(200, '\x90'), 1},
      {"UTF-16 without its byte-order mark",
       Utf16(kHeader + "[HKEY_CURRENT_USER\\A]\r\n").substr(2), 1},
      {"UTF-16 cut inside a character", Utf16(kHeader + "[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n") + "\x41", 5},
      {"UTF-8 cut inside a character", kHeader + "[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"caf\xC3", 4},
      {"a key name longer than 255", kHeader + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n", 3},
      {"a value name longer than 16383",
       kHeader + "[HKEY_CURRENT_USER\\A]\r\n\"" + std::string(16384, 'n') + "\"=\"x\"\r\n", 4},
      {"a megabyte line without its end", kHeader + "[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"" + std::string(1 << 20, 'd'),
       4},
      {"a hex line continued past the end", kHeader + "[HKEY_CURRENT_USER\\A]\r\n\"b\"=hex:01,\\\r\n", 4},
      {"the fault after a thousand good lines", ManyThen("\"last\"=dword:nothex"), 1004},
      {"a deletion of a root after good lines", ManyThen("[-HKEY_LOCAL_MACHINE]"), 1004},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir.File("bad.reg");
    testsupport::WriteBytes(file, c.bytes);
    const testsupport::Result r = testsupport::RunProgram({WINHOST_REG_PROGRAM, "import", file}, env, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.compare(0, 20, "winhost-reg: ERROR: "), 0) << r.err;
    if (c.line > 0) {
      EXPECT_NE(r.err.find(file + ":" + std::to_string(c.line) + ": "), std::string::npos) << r.err;
    }
    EXPECT_LT(r.err.size(), 400u) << "the message is one clear line";
    EXPECT_TRUE(testsupport::ReadBytes(registry) == before) << "the registry file changed";
    for (const char* side : {"-wal", "-shm", "-journal"})
      EXPECT_FALSE(testsupport::Exists(registry + side)) << side;
  }
  // A folder, or a file that cannot be read, in place of the .reg file.
  std::filesystem::create_directory(dir.File("folder.reg"));
  for (const std::string& file : {dir.File("folder.reg")}) {
    const testsupport::Result r = testsupport::RunProgram({WINHOST_REG_PROGRAM, "import", file}, env, dir.path());
    EXPECT_EQ(r.exit_code, 1) << file;
    EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::ReadBytes(registry) == before);
  }
}

}  // namespace
