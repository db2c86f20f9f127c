// A private temporary folder for one test, removed with everything in it.
#ifndef QUILLON_TESTS_BASICS_TEMP_DIR_H
#define QUILLON_TESTS_BASICS_TEMP_DIR_H

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/basics_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made ? made : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return path + "/" + name; }

  // Writes a file; `executable` makes it a script that can be started.
  void Write(const std::string& name, const std::string& content, bool executable = false) const {
    std::ofstream(File(name), std::ios::binary) << content;
    if (executable) chmod(File(name).c_str(), 0755);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  bool Exists(const std::string& name) const { return access(File(name).c_str(), F_OK) == 0; }
};

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

#endif  // QUILLON_TESTS_BASICS_TEMP_DIR_H
