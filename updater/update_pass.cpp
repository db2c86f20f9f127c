#include "update_pass.h"

#include <vector>

#include "command_line.h"
#include "process_id.h"

void WaitForProcessEnd(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
  if (process == nullptr) return;
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}

bool CopyOverTarget(const Text& newFile, const Text& target) {
  for (int attempt = 1;; ++attempt) {
    if (CopyFileA(newFile.c_str(), target.c_str(), FALSE)) return true;
    const DWORD error = GetLastError();
    const bool mayPass = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!mayPass || attempt >= kCopyAttempts) return false;
    Sleep(kCopyRetryDelayMs);
  }
}

bool StartCommand(const Text& command, STARTUPINFOA* startup) {
  // CreateProcessA may write into the command line, so it gets a copy of its
  // own, as long as the command.
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, startup, &info))
    return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

void RunUpdate(const Text& commandLine) {
  const UpdaterArguments args = ReadUpdaterArguments(commandLine);
  // Without a new file there is nothing to copy or start, so there is no
  // reason to wait either (a stray id could make the wait last for ever).
  if (args.present < 3) return;

  STARTUPINFOA startup = {};
  startup.cb = sizeof(STARTUPINFOA);
  GetStartupInfoA(&startup);

  WaitForProcessEnd(ProcessIdFromText(args.processId));

  CopyOverTarget(args.newFile, args.target);
  StartCommand(args.present == 4 ? args.command : args.target, &startup);
}
