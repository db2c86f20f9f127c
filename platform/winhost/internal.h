// Pieces shared by the parts of winhost; not part of its Win32-shaped outside.
#ifndef QUILLON_WINHOST_INTERNAL_H
#define QUILLON_WINHOST_INTERNAL_H

#include <string>
#include <vector>

#include "hooks.h"
#include "winapi.h"

namespace winhost {

// The Windows error code for an errno value.
DWORD ErrorFromErrno(int err);

// The value of an environment variable, or "" when it is unset.
std::string GetEnv(const char* name);

// Maps a Windows path to a host path: backslashes become slashes, and a
// drive-letter path "X:\rest" lands below $WINHOST_DRIVES/x (default
// ${XDG_DATA_HOME:-$HOME/.local/share}/winhost/drives/x). Other paths keep
// their place ("\tmp\a" is /tmp/a; relative paths stay relative).
std::string HostPath(const std::string& windows_path);

// The folder that holds one folder per drive letter.
std::string DrivesRoot();

// Splits a command line into arguments by the rules of the Windows C runtime:
// the program name ends at the next blank or tab (or the closing quote when
// it starts with a quote, without any backslash processing); the other
// arguments are separated by blanks and tabs, quotes group, 2n backslashes
// before a quote give n and the quote toggles grouping, 2n+1 give n and a
// literal quote, "" inside a group is a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// Starts a command line as a new process, split by SplitCommandLine, with
// posix_spawnp and never through a shell; the program name is mapped with
// HostPath when it is a Windows path. Does not wait. The test seam's
// start_process hook, when set, receives the start instead. Returns 0 or the
// Windows error; *pid (optional) gets the child's pid, or 0 when the seam took
// the start.
DWORD StartProcess(const char* op, const std::string& command_line, int* pid);

// Files: what a search or GetFileAttributesA reports for one entry, read
// with lstat (a symbolic link is never followed).
struct FileInfo {
  DWORD attributes = 0;
  uint64_t size = 0;
  FILETIME creation = {0, 0};
  FILETIME access = {0, 0};
  FILETIME write = {0, 0};
};

// A Windows file path mapped with HostPath, trailing separators dropped (the
// host root "/" stays). *trailing tells whether there were any.
std::string FileHostPath(const std::string& windows_path, bool* trailing);

// Reads the entry at a host path; `name` is its last component as the caller
// sees it (a name starting with a dot reads as hidden, "." and ".." do not).
// 0 or the Windows error: 2 for a missing entry, 3 for a missing folder above.
DWORD ReadFileInfo(const std::string& host_path, const std::string& name, FileInfo* info);

// Handle counts of the parts of winhost, summed by OpenHandleCount().
// Their handle values must not meet: registry keys are 0x1000 + 4 * n,
// process and thread handles 0x40000000 + 4 * n.
int RegistryHandleCount();
int FindHandleCount();
int ProcessHandleCount();

// The parts of ResetEnvironment().
void ResetAnswers();
void ResetCodePage();

// The registry's part of ResetRegistry().
void CloseRegistryDatabase();

// The SQL of the registry's prepared statements, so that tests can check that
// every one of them is served by an index.
std::vector<std::string> RegistryStatementSql();

}  // namespace winhost

#endif  // QUILLON_WINHOST_INTERNAL_H
