// The updater's one pass: wait for a process, replace a file, start a command.
#ifndef QUILLON_UPDATER_UPDATE_PASS_H
#define QUILLON_UPDATER_UPDATE_PASS_H

#include "text.h"
#include "winapi.h"

// How often, and how far apart, a refused copy is tried: about one second in
// all, long enough for the system to let go of an ended program's file.
constexpr int kCopyAttempts = 10;
constexpr DWORD kCopyRetryDelayMs = 100;

// Waits until the process with this id has ended. An id that cannot be opened
// (0, ended, no such process, access refused) is not waited for.
void WaitForProcessEnd(DWORD processId);

// Copies `newFile` over `target`, overwriting it. A copy refused because the
// target is in use or access is denied is tried again, kCopyAttempts times in
// all; any other failure (a missing new file among them) is final. True when
// the target now holds the new file; on false the target is as it was.
bool CopyOverTarget(const Text& newFile, const Text& target);

// Starts a command line as a new process with the given start-up settings,
// inheriting handles, at normal priority; does not wait for it. True when it
// started.
bool StartCommand(const Text& command, STARTUPINFOA* startup);

// The whole pass over the text that follows the program's name: waits for
// the process of position 1, copies position 3 over position 2 and starts
// the command, or the target when there is none. Without a new file nothing
// is copied or started; without any position nothing at all is done.
void RunUpdate(const Text& commandLine);

#endif  // QUILLON_UPDATER_UPDATE_PASS_H
