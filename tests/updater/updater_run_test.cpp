// The updater program end to end, on real processes and files. The programs
// it starts are small shell scripts that write a marker with their arguments.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "test_support.h"

namespace {

class UpdaterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    // Whatever the updater starts outlives it and becomes our child, so a
    // test can tell that nothing was started at all.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ::alarm(180);
    while (::waitpid(-1, nullptr, 0) > 0) {
    }
    WriteMarkerScript(target, "old", marker);
    WriteMarkerScript(newFile, "new", marker);
    WriteMarkerScript(command, "cmd", marker);
    oldContent = testsupport::ReadBytes(target);
    newContent = testsupport::ReadBytes(newFile);
  }
  void TearDown() override { ::alarm(0); }

  // Runs the updater with this command line; its exit code, or -1.
  static int Run(const std::string& line) { return ExitCode(WaitChild(Spawn({UPDATER_PROGRAM, line}))); }
  static int ExitCode(int status) { return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

  // Resets the files between rows of a table.
  void Renew() {
    ::unlink(marker.c_str());
    WriteMarkerScript(target, "old", marker);
  }

  static bool NothingStarted() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
  }

  // True once the process is blocked in poll, the updater's wait; false when
  // it ends first.
  static bool BlockedInWait(pid_t pid) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
      const std::string proc = "/proc/" + std::to_string(pid);
      const std::string stat = testsupport::ReadBytes(proc + "/stat");
      const size_t close = stat.rfind(") ");
      if (close == std::string::npos || stat[close + 2] == 'Z' || stat[close + 2] == 'X') return false;
      const std::string text = testsupport::ReadBytes(proc + "/syscall");
      char* rest = nullptr;
      const long nr = std::strtol(text.c_str(), &rest, 10);
      if (rest != text.c_str()) {
        if (nr == SYS_ppoll) return true;
#ifdef SYS_poll
        if (nr == SYS_poll) return true;
#endif
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  testsupport::TempDir dir;
  std::string target = dir.File("target.sh");
  std::string newFile = dir.File("new.sh");
  std::string command = dir.File("cmd.sh");
  std::string marker = dir.File("marker");
  std::string oldContent, newContent;
};

TEST_F(UpdaterRun, CopiesOnlyAfterTheProcessHasEnded) {
  const pid_t awaited = Spawn({"/bin/sleep", "1000"});
  ASSERT_GT(awaited, 0);
  const pid_t updater = Spawn({UPDATER_PROGRAM, std::to_string(awaited) + " " + target + " " + newFile});
  ASSERT_GT(updater, 0);
  const bool waiting = BlockedInWait(updater);
  EXPECT_TRUE(waiting);
  EXPECT_EQ(testsupport::ReadBytes(target), oldContent);
  EXPECT_FALSE(testsupport::Exists(marker));

  ::kill(awaited, SIGKILL);
  WaitChild(awaited);
  EXPECT_EQ(ExitCode(WaitChild(updater)), 0);
  ASSERT_TRUE(testsupport::WaitForFile(marker));
  EXPECT_EQ(testsupport::ReadBytes(marker), "new\n" + target + "\n");
  EXPECT_EQ(testsupport::ReadBytes(target), newContent);
}

TEST_F(UpdaterRun, CopiesAndStartsTheTargetAtOnce) {
  const std::string ended = std::to_string(EndedPid());
  const std::string t = target, n = newFile;
  const struct {
    const char* why;
    std::string line;
  } rows[] = {
      {"a process that has already ended", ended + " " + t + " " + n},
      {"commas", ended + "," + t + "," + n},
      {"two commas", ended + ",," + t + ",," + n},
      {"a blank and a comma", ended + " ," + t + " ," + n},
      {"id 0", "0 " + t + " " + n},
      {"no digits: id 0", "none " + t + " " + n},
      {"one blank after the new file: no command", ended + " " + t + " " + n + " "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    Renew();
    EXPECT_EQ(Run(row.line), 0);
    ASSERT_TRUE(testsupport::WaitForFile(marker));
    EXPECT_EQ(testsupport::ReadBytes(marker), "new\n" + target + "\n") << "the target, its path alone";
    EXPECT_EQ(testsupport::ReadBytes(target), newContent);
    EXPECT_EQ(ModeOf(target), 0755u);
  }
}

TEST_F(UpdaterRun, StartsTheCommandWithItsBlanksAndCommas) {
  const struct {
    const char* why;
    std::string line;
    std::string marked;
  } rows[] = {
      {"options with blanks and commas", "0 " + target + " " + newFile + " " + command + " a,b  c,d",
       "cmd\n" + command + "\na,b\nc,d\n"},
      {"two blanks before the command", "0 " + target + " " + newFile + "  " + command + " x",
       "cmd\n" + command + "\nx\n"},
      {"the target with arguments", "0," + target + "," + newFile + "," + target + " -r",
       "new\n" + target + "\n-r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    Renew();
    EXPECT_EQ(Run(row.line), 0);
    ASSERT_TRUE(testsupport::WaitForFile(marker));
    EXPECT_EQ(testsupport::ReadBytes(marker), row.marked);
    EXPECT_EQ(testsupport::ReadBytes(target), newContent);
  }
}

TEST_F(UpdaterRun, FailedCopyStillStartsTheOldTarget) {
  const struct {
    const char* why;
    std::string source;
    unsigned target_mode;
  } rows[] = {
      {"missing new file", dir.File("missing.sh"), 0755},
      {"read-only target", newFile, 0555},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    Renew();
    ::chmod(target.c_str(), row.target_mode);
    EXPECT_EQ(Run("0 " + target + " " + row.source), 0);
    ASSERT_TRUE(testsupport::WaitForFile(marker));
    EXPECT_EQ(testsupport::ReadBytes(marker), "old\n" + target + "\n");
    EXPECT_EQ(testsupport::ReadBytes(target), oldContent);
    EXPECT_EQ(ModeOf(target), row.target_mode);
  }
}

TEST_F(UpdaterRun, TargetUnwritableForAMomentIsStillReplaced) {
  ::chmod(target.c_str(), 0555);
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, newFile.c_str(), IN_OPEN), 0);
  const pid_t updater = Spawn({UPDATER_PROGRAM, "0 " + target + " " + newFile});
  ASSERT_GT(updater, 0);
  // The first attempt opens the new file, then finds the target read-only;
  // only then does the target become writable again.
  struct pollfd p = {watch, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 60000), 1);
  ::close(watch);
  ::chmod(target.c_str(), 0755);
  EXPECT_EQ(ExitCode(WaitChild(updater)), 0);
  ASSERT_TRUE(testsupport::WaitForFile(marker));
  EXPECT_EQ(testsupport::ReadBytes(marker), "new\n" + target + "\n");
  EXPECT_EQ(testsupport::ReadBytes(target), newContent);
}

TEST_F(UpdaterRun, WithoutANewFileNothingIsCopiedOrStarted) {
  const std::string ended = std::to_string(EndedPid());
  for (const std::string& line :
       {std::string(), std::string(" ,, ,"), "0 " + target, ended + " " + target + " ,, ",
        // This test's own id: a running process, which must not be waited for.
        std::to_string(::getpid()) + " " + target}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line), 0);
    EXPECT_TRUE(NothingStarted());
    EXPECT_FALSE(testsupport::Exists(marker));
    EXPECT_EQ(testsupport::ReadBytes(target), oldContent);
  }
}

}  // namespace
