#include "cli_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools_test_util.h"

extern char** environ;

namespace tools_test {

RunResult RunTool(const std::string& registry, const std::string& scratch, const std::vector<std::string>& args) {
  RunResult r;
  const std::string out = scratch + "/stdout", err = scratch + "/stderr";
  std::vector<std::string> argv_s{WINHOST_REG_EXE};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_s) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  std::vector<std::string> env_s{"WINHOST_REGISTRY=" + registry};
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "WINHOST_", 8) != 0) env_s.push_back(*e);
  }
  std::vector<char*> env;
  for (std::string& e : env_s) env.push_back(&e[0]);
  env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return r;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  r.out = ReadBytes(out);
  r.err = ReadBytes(err);
  return r;
}

}  // namespace tools_test
