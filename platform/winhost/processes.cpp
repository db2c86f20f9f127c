// Process handles: GetStartupInfoA, OpenProcess, WaitForSingleObject,
// CreateProcessA, CloseHandle and Sleep.
//
// A process handle holds a pidfd, so waiting is a poll() on it: no polling
// loop, and a pid that has been reused by another process is never mistaken
// for the one that was opened. Handles live in a table of their own whose
// values (kHandleBase upwards) lie far above the registry's.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"

namespace winhost {
namespace {

enum class Kind { kProcess, kThread };

// One open handle. `pidfd` is -1 for a thread and for a start the test seam
// took over; `child` is the pid of a process that CreateProcessA started, so
// that it can be reaped once it has ended.
struct ProcessObject {
  Kind kind = Kind::kProcess;
  int pidfd = -1;
  pid_t pid = 0;
  pid_t child = 0;
  DWORD open_error = ERROR_SUCCESS;  // why a started child has no pidfd

  ProcessObject() = default;
  ProcessObject(const ProcessObject&) = delete;
  ProcessObject& operator=(const ProcessObject&) = delete;
  ~ProcessObject() {
    if (pidfd >= 0) ::close(pidfd);
  }
};

// A shared_ptr per slot keeps an object alive through a wait even if another
// thread closes its handle meanwhile.
class HandleTable {
 public:
  HANDLE Add(std::shared_ptr<ProcessObject> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t slot;
    if (!free_.empty()) {
      slot = free_.back();
      free_.pop_back();
      slots_[slot] = std::move(object);
    } else {
      slot = slots_.size();
      slots_.push_back(std::move(object));
    }
    ++open_;
    return reinterpret_cast<HANDLE>(kHandleBase + slot * 4);
  }

  std::shared_ptr<ProcessObject> Find(HANDLE h) {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t slot = SlotOf(h);
    return slot < slots_.size() ? slots_[slot] : nullptr;
  }

  std::shared_ptr<ProcessObject> Remove(HANDLE h) {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t slot = SlotOf(h);
    if (slot >= slots_.size() || !slots_[slot]) return nullptr;
    std::shared_ptr<ProcessObject> object = std::move(slots_[slot]);
    slots_[slot].reset();
    free_.push_back(slot);
    --open_;
    return object;
  }

  int open() {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
  }

 private:
  // The registry numbers its handles 0x1000 + 4 * slot; this range would need
  // some 268 million open keys to meet it.
  static constexpr uintptr_t kHandleBase = 0x40000000;

  static size_t SlotOf(HANDLE h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return SIZE_MAX;
    return (v - kHandleBase) / 4;
  }

  std::mutex mutex_;
  std::vector<std::shared_ptr<ProcessObject>> slots_;
  std::vector<size_t> free_;
  int open_ = 0;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Collects the exit status of an ended child of ours, so that no zombie
// stays. Never blocks; a child that is still running is left alone.
void ReapIfEnded(ProcessObject& object) {
  if (object.child == 0) return;
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  int rc;
  if (object.pidfd >= 0) {
    rc = ::waitid(P_PIDFD, static_cast<id_t>(object.pidfd), &info, WEXITED | WNOHANG);
  } else {
    rc = ::waitid(P_PID, static_cast<id_t>(object.child), &info, WEXITED | WNOHANG);
  }
  // rc == 0 with si_pid == 0: still running. -1 (ECHILD): reaped already.
  if (rc != 0 || info.si_pid != 0) object.child = 0;
}

std::string Decimal(unsigned long long v) { return std::to_string(v); }

}  // namespace

int ProcessHandleCount() { return Table().open(); }

}  // namespace winhost

using winhost::Kind;
using winhost::ProcessObject;

// The hosted programs have no window settings of their own to pass on: the
// record is zero but for its size, which says "use the defaults".
extern "C" void WINAPI GetStartupInfoA(LPSTARTUPINFOA lpStartupInfo) {
  winhost::CallHook("GetStartupInfoA", "");
  if (!lpStartupInfo) return;
  std::memset(lpStartupInfo, 0, sizeof *lpStartupInfo);
  lpStartupInfo->cb = sizeof *lpStartupInfo;
}

// Ids that are 0, or negative as a pid, are refused before anything can
// reach kill() or waitpid(), where they would name process groups.
extern "C" HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  const long hooked = winhost::CallHook("OpenProcess", winhost::Decimal(dwProcessId));
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return nullptr;
  }
  if (dwProcessId == 0 || dwProcessId > 0x7FFFFFFFu) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const pid_t pid = static_cast<pid_t>(dwProcessId);
  const int fd = winhost::PidfdOpen(pid);
  if (fd < 0) {
    const int err = errno;
    SetLastError(err == ESRCH || err == EINVAL ? ERROR_INVALID_PARAMETER : winhost::ErrorFromErrno(err));
    return nullptr;
  }
  auto object = std::make_shared<ProcessObject>();
  object->pidfd = fd;
  object->pid = pid;
  return winhost::Table().Add(std::move(object));
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<ProcessObject> object = winhost::Table().Find(hHandle);
  const long hooked =
      winhost::CallHook("WaitForSingleObject", object ? winhost::Decimal(object->pid) : std::string());
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return WAIT_FAILED;
  }
  if (!object || object->kind != Kind::kProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (object->pidfd < 0) {
    if (object->open_error != ERROR_SUCCESS) {
      SetLastError(object->open_error);
      return WAIT_FAILED;
    }
    return WAIT_OBJECT_0;  // a start the test seam took: done at once
  }

  using Clock = std::chrono::steady_clock;
  const bool forever = dwMilliseconds == INFINITE;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  for (;;) {
    struct pollfd p = {object->pidfd, POLLIN, 0};
    struct timespec left = {0, 0};
    if (!forever) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
      if (ns > 0) {
        left.tv_sec = static_cast<time_t>(ns / 1000000000);
        left.tv_nsec = static_cast<long>(ns % 1000000000);
      }
    }
    const int rc = ::ppoll(&p, 1, forever ? nullptr : &left, nullptr);
    if (rc < 0) {
      if (errno == EINTR) continue;
      SetLastError(winhost::ErrorFromErrno(errno));
      return WAIT_FAILED;
    }
    if (rc == 0) return WAIT_TIMEOUT;
    if (p.revents & POLLIN) {
      winhost::ReapIfEnded(*object);
      return WAIT_OBJECT_0;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
}

// Only what the programs use is provided: no application name, the caller's
// own environment and folder. The start-up settings and creation flags have
// no meaning here; open descriptors without close-on-exec are inherited
// whatever bInheritHandles says.
extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                      LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                      LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                      DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                      LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation) {
  const std::string line = lpCommandLine ? lpCommandLine : "";
  const long hooked = winhost::CallHook("CreateProcessA", line);
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return FALSE;
  }
  if (lpApplicationName || !lpCommandLine || lpEnvironment || lpCurrentDirectory || !lpStartupInfo ||
      !lpProcessInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int pid = 0;
  const DWORD err = winhost::StartProcess("CreateProcessA", line, &pid);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }

  auto process = std::make_shared<ProcessObject>();
  if (pid != 0) {
    process->pid = pid;
    process->child = pid;
    // Our own child cannot be reaped behind our back, so its pid still names
    // it here, ended or not.
    process->pidfd = winhost::PidfdOpen(pid);
    if (process->pidfd < 0) process->open_error = winhost::ErrorFromErrno(errno);
  }
  auto thread = std::make_shared<ProcessObject>();
  thread->kind = Kind::kThread;
  thread->pid = pid;

  lpProcessInformation->hProcess = winhost::Table().Add(std::move(process));
  lpProcessInformation->hThread = winhost::Table().Add(std::move(thread));
  // The main thread of a Linux process has the process's id.
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  std::shared_ptr<ProcessObject> found = winhost::Table().Find(hObject);
  const long hooked = winhost::CallHook("CloseHandle", found ? winhost::Decimal(found->pid) : std::string());
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return FALSE;
  }
  std::shared_ptr<ProcessObject> object = winhost::Table().Remove(hObject);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winhost::ReapIfEnded(*object);
  return TRUE;
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
  struct timespec left;
  left.tv_sec = static_cast<time_t>(dwMilliseconds / 1000);
  left.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
