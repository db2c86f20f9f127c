// Replaceable points inside winhost, in the manner of a VFS table: each is
// null by default (the real behaviour) and is set only by the test seam
// (tests/seam), which is linked into tests alone.
#ifndef QUILLON_WINHOST_HOOKS_H
#define QUILLON_WINHOST_HOOKS_H

#include <string>
#include <vector>

namespace winhost {

struct Hooks {
  // Called at the start of every API call with its name ("RegSetValueExA",
  // "DeleteFileA", ...) and its subject (the full key path, with the value
  // name after a backslash where there is one; or the file path, or the
  // command line). A non-zero result makes the call fail with that error code
  // before it does anything.
  long (*before_call)(const char* op, const std::string& subject) = nullptr;

  // Replaces the question dialog: returns what MessageBoxA returns.
  int (*message_box)(const char* text, const char* caption, unsigned style) = nullptr;

  // Replaces starting a process (WinExec, CreateProcessA): receives the API
  // name, the command line and its split arguments; returns true when the
  // start counts as done. The real process is not started.
  bool (*start_process)(const char* op, const std::string& command_line,
                        const std::vector<std::string>& argv) = nullptr;
};

Hooks& GetHooks();

// Runs the before_call hook; returns the error it asks for, or 0.
long CallHook(const char* op, const std::string& subject);

// Number of registry, find and process handles currently open.
int OpenHandleCount();

// Closes the registry database and forgets every handle, so that the next
// call opens $WINHOST_REGISTRY afresh (a new private registry for ":memory:").
void ResetRegistry();

// Re-reads the environment that winhost caches (answers, platform, code page).
void ResetEnvironment();

}  // namespace winhost

#endif  // QUILLON_WINHOST_HOOKS_H
