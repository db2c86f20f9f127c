// The updater given ids that are no live process of its own choosing: 0,
// negative ones (which as a pid would name a process group or every
// process), 2^31 and above, and a process that has ended. It waits for none
// of them and signals nothing: it returns, and a process of the test that
// such an id could reach stays alive.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

// A child in a process group of its own, which it leads.
pid_t StartGroupLeader() {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  char sleep[] = "/bin/sleep", forever[] = "1000";
  char* argv[] = {sleep, forever, nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, &attr, argv, environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attr);
  return pid;
}

bool Alive(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0 && kill(pid, 0) == 0; }

// Waits a generous bound for the updater; false when it is still waiting.
bool Returns(pid_t pid, int* code) {
  for (int i = 0; i < 3000; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

TEST(UpdaterIds, IdsOfNoProcessAreNeitherWaitedOnNorSignalled) {
  testsupport::TempDir dir;
  const pid_t sentinel = StartGroupLeader();
  ASSERT_GT(sentinel, 0);
  const pid_t ended = testsupport::Start({"/bin/true"}, {});
  ASSERT_EQ(testsupport::Wait(ended), 0);
  const std::string group = std::to_string(-static_cast<long>(sentinel));
  const char* const ids[] = {"0", "-1", "-0", "2147483648", "4294967295", "4294967296", "-2147483648", "99999999999"};
  std::vector<std::string> rows(std::begin(ids), std::end(ids));
  rows.push_back(group);                   // the sentinel's process group
  rows.push_back(std::to_string(ended));   // a process that has ended
  for (const std::string& id : rows) {
    SCOPED_TRACE("id " + id);
    // No new file: nothing is copied or started, only the wait is left.
    const pid_t updater = testsupport::Start({UPDATER_PROGRAM, id + " " + dir.File("target")}, {});
    ASSERT_GT(updater, 0);
    int code = -1;
    EXPECT_TRUE(Returns(updater, &code)) << "the updater waited";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(Alive(sentinel)) << "the sentinel was signalled";
  }
  kill(sentinel, SIGKILL);
  waitpid(sentinel, nullptr, 0);
}

}  // namespace
