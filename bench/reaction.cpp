// How soon an updater reacts to the end of the process it waits for: from the
// moment that process ends to the moment the started command runs.
//
// Each run forks the awaited process (it records its exit time just before
// _exit), starts the updater with its pid, a small new file, a target and the
// stamp program as the command, ends the awaited process and reads the time
// the stamp program wrote. This program is a child subreaper, so the stamp
// program comes back to it to be reaped once the updater has exited.
//
// Usage: reaction pidfd|poll RUNS UPDATER STAMP WORKDIR
//   pidfd: the awaited process ends once the updater holds a pidfd (read from
//          /proc/PID/fd), so the measure starts while it waits.
//   poll:  it ends 50 to 150 ms after the start, at a random phase of a
//          100 ms polling interval.
// Prints "<median ns> <95th percentile ns> <min ns> <max ns>".
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

void SleepNs(long long ns) {
  struct timespec t = {static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
  while (nanosleep(&t, &t) != 0) {
  }
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadNumber(const std::string& path, long long* out) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  const bool ok = std::fscanf(f, "%lld", out) == 1;
  std::fclose(f);
  return ok;
}

// True once the process holds a pidfd, which the updater opens to wait on.
bool HoldsPidfd(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    char link[64];
    const std::string path = dir + "/" + e->d_name;
    const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
    if (n > 0) {
      link[n] = '\0';
      if (std::strstr(link, "pidfd")) found = true;
    }
  }
  closedir(d);
  return found;
}

// The awaited process: waits for a byte on `go`, writes its exit time to
// `report` and ends.
[[noreturn]] void Awaited(int go, int report) {
  char byte;
  while (read(go, &byte, 1) < 0) {
  }
  const long long t = Now();
  (void)!write(report, &t, sizeof t);
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: reaction pidfd|poll RUNS UPDATER STAMP WORKDIR\n");
    return 2;
  }
  const bool pidfdMode = std::strcmp(argv[1], "pidfd") == 0;
  const long runs = std::atol(argv[2]);
  const std::string updater = argv[3];
  const std::string stamp = argv[4];
  const std::string work = argv[5];
  const std::string target = work + "/target.bin";
  const std::string newFile = work + "/new.bin";
  const std::string stampFile = work + "/stamp.txt";
  if (!WriteFile(newFile, std::string(4096, 'n'))) {
    std::fprintf(stderr, "reaction: cannot write in %s\n", work.c_str());
    return 1;
  }
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  std::mt19937_64 random(12345);
  std::vector<long long> delays;
  for (long run = 0; run < runs; ++run) {
    WriteFile(target, "old");
    unlink(stampFile.c_str());
    int go[2], report[2];
    if (pipe2(go, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) return 1;
    const pid_t awaited = fork();
    if (awaited < 0) return 1;
    if (awaited == 0) Awaited(go[0], report[1]);

    const std::string pid = std::to_string(awaited);
    std::vector<std::string> args = {updater, pid, target, newFile, stamp, stampFile};
    std::vector<char*> argvv;
    for (auto& a : args) argvv.push_back(&a[0]);
    argvv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, updater.c_str(), nullptr, nullptr, argvv.data(), environ) != 0) {
      std::fprintf(stderr, "reaction: cannot start %s\n", updater.c_str());
      return 1;
    }
    if (pidfdMode) {
      const long long limit = Now() + 5000000000LL;
      while (!HoldsPidfd(child) && Now() < limit) SleepNs(200000);
      SleepNs(2000000);  // past the open, into the wait
    } else {
      SleepNs(50000000 + static_cast<long long>(random() % 100000000));
    }
    (void)!write(go[1], "x", 1);
    long long exitTime = 0;
    (void)!read(report[0], &exitTime, sizeof exitTime);
    waitpid(awaited, nullptr, 0);
    waitpid(child, nullptr, 0);
    while (waitpid(-1, nullptr, 0) > 0) {
    }  // the stamp program, handed to us when the updater ended
    for (int fd : {go[0], go[1], report[0], report[1]}) close(fd);
    long long startTime = 0;
    if (!ReadNumber(stampFile, &startTime)) {
      std::fprintf(stderr, "reaction: run %ld: the command did not run\n", run);
      return 1;
    }
    delays.push_back(startTime - exitTime);
  }
  std::sort(delays.begin(), delays.end());
  const size_t n = delays.size();
  const size_t p95 = std::min(n - 1, (n * 95 + 99) / 100 - 1);
  std::printf("%lld %lld %lld %lld\n", delays[n / 2], delays[p95], delays.front(), delays.back());
  return 0;
}
