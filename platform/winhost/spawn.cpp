// Starting processes: WinExec, and the start shared with CreateProcessA.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

#include "internal.h"

extern char** environ;

namespace winhost {

static bool LooksLikeWindowsPath(const std::string& s) {
  return s.find('\\') != std::string::npos ||
         (s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')));
}

static std::string ProgramHostPath(const std::string& name) {
  return LooksLikeWindowsPath(name) ? HostPath(name) : name;
}

static bool IsFile(const std::string& host_path) {
  struct stat st;
  return ::stat(host_path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// An unquoted program path may hold blanks ("C:\Quillon Tools\x.exe now").
// As Windows does, when the first word names no file, the text up to each
// later blank is tried in turn; the first that names a file is the program,
// and what follows it is split into the arguments. args[0] is already the
// first word's host path.
static void JoinBlankedProgramName(const std::string& command_line, std::vector<std::string>& args) {
  size_t start = 0;
  while (start < command_line.size() && (command_line[start] == ' ' || command_line[start] == '\t')) ++start;
  if (start >= command_line.size() || command_line[start] == '"') return;
  if (IsFile(args[0])) return;
  for (size_t end = command_line.find_first_of(" \t", start); end != std::string::npos;) {
    end = command_line.find_first_of(" \t", command_line.find_first_not_of(" \t", end));
    const std::string name = command_line.substr(start, end == std::string::npos ? end : end - start);
    const std::string program = ProgramHostPath(name);
    if (IsFile(program)) {
      // A stand-in first word, so that the rest splits as arguments.
      args = SplitCommandLine("x" + (end == std::string::npos ? std::string() : command_line.substr(end)));
      args[0] = program;
      return;
    }
  }
}

DWORD StartProcess(const char* op, const std::string& command_line, int* pid) {
  if (pid) *pid = 0;
  std::vector<std::string> args = SplitCommandLine(command_line);
  if (args.empty() || args[0].empty()) return ERROR_FILE_NOT_FOUND;
  args[0] = ProgramHostPath(args[0]);
  JoinBlankedProgramName(command_line, args);
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
