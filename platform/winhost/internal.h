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

// Handle counts of the parts of winhost, summed by OpenHandleCount().
int RegistryHandleCount();
int FindHandleCount();
int ProcessHandleCount();

// The parts of ResetEnvironment().
void ResetAnswers();
void ResetCodePage();

// The registry's part of ResetRegistry().
void CloseRegistryDatabase();

}  // namespace winhost

#endif  // QUILLON_WINHOST_INTERNAL_H
