// Running the built programs as processes on files of a test's own.
#ifndef QUILLON_TESTS_RELIABILITY_PROCESS_SUPPORT_H
#define QUILLON_TESTS_RELIABILITY_PROCESS_SUPPORT_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace reliability {

// A fresh folder below $TMPDIR (or /tmp), removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadBytes(const std::string& path);  // "" when missing
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);  // lstat: a link counts as itself

struct Env {
  std::string name;
  std::string value;
};

// Starts a program directly (no shell) with the test's environment less every
// WINHOST_* variable, plus `env`; stdin is /dev/null, stdout and stderr go to
// the given files ("" for /dev/null). Returns the pid, or -1.
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

// The environment that points the programs at a registry file and answers
// every question with Yes.
std::vector<Env> RegistryEnv(const std::string& registry);

}  // namespace reliability

#endif  // QUILLON_TESTS_RELIABILITY_PROCESS_SUPPORT_H
