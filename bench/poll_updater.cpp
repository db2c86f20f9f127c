// The baseline of the reaction benchmark: an updater that learns of the
// process's end by asking every 100 ms (kill with signal 0), then does the
// same copy and start as the real one.
//
// Usage: poll_updater PID TARGET NEWFILE COMMAND...
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>

#include "update_pass.h"
#include "winapi.h"

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const pid_t pid = static_cast<pid_t>(std::atol(argv[1]));
  if (pid <= 0) return 2;
  Text command;
  for (int i = 4; i < argc; ++i) {
    if (i > 4) command += ' ';
    command += argv[i];
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const struct timespec interval = {0, 100 * 1000 * 1000};
  while (kill(pid, 0) == 0 || errno == EPERM) nanosleep(&interval, nullptr);
  CopyOverTarget(argv[3], argv[2]);
  StartCommand(command, &startup);
  return 0;
}
