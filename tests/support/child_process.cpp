#include "child_process.h"

#include <spawn.h>

#include <cstring>

#include "file_bytes.h"

extern char** environ;

namespace testsupport {

pid_t Start(const std::vector<std::string>& argv_in, const std::vector<Env>& env_in, const std::string& out,
            const std::string& err) {
  std::vector<std::string> args = argv_in;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  // The test's own WINHOST_* settings belong to the seam, not to the child.
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

}  // namespace testsupport
