#include "process_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "install_fixtures.h"

extern char** environ;

namespace reliability {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/quillon-rel-XXXXXX";
  if (mkdtemp(&templ[0]) == nullptr) std::abort();
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only folders made by a test must not keep their content alive.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(path_, ec);  // never follows links
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

pid_t Start(const std::vector<std::string>& argv_in, const std::vector<Env>& env_in, const std::string& out,
            const std::string& err) {
  std::vector<std::string> args = argv_in;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env_s;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "WINHOST_", 8) != 0) env_s.push_back(*e);
  }
  for (const Env& e : env_in) env_s.push_back(e.name + "=" + e.value);
  std::vector<char*> env;
  for (std::string& e : env_s) env.push_back(&e[0]);
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.empty() ? "/dev/null" : out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.empty() ? "/dev/null" : err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int Wait(pid_t pid) {
  if (pid <= 0) return -1;
  int status = 0;
  pid_t got;
  while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (got != pid) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

Result RunProgram(const std::vector<std::string>& argv, const std::vector<Env>& env, const std::string& scratch) {
  const std::string out = scratch + "/run.stdout", err = scratch + "/run.stderr";
  Result r;
  r.exit_code = Wait(Start(argv, env, out, err));
  r.out = ReadBytes(out);
  r.err = ReadBytes(err);
  unlink(out.c_str());
  unlink(err.c_str());
  return r;
}

std::vector<Env> RegistryEnv(const std::string& registry) {
  return {{"WINHOST_REGISTRY", registry}, {"WINHOST_ANSWERS", kAllYes}};
}

}  // namespace reliability
