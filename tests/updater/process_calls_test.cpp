// winhost's process calls on real processes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "seam.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "test_support.h"
#include "winapi.h"

namespace {

// Turns a wait that never ends into a failed test instead of a hung run.
class ProcessCalls : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    ::alarm(120);
  }
  void TearDown() override {
    ::alarm(0);
    SeamTest::TearDown();
  }
};

TEST_F(ProcessCalls, OpenProcessRefusesIdsThatNameNoProcess) {
  const struct {
    const char* why;
    DWORD id;
  } cases[] = {
      {"id 0", 0u},
      {"-1 as a pid (every process)", 0xFFFFFFFFu},
      {"negative as a pid (a process group)", 0x80000001u},
      {"lowest negative", 0x80000000u},
      {"a process that has ended", static_cast<DWORD>(EndedPid())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    SetLastError(0);
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, c.id), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST_F(ProcessCalls, WaitOnARunningChildEndsWhenItEnds) {
  const pid_t pid = Spawn({"/bin/sleep", "1000"});
  ASSERT_GT(pid, 0);
  HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(h, 30), WAIT_TIMEOUT);
  ::kill(pid, SIGKILL);
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0) << "an ended process stays signalled";
  EXPECT_TRUE(CloseHandle(h));
  // A process that winhost did not start is not reaped behind its parent's back.
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
}

TEST_F(ProcessCalls, CreateProcessStartsWithoutAShellAndReapsItsChild) {
  seam::RecordStarts(false);
  testsupport::TempDir dir;
  const std::string marker = dir.File("marker");
  WriteMarkerScript(dir.File("prog.sh"), "ran", marker);
  // Shell syntax in the arguments would do something if a shell saw them.
  std::string line = "\"" + dir.File("prog.sh") + "\" \"a b\" ;touch$IFS" + dir.File("bad") + " c\\\"d";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                             nullptr, &si, &pi));
  EXPECT_NE(pi.hProcess, nullptr);
  EXPECT_NE(pi.hThread, nullptr);
  EXPECT_NE(pi.hProcess, pi.hThread);
  ASSERT_GT(pi.dwProcessId, 0u);
  EXPECT_EQ(seam::OpenHandles(), 2);

  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(testsupport::ReadBytes(marker),
            "ran\n" + dir.File("prog.sh") + "\na b\n;touch$IFS" + dir.File("bad") + "\nc\"d\n");
  EXPECT_FALSE(testsupport::Exists(dir.File("bad")));
  // The ended child was reaped: no zombie is left.
  errno = 0;
  EXPECT_EQ(::waitpid(static_cast<pid_t>(pi.dwProcessId), nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_FAILED) << "a thread handle is not waited on here";
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_FALSE(CloseHandle(pi.hProcess));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ProcessCalls, CreateProcessOfAMissingProgramFails) {
  seam::RecordStarts(false);
  testsupport::TempDir dir;
  std::string line = dir.File("no-such-program") + " x";
  STARTUPINFOA si = {};
  PROCESS_INFORMATION pi = {};
  SetLastError(0);
  EXPECT_FALSE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                              nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pi.hProcess, nullptr);
}

TEST_F(ProcessCalls, RecordedStartGivesHandlesThatWaitAndClose) {
  std::string line = "C:\\Quillon\\quillon.exe /x";
  STARTUPINFOA si = {};
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                             nullptr, &si, &pi));
  ASSERT_EQ(seam::Starts().size(), 1u);
  EXPECT_EQ(seam::Starts()[0].op, "CreateProcessA");
  EXPECT_EQ(seam::Starts()[0].command_line, line);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_TRUE(CloseHandle(pi.hProcess));
}

TEST_F(ProcessCalls, HandlesOfOtherKindsAreRefused) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const pid_t pid = Spawn({"/bin/sleep", "1000"});
  ASSERT_GT(pid, 0);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(pid));
  ASSERT_NE(process, nullptr);
  EXPECT_NE(reinterpret_cast<void*>(key), process);

  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(key), 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(key)));
  EXPECT_NE(RegCloseKey(reinterpret_cast<HKEY>(process)), ERROR_SUCCESS);
  // Both are still open and work after the refusals.
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(process));
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_FAILED) << "a closed handle";
  ::kill(pid, SIGKILL);
  WaitChild(pid);
}

TEST_F(ProcessCalls, InjectedFailuresStopTheCallBeforeItActs) {
  seam::Fail("OpenProcess", "", ERROR_ACCESS_DENIED);
  seam::Fail("CreateProcessA", "", ERROR_NOT_ENOUGH_MEMORY);
  const pid_t pid = Spawn({"/bin/sleep", "1000"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(pid)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  std::string line = "prog";
  STARTUPINFOA si = {};
  PROCESS_INFORMATION pi = {};
  EXPECT_FALSE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(seam::Starts().empty());
  ::kill(pid, SIGKILL);
  WaitChild(pid);
}

TEST_F(ProcessCalls, StartupInfoIsFilledWithItsSize) {
  STARTUPINFOA si;
  std::memset(&si, 0xAB, sizeof si);
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  EXPECT_EQ(si.cb, sizeof si);
  EXPECT_EQ(si.dwFlags, 0u);
  EXPECT_EQ(si.lpReserved2, nullptr);
}

}  // namespace
