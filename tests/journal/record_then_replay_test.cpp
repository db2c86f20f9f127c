// A value recorded, then changed by the caller, comes back through the replay
// exactly as it was: its content as REG_SZ, or deleted where it was absent.
#include <string>

#include "change_journal.h"
#include "entry.h"
#include "registry_access.h"
#include "registry_listing.h"
#include "seam.h"
#include "support/setup_test.h"

using listing::Sz;

namespace {

class RecordThenReplayTest : public SetupTest {};

struct RoundTrip {
  const char* what;
  HKEY hive;
  const char* keyPath;
  const char* valueName;
  std::string before;         // the value as the fixture holds it (empty: absent)
  std::string afterReplay;    // the same value as the replay leaves it (empty: absent)
  std::string entryName;
  std::string journalled;     // the entry's data in listing form
};

TEST_F(RecordThenReplayTest, TheReplayUndoesTheCallersWrite) {
  const std::string long300(300, 'x');
  const RoundTrip cases[] = {
      {"default value", HKEY_CLASSES_ROOT, ".txt\\shell\\open\\command", "",
       "[HKCR\\.txt\\shell\\open\\command] @ = \"notepad %1\"", "[HKCR\\.txt\\shell\\open\\command] @ = \"notepad %1\"",
       "HKEY_CLASSES_ROOT\\.txt\\shell\\open\\command\\", Sz("notepad %1")},
      {"absent default value", HKEY_CLASSES_ROOT, ".txt\\shell\\open\\command", "", "",
       "[HKCR\\.txt\\shell\\open\\command]", "HKEY_CLASSES_ROOT\\.txt\\shell\\open\\command\\", Sz("")},
      {"named value", HKEY_CURRENT_USER, "Software\\T", "video/avi", "[HKCU\\Software\\T] \"video/avi\" = \"old\"",
       "[HKCU\\Software\\T] \"video/avi\" = \"old\"", "HKEY_CURRENT_USER\\Software\\T\\video/avi", Sz("old")},
      {"existing empty value is deleted", HKEY_CURRENT_USER, "Software\\T", "v", "[HKCU\\Software\\T] \"v\" = \"\"",
       "[HKCU\\Software\\T]", "HKEY_CURRENT_USER\\Software\\T\\v", Sz("")},
      {"REG_EXPAND_SZ comes back as REG_SZ", HKEY_LOCAL_MACHINE, "Soft\\T", "v",
       "[HKLM\\Soft\\T] \"v\" = hex(2):25,50,25,00", "[HKLM\\Soft\\T] \"v\" = \"%P%\"",
       "HKEY_LOCAL_MACHINE\\Soft\\T\\v", Sz("%P%")},
      // Too long for the 260-byte read: without the whole read it would be
      // journalled as absent and deleted by the replay.
      {"300 characters", HKEY_CURRENT_USER, "Software\\T", "v", "[HKCU\\Software\\T] \"v\" = \"" + long300 + "\"",
       "[HKCU\\Software\\T] \"v\" = \"" + long300 + "\"", "HKEY_CURRENT_USER\\Software\\T\\v", Sz(long300)},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    const std::string neighbours = "[HKCU\\Software\\T] \"other\" = \"stays\"\n";
    listing::Load(neighbours + c.before);
    ASSERT_TRUE(RecordOldValue(c.hive, c.keyPath, c.valueName));
    ASSERT_TRUE(WriteRegString(c.hive, c.keyPath, c.valueName, "product.exe"));
    RestoreOldValues();
    const std::string actual = listing::Dump();
    EXPECT_EQ(actual, listing::DumpOf(neighbours + c.afterReplay + "\n[HKCU\\Software\\Norvale\\ravmo\\OldRegs] \"" +
                                      c.entryName + "\" = " + c.journalled + "\n"));
  }
}

}  // namespace
