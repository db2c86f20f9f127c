// Two installs and several registry-tool writers at once on one registry
// file: no call fails because of another process, no write is lost, each
// install's result is complete, and the uninstall afterwards restores the
// values as they were before both.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../journal/registry_listing.h"
#include "hooks.h"
#include "install_fixtures.h"
#include "seam.h"
#include "support/child_process.h"
#include "support/registry_file_test.h"
#include "support/temp_dir.h"

namespace {

using reliability::Machine;

constexpr int kRounds = 3;
constexpr int kWriters = 4;
constexpr int kAddsPerWriter = 10;

const char* const kTexts[2] = {"C:\\A\\quillon.exe /open \"%1\"", "C:\\B\\quillon.exe /open \"%1\""};
const char kWritersKey[] = "HKCU\\Software\\Writers";

std::string ValueName(int round, int writer, int i) {
  return "R" + std::to_string(round) + "W" + std::to_string(writer) + "V" + std::to_string(i);
}

class ConcurrentInstall : public RegistryFileTest {};

// One writer: a child process that runs the tool once per value; its exit
// code is the number of tool runs that failed.
pid_t StartWriter(const std::string& registry, const std::string& scratch, int round, int writer) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  int failed = 0;
  for (int i = 0; i < kAddsPerWriter; ++i) {
    const testsupport::Result r = testsupport::RunProgram(
        {WINHOST_REG_PROGRAM, "add", kWritersKey, "/v", ValueName(round, writer, i), "/d", "data", "/f"},
        {{"WINHOST_REGISTRY", registry}}, scratch);
    if (r.exit_code != 0) {
      std::fprintf(stderr, "writer %d: %s", writer, r.err.c_str());
      ++failed;
    }
  }
  _exit(failed);
}

TEST_F(ConcurrentInstall, NothingFailsAndNothingIsLost) {
  const std::string path = dir_.File("shared.db");
  UseFile(path);
  reliability::LoadMachine(Machine::kHandlersPresent);
  const auto before = reliability::Snapshot(Machine::kHandlersPresent);
  UseFile(":memory:");

  for (int round = 0; round < kRounds; ++round) {
    std::vector<testsupport::TempDir> scratch(kWriters);
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) writers.push_back(StartWriter(path, scratch[w].path(), round, w));
    pid_t installs[2];
    for (int i = 0; i < 2; ++i)
      installs[i] = testsupport::Start({RAVMOSETUP_PROGRAM, std::string("Install ") + kTexts[i]},
                                       reliability::RegistryEnv(path));
    for (pid_t p : installs) EXPECT_EQ(testsupport::Wait(p), 0) << "round " << round;
    for (pid_t p : writers) EXPECT_EQ(testsupport::Wait(p), 0) << "round " << round << ": writes failed";
  }

  UseFile(path);
  // Every value the writers added is there.
  for (int round = 0; round < kRounds; ++round)
    for (int w = 0; w < kWriters; ++w)
      for (int i = 0; i < kAddsPerWriter; ++i)
        EXPECT_EQ(listing::Get(kWritersKey, ValueName(round, w, i)), "\"data\"") << ValueName(round, w, i);
  // Each taken-over value holds one install's text, and the journal holds
  // what was there before either install.
  for (const auto& l : reliability::JournalledLocations(Machine::kHandlersPresent)) {
    const std::string now = listing::Get(l.key, l.value);
    const bool command = l.value.empty();
    const std::string a = command ? kTexts[0] : "C:\\A\\quillon.exe";
    const std::string b = command ? kTexts[1] : "C:\\B\\quillon.exe";
    EXPECT_TRUE(now == "\"" + a + "\"" || now == "\"" + b + "\"") << l.key << "\\" << l.value << " = " << now;
    std::string entry = l.key;
    entry.replace(0, 4, entry.compare(0, 4, "HKCR") == 0 ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER");
    EXPECT_EQ(listing::Get("HKCU\\Software\\Norvale\\Ravmo\\OldRegs", entry + "\\" + l.value),
              before.at(l.key + "\\" + l.value))
        << entry;
  }
  // The browser's type list holds each addition once, after what was there.
  const char* const list[] = {"image/png",       "video/avi",       "application/dsl",
                              "video/quicktime", "application/pdf", "application/zip"};
  const std::string viewers = "HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers";
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(listing::Get(viewers, "TYPE" + std::to_string(i)), "\"" + std::string(list[i]) + "\"") << i;
  EXPECT_EQ(listing::Get(viewers, "TYPE6"), "<absent>");
  UseFile(":memory:");

  EXPECT_EQ(testsupport::RunProgram({RAVMOSETUP_PROGRAM, "Uninstall /bin/true"}, reliability::RegistryEnv(path),
                                    dir_.path())
                .exit_code,
            0);
  UseFile(path);
  const auto after = reliability::Snapshot(Machine::kHandlersPresent);
  EXPECT_TRUE(after == before) << reliability::Differences(before, after);
  EXPECT_EQ(listing::Get(kWritersKey, ValueName(0, 0, 0)), "\"data\"");
}

}  // namespace
