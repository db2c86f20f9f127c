// The built setup tool killed with SIGKILL at random moments of an install on
// a registry file: the file is a sound database afterwards, and a following
// uninstall puts every journalled value back. The delays only place the
// kill; nothing here depends on how long anything takes.
#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "../journal/registry_listing.h"
#include "hooks.h"
#include "install_fixtures.h"
#include "seam.h"
#include "support/child_process.h"
#include "support/registry_file_test.h"

namespace {

using reliability::Machine;

constexpr int kRuns = 30;
constexpr unsigned kSeed = 20261211;

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return result;
}

// Entries in the journal right now.
int JournalEntries() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Norvale\\Ravmo\\OldRegs", 0, KEY_ALL_ACCESS, &key) != 0) return 0;
  DWORD count = 0;
  char name[1024];
  for (;; ++count) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, count, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return static_cast<int>(count);
}

class KilledInstall : public RegistryFileTest {};

TEST_F(KilledInstall, DatabaseStaysSoundAndUninstallRestoresEverything) {
  // One complete install on a file of its own tells how long the window
  // is; the kills are spread over it and a little beyond.
  const std::string probe = dir_.File("probe.db");
  UseFile(probe);
  reliability::LoadMachine(Machine::kHandlersPresent);
  UseFile(":memory:");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(testsupport::RunProgram({RAVMOSETUP_PROGRAM, std::string("Install ") + reliability::kInstallText},
                                    reliability::RegistryEnv(probe), dir_.path())
                .exit_code,
            0);
  const long windowUs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count());
  std::mt19937 random(kSeed);
  std::uniform_int_distribution<long> delayUs(100, windowUs + windowUs / 4 + 200);
  int killed = 0;
  int fewestEntries = 1 << 30, mostEntries = 0;
  for (int run = 0; run < kRuns; ++run) {
    const Machine machine = run % 2 ? Machine::kHandlersPresent : Machine::kClean;
    const std::string where = "run " + std::to_string(run) + " (" + reliability::MachineName(machine) + ")";
    const std::string path = dir_.File("run" + std::to_string(run) + ".db");
    UseFile(path);
    reliability::LoadMachine(machine);
    const auto before = reliability::Snapshot(machine);
    UseFile(":memory:");  // the file is the programs' alone now

    const auto env = reliability::RegistryEnv(path);
    const pid_t setup = testsupport::Start(
        {RAVMOSETUP_PROGRAM, std::string("Install ") + reliability::kInstallText}, env);
    ASSERT_GT(setup, 0);
    usleep(static_cast<useconds_t>(delayUs(random)));
    kill(setup, SIGKILL);
    const int status = testsupport::Wait(setup);
    if (status == 128 + SIGKILL) ++killed;
    else EXPECT_EQ(status, 0) << where;

    EXPECT_EQ(IntegrityCheck(path), "ok") << where;
    UseFile(path);
    const int entries = JournalEntries();
    fewestEntries = std::min(fewestEntries, entries);
    mostEntries = std::max(mostEntries, entries);
    UseFile(":memory:");
    EXPECT_EQ(testsupport::RunProgram({RAVMOSETUP_PROGRAM, "Uninstall /bin/true"}, env, dir_.path()).exit_code, 0)
        << where;

    UseFile(path);
    const auto after = reliability::Snapshot(machine);
    EXPECT_TRUE(after == before) << where << ", values that differ:\n" << reliability::Differences(before, after);
    EXPECT_FALSE(listing::KeyExists("HKCU\\Software\\Norvale\\Ravmo")) << where;
    if (HasFailure()) return;
  }
  std::printf("[ sigkill  ] %d runs, %d killed during the install (window %ld us), %d to %d journal entries made\n",
              kRuns, killed, windowUs, fewestEntries, mostEntries);
}

}  // namespace
