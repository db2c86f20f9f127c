// Several processes on one registry file: writers never fail each other, and
// a walk in one process stays exact while another process changes the key.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hooks.h"
#include "registry_helpers.h"
#include "seam.h"
#include "support/registry_file_test.h"
#include "support/temp_dir.h"
#include "winapi.h"

using regtest::Key;

namespace {

constexpr int kChildren = 4;
constexpr int kWritesPerChild = 2000;
constexpr int kKeysPerChild = 20;

std::string KeyPath(int child, int i) {
  return "Software\\Shared\\C" + std::to_string(child) + "\\K" + std::to_string(i % kKeysPerChild);
}
std::string ValueName(int i) { return "V" + std::to_string(i); }
std::string ValueData(int child, int i) { return std::to_string(child) + ":" + std::to_string(i); }

// The body of one child; its exit code tells the first failure.
int Writer(int child) {
  winhost::ResetRegistry();  // never use the parent's connection
  for (int i = 0; i < kWritesPerChild; ++i) {
    HKEY k = nullptr;
    DWORD disposition = 0;
    const LONG created = RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(child, i).c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &k, &disposition);
    if (created != ERROR_SUCCESS) {
      std::fprintf(stderr, "child %d, write %d: RegCreateKeyExA gave %ld\n", child, i, static_cast<long>(created));
      return 10;
    }
    const std::string data = ValueData(child, i);
    const LONG err = RegSetValueExA(k, ValueName(i).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                    static_cast<DWORD>(data.size() + 1));
    RegCloseKey(k);
    if (err != ERROR_SUCCESS) {
      std::fprintf(stderr, "child %d, write %d: RegSetValueExA gave %ld\n", child, i, static_cast<long>(err));
      return 11;
    }
  }
  winhost::ResetRegistry();
  return 0;
}

// Runs `body` in a child process and returns its pid.
template <typename Body>
pid_t Spawn(Body body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class SharedFile : public RegistryFileTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    RegistryFileTest::SetUp();
    path_ = dir_.File("shared.db");
    seam::SetEnv("WINHOST_REGISTRY", path_);
  }
  std::string path_;
};

// false: the children find no file and race to make it; true: the file
// exists and this process keeps it open meanwhile.
TEST_P(SharedFile, WritersNeverFailEachOther) {
  Key mine;
  if (GetParam()) {
    winhost::ResetRegistry();
    ASSERT_EQ(regtest::Create(HKEY_CURRENT_USER, "Software\\Shared", &mine), 0);
  }
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) pids.push_back(Spawn([c] { return Writer(c); }));
  for (int c = 0; c < kChildren; ++c) EXPECT_EQ(ExitCode(pids[c]), 0) << "child " << c;
  mine.Close();

  winhost::ResetRegistry();
  int missing = 0;
  for (int c = 0; c < kChildren; ++c) {
    for (int i = 0; i < kWritesPerChild; ++i) {
      const std::string got = regtest::ValueOf(HKEY_CURRENT_USER, KeyPath(c, i).c_str(), ValueName(i).c_str());
      if (got != ValueData(c, i) + '\0' && ++missing <= 5)
        ADD_FAILURE() << KeyPath(c, i) << "\\" << ValueName(i) << ": " << got;
    }
  }
  EXPECT_EQ(missing, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, SharedFile,
                         ::testing::Values(
                             // A registry file made by the racing children.
                             false,
                             // An existing file held open by this process.
                             true));

// Changes by another process between two calls of a walk.
TEST_F(SeamTest, WalkStaysExactWhileAnotherProcessChangesTheKey) {
  testsupport::TempDir dir;
  seam::SetEnv("WINHOST_REGISTRY", dir.File("walk.db"));
  winhost::ResetRegistry();
  {
    Key k;
    ASSERT_EQ(regtest::Create(HKEY_CURRENT_USER, "Software\\Walk", &k), 0);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(regtest::SetString(k.h, ValueName(i).c_str(), "x"), 0);
    auto name_at = [&k](DWORD index) {
      char name[32];
      DWORD len = sizeof name;
      const LONG err = RegEnumValueA(k.h, index, name, &len, nullptr, nullptr, nullptr, nullptr);
      return err == ERROR_SUCCESS ? std::string(name, len) : "<error " + std::to_string(err) + ">";
    };
    EXPECT_EQ(name_at(0), "V0");
    EXPECT_EQ(name_at(1), "V1");
    EXPECT_EQ(name_at(2), "V2");
    // Another process takes two values before the cursor away and adds one.
    const pid_t pid = Spawn([] {
      winhost::ResetRegistry();
      HKEY h = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Walk", 0, KEY_ALL_ACCESS, &h) != 0) return 1;
      LONG err = RegDeleteValueA(h, "V0");
      if (err == 0) err = RegDeleteValueA(h, "V1");
      if (err == 0) err = regtest::SetString(h, "V9", "x");
      RegCloseKey(h);
      winhost::ResetRegistry();
      return err == 0 ? 0 : 2;
    });
    ASSERT_EQ(ExitCode(pid), 0);
    // Now V2 V3 V4 V5 V9.
    EXPECT_EQ(name_at(3), "V5");
    EXPECT_EQ(name_at(4), "V9");
    EXPECT_EQ(name_at(4), "V9");
    EXPECT_EQ(name_at(5), "<error 259>");
  }
  winhost::ResetRegistry();
}

// A change by another process lands inside one RegEnumValueA call, between
// its first look at the key and the row it returns (the seam's hook runs at
// that point). The answer must belong to one state of the key, before or after
// the change, never to a mix of both.
long (*g_seam_hook)(const char*, const std::string&) = nullptr;
bool g_armed = false;

long ChangeDuringCall(const char* op, const std::string& subject) {
  if (g_armed && std::string(op) == "RegEnumValueA") {
    g_armed = false;
    const pid_t pid = Spawn([] {
      winhost::ResetRegistry();
      HKEY h = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Walk", 0, KEY_ALL_ACCESS, &h) != 0) return 1;
      LONG err = RegDeleteValueA(h, "V0");
      if (err == 0) err = RegDeleteValueA(h, "V3");
      RegCloseKey(h);
      winhost::ResetRegistry();
      return err == 0 ? 0 : 2;
    });
    if (ExitCode(pid) != 0) ADD_FAILURE() << "the changing process failed";
  }
  return g_seam_hook(op, subject);
}

TEST_F(SeamTest, WalkNeverMixesTwoStatesOfTheKey) {
  testsupport::TempDir dir;
  seam::SetEnv("WINHOST_REGISTRY", dir.File("mix.db"));
  winhost::ResetRegistry();
  {
    Key k;
    ASSERT_EQ(regtest::Create(HKEY_CURRENT_USER, "Software\\Walk", &k), 0);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(regtest::SetString(k.h, ValueName(i).c_str(), "x"), 0);
    char name[32];
    for (DWORD i = 0; i < 3; ++i) {
      DWORD len = sizeof name;
      ASSERT_EQ(RegEnumValueA(k.h, i, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
    }
    g_seam_hook = winhost::GetHooks().before_call;
    winhost::GetHooks().before_call = ChangeDuringCall;
    g_armed = true;
    DWORD len = sizeof name;
    const LONG err = RegEnumValueA(k.h, 3, name, &len, nullptr, nullptr, nullptr, nullptr);
    winhost::GetHooks().before_call = g_seam_hook;
    ASSERT_EQ(err, 0);
    // Index 3 is V3 before the change (V0..V5) and V5 after it (V1 V2 V4 V5).
    const std::string got(name, len);
    EXPECT_TRUE(got == "V3" || got == "V5") << got;
    // The next call sees the new state.
    len = sizeof name;
    EXPECT_EQ(RegEnumValueA(k.h, 3, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(name, len), "V5");
  }
  winhost::ResetRegistry();
}

}  // namespace
