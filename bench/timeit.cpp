// Wall time of commands, started with posix_spawnp and waited for, so that the
// figures carry no shell of their own.
//
// Usage: timeit seq CMD ARGS... [';;' CMD ARGS...]...
//          runs the commands once, one after the other; prints the ns of all.
//        timeit each N CMD ARGS... [';;' CMD ARGS...]...
//          runs each command N times, round-robin so that a slow spell of the
//          machine hits all alike; prints the median ns of each, in order.
// A command that fails (not exit code 0) makes timeit fail, unless the
// command is prefixed with '!' (its exit code is then ignored).
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::vector<char*> argv;
  bool ignoreStatus = false;
};

long long Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

bool Run(const Command& c) {
  // The commands' output goes to stderr: stdout carries the figures alone.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, c.argv[0], &actions, nullptr, c.argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "timeit: cannot start %s\n", c.argv[0]);
    return false;
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  if (c.ignoreStatus) return true;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "timeit: %s failed (status %d)\n", c.argv[0], status);
    return false;
  }
  return true;
}

std::vector<Command> Parse(int argc, char** argv) {
  std::vector<Command> commands(1);
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], ";;") == 0) {
      commands.emplace_back();
      continue;
    }
    Command& c = commands.back();
    char* arg = argv[i];
    if (c.argv.empty() && arg[0] == '!') {
      c.ignoreStatus = true;
      ++arg;
    }
    c.argv.push_back(arg);
  }
  for (Command& c : commands) c.argv.push_back(nullptr);
  return commands;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: timeit seq CMD... | timeit each N CMD... [';;' CMD...]\n");
    return 2;
  }
  if (std::strcmp(argv[1], "seq") == 0) {
    const std::vector<Command> commands = Parse(argc - 2, argv + 2);
    const long long start = Now();
    for (const Command& c : commands) {
      if (!Run(c)) return 1;
    }
    std::printf("%lld\n", Now() - start);
    return 0;
  }
  if (std::strcmp(argv[1], "each") == 0 && argc >= 4) {
    const long reps = std::atol(argv[2]);
    if (reps <= 0) return 2;
    const std::vector<Command> commands = Parse(argc - 3, argv + 3);
    std::vector<std::vector<long long>> times(commands.size());
    for (long r = 0; r < reps; ++r) {
      for (size_t i = 0; i < commands.size(); ++i) {
        const long long start = Now();
        if (!Run(commands[i])) return 1;
        times[i].push_back(Now() - start);
      }
    }
    for (size_t i = 0; i < commands.size(); ++i) {
      std::vector<long long>& t = times[i];
      std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
      std::printf("%s%lld", i ? " " : "", t[t.size() / 2]);
    }
    std::printf("\n");
    return 0;
  }
  std::fprintf(stderr, "timeit: unknown mode %s\n", argv[1]);
  return 2;
}
