#include "test_support.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/file_bytes.h"

extern char** environ;

namespace {

constexpr auto kBound = std::chrono::seconds(60);

}  // namespace

unsigned ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = ::opendir(path.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

void WriteMarkerScript(const std::string& path, const std::string& tag, const std::string& marker) {
  testsupport::WriteNewFile(path,
                            "#!/bin/sh\n"
                            "printf '%s\\n' '" + tag + "' \"$0\" \"$@\" > '" + marker + ".part' && mv '" + marker +
                                ".part' '" + marker + "'\n",
                            0755);
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int WaitChild(pid_t pid) {
  const auto end = std::chrono::steady_clock::now() + kBound;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

pid_t EndedPid() {
  const pid_t pid = Spawn({"/bin/true"});
  WaitChild(pid);
  return pid;
}
