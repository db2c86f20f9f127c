#include <filesystem>
#include <string>
#include <vector>

#include "internal.h"
#include "seam.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "winapi.h"

namespace {

class WinExecTest : public SeamTest {};

TEST_F(WinExecTest, NothingToStartGivesFileNotFound) {
  seam::RecordStarts(false);
  for (const char* line : {"", "   ", "\"\" x", "/nonexistent/program x"}) {
    EXPECT_EQ(WinExec(line, SW_SHOW), 2u) << line;
  }
  EXPECT_EQ(WinExec(nullptr, SW_SHOW), 2u);
  EXPECT_TRUE(seam::Starts().empty());
}

TEST_F(WinExecTest, RecordedStartSplitsTheLineAndMapsTheProgram) {
  seam::SetEnv("WINHOST_DRIVES", "/drives");
  EXPECT_GT(WinExec("\"C:\\Program Files\\Q\\clean.exe\" /all \"a b\"", SW_SHOW), 31u);
  ASSERT_EQ(seam::Starts().size(), 1u);
  EXPECT_EQ(seam::Starts()[0].op, "WinExec");
  EXPECT_EQ(seam::Starts()[0].command_line, "\"C:\\Program Files\\Q\\clean.exe\" /all \"a b\"");
  EXPECT_EQ(seam::Starts()[0].argv,
            (std::vector<std::string>{"/drives/c/Program Files/Q/clean.exe", "/all", "a b"}));
}

TEST_F(WinExecTest, InjectedFailureStartsNothing) {
  seam::Fail("WinExec", "", ERROR_ACCESS_DENIED);
  EXPECT_LE(WinExec("prog", SW_SHOW), 31u);
  EXPECT_TRUE(seam::Starts().empty());
}

// A real start, without a shell: characters a shell would act on reach the
// program as plain text.
TEST_F(WinExecTest, StartsTheProgramWithoutAShell) {
  testsupport::TempDir dir;
  testsupport::WriteNewFile(dir.File("record"), "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/args\"\n",
                            0755);
  seam::RecordStarts(false);
  const std::string line = "\"" + dir.File("record") + "\" \"a;touch " + dir.File("semicolon") + "\" $(touch " +
                           dir.File("substituted") + ") 'q' \"x y\"";
  EXPECT_GT(WinExec(line.c_str(), SW_SHOW), 31u);
  testsupport::WaitForAllChildren();
  EXPECT_EQ(testsupport::ReadBytes(dir.File("args")), "a;touch " + dir.File("semicolon") + '\0' + "$(touch" + '\0' +
                                                         dir.File("substituted") + ")" + '\0' + "'q'" + '\0' + "x y" +
                                                         '\0');
  EXPECT_FALSE(testsupport::Exists(dir.File("semicolon")));
  EXPECT_FALSE(testsupport::Exists(dir.File("substituted")));
}

TEST_F(WinExecTest, StartsAProgramNamedByADrivePath) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.File("c/tools"));
  testsupport::WriteNewFile(dir.File("c/tools/record"),
                            "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/marker\"\n", 0755);
  seam::SetEnv("WINHOST_DRIVES", dir.path());
  seam::RecordStarts(false);
  EXPECT_GT(WinExec("C:\\tools\\record started", SW_SHOW), 31u);
  testsupport::WaitForAllChildren();
  EXPECT_EQ(testsupport::ReadBytes(dir.File("c/tools/marker")), "started");
}

}  // namespace

namespace {

// An unquoted program path with blanks: when the first word names no file,
// the text up to each later blank is tried, and the rest are the arguments.
TEST_F(WinExecTest, UnquotedProgramPathWithBlanksIsFound) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.File("c"));
  testsupport::WriteBytes(dir.File("c/clean up.exe"), "x");
  seam::SetEnv("WINHOST_DRIVES", dir.path());
  EXPECT_GT(WinExec("C:\\clean up.exe /all now", SW_SHOW), 31u);
  EXPECT_GT(WinExec("C:\\missing tool.exe /x", SW_SHOW), 31u);
  ASSERT_EQ(seam::Starts().size(), 2u);
  EXPECT_EQ(seam::Starts()[0].argv, (std::vector<std::string>{dir.File("c/clean up.exe"), "/all", "now"}));
  // Nothing names a file: the first word stays the program, as before.
  EXPECT_EQ(seam::Starts()[1].argv, (std::vector<std::string>{dir.File("c/missing"), "tool.exe", "/x"}));
}

}  // namespace
