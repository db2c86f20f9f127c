// winhost-reg as a process on a registry file of its own: exit codes, the
// messages on stderr, and what query prints.
#include <gtest/gtest.h>

#include "cli_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "tools_test_util.h"

namespace {

using tools_test::RunResult;

class Cli : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args) { return Run(registry_, args); }
  RunResult Run(const std::string& registry, const std::vector<std::string>& args) {
    return tools_test::RunTool(registry, dir_.path(), args);
  }
  // Runs a command that must succeed.
  void Ok(const std::vector<std::string>& args) {
    const RunResult r = Run(args);
    ASSERT_EQ(r.exit_code, 0) << args[0] << ": " << r.err;
    EXPECT_EQ(r.err, "");
  }
  // Runs a command that must fail with `message` on stderr.
  void Refused(const std::vector<std::string>& args, const std::string& message) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, 1) << args[0];
    EXPECT_EQ(r.err.find("winhost-reg: ERROR: "), 0u) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }

  testsupport::TempDir dir_;
  std::string registry_ = dir_.File("registry.db");
};

TEST_F(Cli, AddThenQueryPrintsInTheRegLayout) {
  Ok({"add", "HKCU\\Software\\Tool", "/ve", "/d", "default text"});
  Ok({"add", "hkey_current_user\\software\\tool", "/v", "Count", "/t", "REG_DWORD", "/d", "0x2A"});
  Ok({"add", "HKCU\\Software\\Tool", "/v", "List", "/t", "reg_multi_sz", "/d", "a,b", "/s", ","});
  Ok({"add", "HKCU\\Software\\Tool", "/v", "Bytes", "/t", "REG_BINARY", "/d", "00ff7f"});
  Ok({"add", "HKCU\\Software\\Tool", "/v", "Big", "-t", "REG_QWORD", "-d", "4294967296"});
  Ok({"add", "HKCU\\Software\\Tool", "/v", "Caf\xC3\xA9", "/d", "\xE2\x82\xAC"});
  Ok({"add", "HKCU\\Software\\Tool\\Child"});
  RunResult r = Run({"query", "HKCU\\SOFTWARE\\TOOL"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "\nHKEY_CURRENT_USER\\Software\\Tool\n"
            "    (Default)    REG_SZ    default text\n"
            "    Count    REG_DWORD    0x2a\n"
            "    List    REG_MULTI_SZ    a\\0b\n"
            "    Bytes    REG_BINARY    00FF7F\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Caf\xC3\xA9    REG_SZ    \xE2\x82\xAC\n"
            "\nHKEY_CURRENT_USER\\Software\\Tool\\Child\n");
  Ok({"add", "HKCU\\Software\\Tool\\Child", "/v", "x", "/d", "1"});
  r = Run({"query", "HKCU\\Software\\Tool", "/v", "x", "/s"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\\Child\n    x    REG_SZ    1\n\n");
  r = Run({"query", "HKCU\\Software\\Tool", "/ve"});
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n    (Default)    REG_SZ    default text\n\n");
}

TEST_F(Cli, ErrorsGoToStderrWithExitCodeOne) {
  Ok({"add", "HKLM\\Software\\Tool", "/v", "v", "/d", "old"});
  Refused({"query", "HKLM\\Software\\Missing"}, "does not exist");
  Refused({"query", "HKLM\\Software\\Tool", "/v", "nope"}, "\"nope\" does not exist");
  Refused({"query", "HKLM\\Software\\Tool", "/ve"}, "(Default) does not exist");
  Refused({"query", "HKEY_NOWHERE\\x"}, "unknown root key");
  Refused({"query", "HKLM\\a\\\\b"}, "empty key name");
  Refused({"query", "\\\\server\\HKLM\\x"}, "remote");
  Refused({"query"}, "one KEY");
  Refused({"frobnicate"}, "unknown command");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "v", "/d", "new"}, "/f overwrites");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "d", "/t", "REG_DWORD", "/d", "4294967296"}, "bad REG_DWORD");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "d", "/t", "REG_DWORD", "/d", "-1"}, "bad REG_DWORD");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "b", "/t", "REG_BINARY", "/d", "abc"}, "even number");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, "empty string");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "t", "/t", "REG_WHATEVER"}, "unknown type");
  Refused({"add", "HKLM\\Software\\Tool", "/d", "x"}, "need /v NAME or /ve");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "x", "/d"}, "needs a value");
  Refused({"add", "HKLM\\Software\\Tool", "/v", "\xE4\xB8\xAD"}, "ANSI code page");
  Refused({"delete", "HKLM\\Software\\Tool"}, "add /f");
  Refused({"delete", "HKLM\\Software\\Tool", "/v", "nope", "/f"}, "does not exist");
  Refused({"delete", "HKLM", "/f"}, "root key cannot be deleted");
  Refused({"import", dir_.File("missing.reg")}, "cannot open");
  // Nothing of the refused commands reached the registry.
  const RunResult r = Run({"query", "HKLM\\Software\\Tool"});
  EXPECT_EQ(r.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Tool\n    v    REG_SZ    old\n\n");  // as first spelt
  Ok({"add", "HKLM\\Software\\Tool", "/v", "v", "/d", "new", "/f"});
  EXPECT_NE(Run({"query", "HKLM\\Software\\Tool", "/v", "v"}).out.find("REG_SZ    new"), std::string::npos);
}

TEST_F(Cli, DeleteRemovesValuesAndWholeSubtrees) {
  Ok({"add", "HKCU\\Software\\Del\\A\\B\\C", "/v", "deep", "/d", "1"});
  Ok({"add", "HKCU\\Software\\Del", "/v", "one", "/d", "1"});
  Ok({"add", "HKCU\\Software\\Del", "/v", "two", "/d", "2"});
  Ok({"add", "HKCU\\Software\\Del", "/ve", "/d", "3"});
  Ok({"delete", "HKCU\\Software\\Del", "/v", "one", "/f"});
  EXPECT_EQ(Run({"query", "HKCU\\Software\\Del", "/v", "one"}).exit_code, 1);
  Ok({"delete", "HKCU\\Software\\Del", "/va", "/f"});
  EXPECT_EQ(Run({"query", "HKCU\\Software\\Del"}).out,
            "\nHKEY_CURRENT_USER\\Software\\Del\n\nHKEY_CURRENT_USER\\Software\\Del\\A\n");
  Ok({"delete", "HKCU\\Software\\Del", "/f"});
  EXPECT_EQ(Run({"query", "HKCU\\Software\\Del"}).exit_code, 1);
  EXPECT_EQ(Run({"query", "HKCU\\Software"}).exit_code, 0);
}

TEST_F(Cli, ImportFaultNamesTheLineAndChangesNothing) {
  Ok({"add", "HKCU\\Software\\Imp", "/v", "v", "/d", "old"});
  const std::string file = dir_.File("bad.reg");
  testsupport::WriteBytes(file, tools_test::Utf16WithBom("Windows Registry Editor Version 5.00\r\n\r\n"
                                                        "[HKEY_CURRENT_USER\\Software\\Imp]\r\n"
                                                        "\"v\"=\"new\"\r\n"
                                                        "\"w\"=dword:xyz\r\n"));
  Refused({"import", file}, file + ":5: bad dword");
  EXPECT_EQ(Run({"query", "HKCU\\Software\\Imp"}).out, "\nHKEY_CURRENT_USER\\Software\\Imp\n    v    REG_SZ    old\n\n");
}

TEST_F(Cli, ExportAndImportBetweenRegistryFiles) {
  Ok({"add", "HKCU\\Software\\Move\\Sub", "/v", "s", "/d", "text"});
  Ok({"add", "HKCU\\Software\\Move", "/v", "n", "/t", "REG_NONE"});
  const std::string file = dir_.File("move.reg");
  Ok({"export", "HKCU\\Software\\Move", file});
  const std::string exported = testsupport::ReadBytes(file);
  Refused({"export", "HKCU\\Software\\Move", file}, "/y overwrites");
  EXPECT_EQ(testsupport::ReadBytes(file), exported);
  Ok({"export", "HKCU\\Software\\Move", file, "/y"});
  Refused({"export", "HKCU\\Software\\Missing", dir_.File("none.reg")}, "does not exist");

  const std::string other = dir_.File("other.db");
  RunResult r = Run(other, {"import", file});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "The operation completed successfully.\n");
  EXPECT_EQ(Run(other, {"query", "HKCU\\Software\\Move", "/s"}).out,
            Run({"query", "HKCU\\Software\\Move", "/s"}).out);
  const std::string again = dir_.File("again.reg");
  ASSERT_EQ(Run(other, {"export", "HKCU\\Software\\Move", again}).exit_code, 0);
  EXPECT_EQ(testsupport::ReadBytes(again), exported);
}

}  // namespace
