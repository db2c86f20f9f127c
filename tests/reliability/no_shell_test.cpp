// Commands that the programs start reach their program without any shell:
// the follow-up command of an uninstall and the updater's command, holding
// every character a shell would act on, arrive as literal arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "install_fixtures.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

// A program that writes its arguments, each ended by a zero byte, to "args"
// beside itself, atomically so that a file that exists is complete.
void WriteRecorder(const std::string& path) {
  testsupport::WriteNewFile(path,
                            "#!/bin/sh\n"
                            "d=$(dirname \"$0\")\n"
                            "printf '%s\\0' \"$@\" > \"$d/args.tmp\" && mv \"$d/args.tmp\" \"$d/args\"\n",
                            0755);
}

TEST(NoShell, CommandsArriveLiterally) {
  TempDir dir;
  const std::string recorder = dir.File("rec");
  WriteRecorder(recorder);
  const std::string d = dir.path();
  // Each argument would make a shell create a file in the folder.
  const std::string arguments = "a;touch " + d + "/semicolon |touch" + " " + d + "/pipe $(touch " + d +
                                "/substituted) `touch " + d + "/backquoted` 'single' \"x y\" &&touch";
  const std::string expected = std::string("a;touch\0", 8) + d + "/semicolon" + '\0' + "|touch" + '\0' + d +
                               "/pipe" + '\0' + "$(touch" + '\0' + d + "/substituted)" + '\0' + "`touch" + '\0' +
                               d + "/backquoted`" + '\0' + "'single'" + '\0' + "x y" + '\0' + "&&touch" + '\0';
  const std::string registry = dir.File("registry.db");
  const struct {
    const char* what;
    std::vector<std::string> argv;
  } rows[] = {
      {"follow-up command of the uninstall", {RAVMOSETUP_PROGRAM, "Uninstall \"" + recorder + "\" " + arguments}},
      {"the updater's command",
       {UPDATER_PROGRAM, "0 " + dir.File("target") + " " + dir.File("new") + " \"" + recorder + "\" " + arguments}},
  };
  testsupport::WriteBytes(dir.File("new"), "new");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    unlink(dir.File("args").c_str());
    EXPECT_EQ(testsupport::Wait(testsupport::Start(row.argv, reliability::RegistryEnv(registry))), 0);
    ASSERT_TRUE(testsupport::WaitForFile(dir.File("args")));
    EXPECT_EQ(testsupport::ReadBytes(dir.File("args")), expected);
    for (const char* made : {"semicolon", "pipe", "substituted", "backquoted"})
      EXPECT_FALSE(testsupport::Exists(dir.File(made))) << made;
  }
}

}  // namespace
