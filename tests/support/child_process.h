// Running programs as child processes: started directly (no shell), waited
// for, their exit code and output collected.
#ifndef QUILLON_TESTS_SUPPORT_CHILD_PROCESS_H
#define QUILLON_TESTS_SUPPORT_CHILD_PROCESS_H

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace testsupport {

struct Env {
  std::string name;
  std::string value;
};

// Starts a program with the test's environment less every WINHOST_*
// variable, plus `env`; stdin is /dev/null, stdout and stderr go to the given
// files ("" for /dev/null). Returns the pid, or -1.
pid_t Start(const std::vector<std::string>& argv, const std::vector<Env>& env, const std::string& out = "",
            const std::string& err = "");

// Waits for a child; its exit code, 128 + the signal that ended it, or -1.
int Wait(pid_t pid);

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
};
// Start + Wait, with stdout and stderr captured through files in `scratch`.
Result RunProgram(const std::vector<std::string>& argv, const std::vector<Env>& env, const std::string& scratch);

// Waits until every child process of this process has ended.
inline void WaitForAllChildren() {
  int status = 0;
  while (waitpid(-1, &status, 0) > 0 || errno == EINTR) {
  }
}

// Runs `body` in a forked child that has no controlling terminal and no
// standard input, and returns its exit code (-1 when it did not exit).
template <typename Body>
int RunWithoutTerminal(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testsupport

#endif  // QUILLON_TESTS_SUPPORT_CHILD_PROCESS_H
