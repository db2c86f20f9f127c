// The updater's pass in this process, with the test seam recording what it
// asks of the platform and starts recorded instead of performed.
#include <unistd.h>

#include <string>
#include <vector>

#include "seam.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "test_support.h"
#include "update_pass.h"
#include "winapi.h"

namespace {

class UpdatePass : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    testsupport::WriteNewFile(target, "old", 0755);
    testsupport::WriteNewFile(newFile, "new", 0755);
  }

  std::vector<std::string> Ops() const {
    std::vector<std::string> ops;
    for (const seam::Call& c : seam::Calls()) ops.push_back(c.first);
    return ops;
  }
  int CopyCalls() const {
    int n = 0;
    for (const seam::Call& c : seam::Calls()) n += c.first == "CopyFileA";
    return n;
  }
  std::vector<std::string> StartedLines() const {
    std::vector<std::string> lines;
    for (const seam::Start& s : seam::Starts()) lines.push_back(s.command_line);
    return lines;
  }

  testsupport::TempDir dir;
  std::string target = dir.File("target");
  std::string newFile = dir.File("new");
};

TEST_F(UpdatePass, CallsInOrderAndStartsTheTarget) {
  RunUpdate("0 " + target + " " + newFile);
  EXPECT_EQ(Ops(), (std::vector<std::string>{"GetStartupInfoA", "OpenProcess", "CopyFileA", "CreateProcessA",
                                             "CloseHandle", "CloseHandle"}));
  EXPECT_EQ(seam::Calls()[1].second, "0");
  EXPECT_EQ(seam::Calls()[2].second, target);
  EXPECT_EQ(testsupport::ReadBytes(target), "new");
  EXPECT_EQ(StartedLines(), std::vector<std::string>{target});
}

TEST_F(UpdatePass, WaitsForAProcessThatCanBeOpened) {
  // This test's own process is running: the wait would never end, so an
  // injected failure ends it at once.
  seam::Fail("WaitForSingleObject", "", ERROR_INVALID_HANDLE);
  RunUpdate(std::to_string(::getpid()) + " " + target + " " + newFile);
  const std::vector<std::string> ops = Ops();
  ASSERT_GE(ops.size(), 4u);
  EXPECT_EQ(ops[1], "OpenProcess");
  EXPECT_EQ(ops[2], "WaitForSingleObject");
  EXPECT_EQ(ops[3], "CloseHandle");
  EXPECT_EQ(seam::Calls()[2].second, std::to_string(::getpid()));
}

TEST_F(UpdatePass, RefusedCopyIsTriedAgainUntilItPasses) {
  for (long error : {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}) {
    SCOPED_TRACE(error);
    seam::Reset();
    testsupport::WriteNewFile(target, "old", 0755);
    // Each failure counts only the calls that reach it: the first two fail.
    seam::Fail("CopyFileA", "", error, 1);
    seam::Fail("CopyFileA", "", error, 1);
    RunUpdate("0 " + target + " " + newFile);
    EXPECT_EQ(CopyCalls(), 3);
    EXPECT_EQ(testsupport::ReadBytes(target), "new");
    EXPECT_EQ(StartedLines(), std::vector<std::string>{target});
  }
}

TEST_F(UpdatePass, TargetThatStaysLockedIsGivenUpAndStillStarted) {
  seam::Fail("CopyFileA", "", ERROR_SHARING_VIOLATION);
  RunUpdate("0 " + target + " " + newFile + " " + target + " /again");
  EXPECT_EQ(CopyCalls(), kCopyAttempts);
  EXPECT_EQ(testsupport::ReadBytes(target), "old");
  EXPECT_EQ(StartedLines(), std::vector<std::string>{target + " /again"});
}

TEST_F(UpdatePass, OtherCopyFailuresAreNotRetried) {
  // A missing new file (the real call's answer), and a full disk.
  RunUpdate("0 " + target + " " + dir.File("missing"));
  EXPECT_EQ(CopyCalls(), 1);
  seam::ClearCalls();
  seam::Fail("CopyFileA", "", ERROR_DISK_FULL);
  RunUpdate("0 " + target + " " + newFile);
  EXPECT_EQ(CopyCalls(), 1);
  EXPECT_EQ(testsupport::ReadBytes(target), "old");
  EXPECT_EQ(StartedLines(), (std::vector<std::string>{target, target}));
}

TEST_F(UpdatePass, NoPositionDoesNothing) {
  for (const char* line : {"", " ", ",", " ,, , "}) {
    SCOPED_TRACE(line);
    RunUpdate(line);
    EXPECT_TRUE(seam::Calls().empty());
  }
}

TEST_F(UpdatePass, WithoutANewFileNothingIsWaitedForCopiedOrStarted) {
  // This test's own process never ends while it runs: a wait for it would
  // hang, so the injected failure only keeps a wrong pass from hanging.
  seam::Fail("WaitForSingleObject", "", ERROR_INVALID_HANDLE);
  const std::string self = std::to_string(::getpid());
  for (const std::string& line : {std::string("0"), "0 " + target, "0 " + target + " ,, ", self,
                                  self + " " + target, self + "," + target + ",,"}) {
    SCOPED_TRACE(line);
    seam::ClearCalls();
    RunUpdate(line);
    EXPECT_TRUE(Ops().empty());
  }
  EXPECT_EQ(testsupport::ReadBytes(target), "old");
  EXPECT_TRUE(seam::Starts().empty());
}

TEST_F(UpdatePass, CommandIsHandedOnWholeAndUnchanged) {
  const std::string command = "  " + target + " a,b  c " + std::string(70000, 'x');
  RunUpdate("0," + target + "," + newFile + "," + command);
  EXPECT_EQ(StartedLines(), std::vector<std::string>{command});
}

}  // namespace
