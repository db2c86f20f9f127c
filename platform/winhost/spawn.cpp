// Starting processes: WinExec, and the start shared with CreateProcessA.
#include <spawn.h>
#include <sys/types.h>

#include <cerrno>

#include "internal.h"

extern char** environ;

namespace winhost {

static bool LooksLikeWindowsPath(const std::string& s) {
  return s.find('\\') != std::string::npos ||
         (s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')));
}

DWORD StartProcess(const char* op, const std::string& command_line, int* pid) {
  if (pid) *pid = 0;
  std::vector<std::string> args = SplitCommandLine(command_line);
  if (args.empty() || args[0].empty()) return ERROR_FILE_NOT_FOUND;
  if (LooksLikeWindowsPath(args[0])) args[0] = HostPath(args[0]);
  Hooks& h = GetHooks();
  if (h.start_process) return h.start_process(op, command_line, args) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  const int err = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (err != 0) return ErrorFromErrno(err);
  if (pid) *pid = static_cast<int>(child);
  return ERROR_SUCCESS;
}

}  // namespace winhost

// Returns a value above 31 on success, as Windows does; 2 when the program
// cannot be found (an empty command line included).
extern "C" UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT uCmdShow) {
  const std::string line = lpCmdLine ? lpCmdLine : "";
  const long hooked = winhost::CallHook("WinExec", line);
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return 0;
  }
  const DWORD err = winhost::StartProcess("WinExec", line, nullptr);
  if (err == ERROR_SUCCESS) return 33;
  SetLastError(err);
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return static_cast<UINT>(err);
  return 0;
}
