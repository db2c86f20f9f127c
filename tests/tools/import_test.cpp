// import as the tool runs it: faults named by line with nothing changed, one
// batch for the whole file, and the deletions.
#include "regfile_parse.h"
#include "reg_cli.h"
#include "reg_keys.h"
#include "seam.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "tools_test_util.h"
#include "winapi.h"

namespace {

using regfile::Root;
using tools_test::DumpAll;

class Import : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    // Something for a faulty import to spoil.
    WriteAndImport(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
        "\"v\"=\"old\"\r\n[HKEY_CURRENT_USER\\Software\\Keep\\Sub]\r\n@=dword:00000007\r\n");
  }

  // Runs "import FILE" in-process; returns the exit code, stderr in *err.
  int WriteAndImport(const std::string& bytes, std::string* err = nullptr) {
    const std::string file = dir_.File("in.reg");
    testsupport::WriteBytes(file, bytes);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int rc = regtool::RunCommandLine({"import", file});
    testing::internal::GetCapturedStdout();
    const std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return rc;
  }

  testsupport::TempDir dir_;
};

// Each file first makes valid changes (line 3 and 4), then holds its fault.
TEST_F(Import, FaultNamesItsLineAndChangesNothing) {
  const struct {
    const char* fault;
    int line;
    const char* message;
  } cases[] = {
      {"\"s\"=\"unterminated", 5, "unterminated"},
      {"\"b\"=hex:01,zz", 5, "bad hex"},
      {"\"b\"=hex:01 02", 5, "bad hex"},
      {"\"b\"=hex:123", 5, "bad hex"},
      {"\"b\"=hex:01,\\\r\n  02,xy", 6, "bad hex"},
      {"\"b\"=hex:01,\\", 5, "past the end"},
      {"\"d\"=dword:123456789", 5, "bad dword"},
      {"\"d\"=dword:", 5, "bad dword"},
      {"\"d\"=dword:12g4", 5, "bad dword"},
      {"\"u\"=foo:12", 5, "unknown value type"},
      {"\"u\"=hex(zz):00", 5, "unknown value type"},
      {"\"u\"=hex(2:00", 5, "unknown value type"},
      {"\"u\"=", 5, "missing value data"},
      {"\"u\" \"x\"", 5, "expected \"=\""},
      {"\"s\"=\"x\" junk", 5, "unexpected text"},
      {"stray text", 5, "unexpected text"},
      {"[HKEY_NOWHERE\\Software\\X]", 5, "unknown root key"},
      {"[HKEY_CURRENT_USER\\a\\\\b]", 5, "empty key name"},
      {"[HKEY_CURRENT_USER\\Software\\X", 5, "closing \"]\""},
      {"[HKEY_CURRENT_USER\\Software\\X] junk", 5, "unexpected text"},
      {"[-HKEY_CURRENT_USER]", 5, "root key cannot be deleted"},
      {"[-HKEY_CURRENT_USER\\Software\\Keep]\r\n\"v\"=\"new\"", 6, "[-KEY]"},
  };
  const std::string before = DumpAll();
  for (const auto& c : cases) {
    std::string err;
    const std::string file = std::string("Windows Registry Editor Version 5.00\r\n\r\n") +
                             "[HKEY_CURRENT_USER\\Software\\Keep]\r\n\"v\"=\"new\"\r\n" + c.fault + "\r\n";
    EXPECT_EQ(WriteAndImport(file, &err), 1) << c.fault;
    EXPECT_NE(err.find("in.reg:" + std::to_string(c.line) + ": "), std::string::npos) << c.fault << ": " << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.fault << ": " << err;
    EXPECT_EQ(DumpAll(), before) << c.fault;
  }
  // Faults that come before any key can be opened.
  const struct {
    const char* file;
    int line;
    const char* message;
  } early[] = {
      {"Windows Registry Editor Version 5.00\r\n\"v\"=\"x\"\r\n", 2, "before any [KEY]"},
      {"Windows Registry Editor Version 4.00\r\n[HKEY_CURRENT_USER\\X]\r\n", 1, "not a registry file"},
      {"", 1, "empty file"},
  };
  for (const auto& c : early) {
    std::string err;
    EXPECT_EQ(WriteAndImport(c.file, &err), 1) << c.file;
    EXPECT_NE(err.find("in.reg:" + std::to_string(c.line) + ": "), std::string::npos) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(DumpAll(), before);
  }
}

// A registry call that fails half-way undoes the calls before it.
TEST_F(Import, FailedWriteRollsBackTheWholeFile) {
  const std::string before = DumpAll();
  seam::Fail("RegSetValueExA", "\\third", ERROR_ACCESS_DENIED);
  const std::string file =
      "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Keep]\r\n"
      "[HKEY_CURRENT_USER\\Software\\New]\r\n\"first\"=\"1\"\r\n\"second\"=\"2\"\r\n\"third\"=\"3\"\r\n";
  std::string err;
  EXPECT_EQ(WriteAndImport(file, &err), 1);
  EXPECT_NE(err.find("in.reg:7: "), std::string::npos) << err;
  EXPECT_NE(err.find("access denied"), std::string::npos) << err;
  EXPECT_EQ(DumpAll(), before);
}

// While the registry already fails to write, nothing is half done either.
TEST_F(Import, DyingRegistryLeavesItAsItWas) {
  const std::string before = DumpAll();
  seam::DieAfterWrites(2);
  const std::string file =
      "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Software\\Keep]\r\n\"a\"=\"1\"\r\n"
      "\"b\"=\"2\"\r\n\"c\"=\"3\"\r\n";
  EXPECT_EQ(WriteAndImport(file), 1);
  seam::DieAfterWrites(-1);
  EXPECT_EQ(DumpAll(), before);
}

TEST_F(Import, DeletesKeysWithTheirSubtreesAndValues) {
  std::string err;
  ASSERT_EQ(WriteAndImport("Windows Registry Editor Version 5.00\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Keep\\Sub\\Deeper\\Deepest]\r\n\"z\"=\"1\"\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=\"1\"\r\n\"y\"=\"2\"\r\n",
                           &err),
            0)
      << err;
  ASSERT_EQ(WriteAndImport("Windows Registry Editor Version 5.00\r\n"
                           "[-HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                           "[-HKEY_CURRENT_USER\\Software\\NotThere]\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=-\r\n\"missing\"=-\r\n",
                           &err),
            0)
      << err;
  EXPECT_EQ(tools_test::DumpTree(Root::kCurrentUser, "Software\\Keep"), "");
  EXPECT_EQ(tools_test::DumpTree(Root::kCurrentUser, "Software\\Other"),
            "[HKEY_CURRENT_USER\\Software\\Other]\n  \"y\" type 1: 32 00\n");
}

}  // namespace
