// Files, folders and processes for the updater's tests; temporary folders
// and whole files come from tests/support.
#ifndef QUILLON_TESTS_UPDATER_TEST_SUPPORT_H
#define QUILLON_TESTS_UPDATER_TEST_SUPPORT_H

#include <sys/types.h>

#include <string>
#include <vector>

unsigned ModeOf(const std::string& path);  // permission bits; 0 when missing
// Names in a folder, "." and ".." left out, sorted.
std::vector<std::string> ListDir(const std::string& path);

// A /bin/sh script that writes `tag`, its $0 and its arguments, one a line,
// into `marker` (atomically, so a marker that exists is complete).
void WriteMarkerScript(const std::string& path, const std::string& tag, const std::string& marker);

// Starts a program directly (no shell) with the whole environment and the
// test's own terminal; returns its pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv);
// Waits, with a bound of a minute, for a child to end (killing it when the
// bound passes) and returns its raw wait status, or -1.
int WaitChild(pid_t pid);
// The pid of a process that has ended and been reaped.
pid_t EndedPid();

#endif  // QUILLON_TESTS_UPDATER_TEST_SUPPORT_H
