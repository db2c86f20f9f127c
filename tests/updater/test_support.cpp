#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

constexpr auto kBound = std::chrono::seconds(60);

void RemoveTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    ::chmod(path.c_str(), 0755);
    for (const std::string& name : ListDir(path)) RemoveTree(path + "/" + name);
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/updater-test-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  path_ = made ? made : "";
}

TempDir::~TempDir() {
  if (!path_.empty()) RemoveTree(path_);
}

void WriteFile(const std::string& path, const std::string& content, unsigned mode) {
  ::unlink(path.c_str());
  std::ofstream(path, std::ios::binary) << content;
  ::chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

unsigned ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
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
  WriteFile(path,
            "#!/bin/sh\n"
            "printf '%s\\n' '" + tag + "' \"$0\" \"$@\" > '" + marker + ".part' && mv '" + marker + ".part' '" +
                marker + "'\n",
            0755);
}

bool WaitForFile(const std::string& path) {
  const auto end = std::chrono::steady_clock::now() + kBound;
  while (!Exists(path)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
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
