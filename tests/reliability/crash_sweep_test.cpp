// An install that dies after any of its registry writes, followed by a
// complete uninstall, leaves every journalled value as it was before the
// install; so does an uninstall that dies part-way and is run again. Death is
// the seam's: after the k-th write every call fails, as if the process had
// ended there.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include "../journal/registry_listing.h"
#include "entry.h"
#include "install_fixtures.h"
#include "seam.h"

namespace {

using reliability::Machine;

const char kProductKey[] = "HKCU\\Software\\Norvale\\Ravmo";
const char kRemovableEntry[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo";

int RunSetup(const std::string& line) {
  std::string copy = line;
  return WinMain(nullptr, nullptr, &copy[0], SW_SHOWNORMAL);
}

void Install() {
  seam::Answers({IDYES, IDYES, IDYES, IDYES, IDYES});
  RunSetup(std::string("Install ") + reliability::kInstallText);
}

void Uninstall() {
  seam::Answers({IDYES});
  RunSetup("Uninstall C:\\Program Files\\Quillon\\cleanup.exe");
}

struct Case {
  Machine machine;
  bool win95;            // the platform on which the install writes the removable-programs entry
  bool installedBefore;  // a complete install ran first; the crash hits a repeated one
};

std::string Name(const Case& c) {
  return std::string(c.machine == Machine::kClean ? "Clean" : "HandlersPresent") + (c.win95 ? "Win95" : "WinNT") +
         (c.installedBefore ? "Repeated" : "First");
}

class CrashSweep : public SeamTest, public ::testing::WithParamInterface<Case> {
 protected:
  // A fresh registry holding the machine, and, where the case says so, a
  // first install. Returns the journalled values as they were before any install.
  std::map<std::string, std::string> Prepare() {
    seam::Reset();
    if (GetParam().win95) seam::SetEnv("WINHOST_PLATFORM", "win95");
    reliability::LoadMachine(GetParam().machine);
    const auto before = reliability::Snapshot(GetParam().machine);
    if (GetParam().installedBefore) Install();
    return before;
  }

  // Writes made by one complete run of `step` after Prepare().
  template <typename Step>
  int CountWrites(Step step) {
    Prepare();
    const int start = seam::Writes();
    step();
    return seam::Writes() - start;
  }

  void ExpectRestored(const std::map<std::string, std::string>& before, const std::string& where) {
    const auto after = reliability::Snapshot(GetParam().machine);
    EXPECT_TRUE(after == before) << where << ", values that differ:\n" << reliability::Differences(before, after);
    EXPECT_FALSE(listing::KeyExists(kProductKey)) << where;
    EXPECT_FALSE(listing::KeyExists(kRemovableEntry)) << where;
    EXPECT_EQ(seam::OpenHandles(), 0) << where;
  }
};

TEST_P(CrashSweep, InstallDyingAfterAnyWriteIsUndoneByUninstall) {
  const int writes = CountWrites(Install);
  ASSERT_GT(writes, 12) << "an install journals and writes at least twelve values";
  for (int k = 0; k <= writes; ++k) {
    const std::string where = Name(GetParam()) + ", install dead after write " + std::to_string(k);
    const auto before = Prepare();
    seam::DieAfterWrites(k);
    Install();
    seam::DieAfterWrites(-1);
    // The product's uninstall command is never lost on the way from the
    // installer's hand-over value into the removable-programs entry.
    if (GetParam().win95 && !GetParam().installedBefore) {
      const std::string handedOver = "\"" + std::string(reliability::kDerPutText) + "\"";
      EXPECT_TRUE(listing::Get(kProductKey, "DerPut") == handedOver ||
                  listing::Get(kRemovableEntry, "UninstallString") == handedOver)
          << where << ": the uninstall command was lost";
    }
    Uninstall();
    ExpectRestored(before, where);
    if (HasFailure()) return;  // the first failing k says it all
  }
  std::printf("[ crash    ] %s: install killed at %d points\n", Name(GetParam()).c_str(), writes + 1);
}

TEST_P(CrashSweep, UninstallDyingAfterAnyWriteIsCompletedByTheNextOne) {
  Prepare();
  Install();
  const int start = seam::Writes();
  Uninstall();
  const int uninstallWrites = seam::Writes() - start;
  ASSERT_GT(uninstallWrites, 12);
  for (int k = 0; k < uninstallWrites; ++k) {
    const std::string where = Name(GetParam()) + ", uninstall dead after write " + std::to_string(k);
    const auto before = Prepare();
    Install();
    seam::DieAfterWrites(k);
    Uninstall();
    seam::DieAfterWrites(-1);
    Uninstall();
    ExpectRestored(before, where);
    if (HasFailure()) return;
  }
  std::printf("[ crash    ] %s: uninstall killed at %d points\n", Name(GetParam()).c_str(), uninstallWrites);
}

// One write that the registry refuses, the install going on after it: the
// value it would have journalled is never replaced without its old content.
TEST_P(CrashSweep, InstallWithAnyOneWriteRefusedIsUndoneByUninstall) {
  int swept = 0;
  for (const char* op : {"RegCreateKeyExA", "RegSetValueExA", "RegDeleteValueA"}) {
    Prepare();
    seam::ClearCalls();
    Install();
    int calls = 0;
    for (const seam::Call& c : seam::Calls()) calls += c.first == op;
    for (int k = 1; k <= calls; ++k, ++swept) {
      const std::string where = Name(GetParam()) + ", " + op + " number " + std::to_string(k) + " refused";
      const auto before = Prepare();
      seam::Fail(op, "", ERROR_ACCESS_DENIED, k);
      Install();
      seam::ClearFailures();
      Uninstall();
      ExpectRestored(before, where);
      if (HasFailure()) return;
    }
  }
  std::printf("[ refuse   ] %s: %d single refused writes\n", Name(GetParam()).c_str(), swept);
}

INSTANTIATE_TEST_SUITE_P(Machines, CrashSweep,
                         ::testing::Values(Case{Machine::kClean, false, false}, Case{Machine::kClean, true, false},
                                           Case{Machine::kHandlersPresent, false, false},
                                           Case{Machine::kHandlersPresent, true, false},
                                           Case{Machine::kHandlersPresent, false, true},
                                           Case{Machine::kClean, true, true}),
                         [](const ::testing::TestParamInfo<Case>& info) { return Name(info.param); });

// The locations the sweep compares are exactly those an install journals.
class SweptLocations : public SeamTest {};

TEST_F(SweptLocations, AreWhatAnInstallJournals) {
  for (Machine machine : {Machine::kClean, Machine::kHandlersPresent}) {
    seam::Reset();
    reliability::LoadMachine(machine);
    Install();
    std::vector<std::string> journalled;
    std::stringstream dump(listing::Dump());
    const std::string prefix = "[HKCU\\Software\\Norvale\\Ravmo\\OldRegs] \"";
    for (std::string line; std::getline(dump, line);) {
      // The entry's name, up to the listing's separator before its data.
      if (line.compare(0, prefix.size(), prefix) == 0)
        journalled.push_back(line.substr(prefix.size(), line.find("\" = ") - prefix.size()));
    }
    std::vector<std::string> expected;
    for (const auto& l : reliability::JournalledLocations(machine)) {
      std::string full = l.key;
      full.replace(0, 4, l.key.compare(0, 4, "HKCR") == 0 ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER");
      expected.push_back(full + "\\" + l.value);
    }
    std::sort(journalled.begin(), journalled.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(journalled, expected) << reliability::MachineName(machine);
  }
}

}  // namespace
