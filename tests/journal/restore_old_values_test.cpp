// RestoreOldValues: the replay of the journal, compared as whole registries.
#include <string>
#include <vector>

#include "change_journal.h"
#include "entry.h"
#include "registry_listing.h"
#include "seam.h"
#include "support/setup_test.h"

using listing::Sz;

namespace {

const std::string kJournal = "[HKCU\\Software\\Norvale\\ravmo\\OldRegs] ";

std::string Entry(const std::string& name, const std::string& data) {
  return kJournal + "\"" + name + "\" = " + data + "\n";
}

class RestoreOldValuesTest : public SetupTest {};

struct ReplayCase {
  const char* what;
  std::string before;  // the registry, journal included, before the replay
  std::string after;   // the whole registry expected afterwards
};

TEST_F(RestoreOldValuesTest, PutsEveryEntryBack) {
  const std::string longKey = "Software\\" + std::string(200, 'k') + "\\" + std::string(200, 'l');
  const std::string longData = std::string(4999, 'd') + "!";
  // The longest name the registry allows, 16383 characters.
  const std::string maxName = "HKEY_CURRENT_USER\\Max\\" + std::string(16383 - 22, 'm');
  const std::string bothName = "HKEY_CURRENT_USER\\" + longKey + "\\both";
  const ReplayCase cases[] = {
      {"write back, delete, default value, missing keys",
       Entry("HKEY_CLASSES_ROOT\\.avi\\shell\\open\\command\\", Sz("old.exe %1")) +
           Entry("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi", Sz("")) +
           Entry("HKEY_CURRENT_USER\\Gone\\Deep\\v", Sz("back")) + Entry("HKEY_CURRENT_USER\\Empty\\v", Sz("")) +
           "[HKCR\\.avi\\shell\\open\\command] @ = \"new.exe\"\n"
           "[HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers] \"video/avi\" = \"new.exe\"\n"
           "[HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers] \"video/mpeg\" = \"other.exe\"\n",
       Entry("HKEY_CLASSES_ROOT\\.avi\\shell\\open\\command\\", Sz("old.exe %1")) +
           Entry("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi", Sz("")) +
           Entry("HKEY_CURRENT_USER\\Gone\\Deep\\v", Sz("back")) + Entry("HKEY_CURRENT_USER\\Empty\\v", Sz("")) +
           "[HKCR\\.avi\\shell\\open\\command] @ = \"old.exe %1\"\n"
           "[HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers] \"video/mpeg\" = \"other.exe\"\n"
           "[HKCU\\Gone\\Deep] \"v\" = \"back\"\n"
           "[HKCU\\Empty]\n"},
      {"entries of other types come back as REG_SZ, up to their first zero",
       Entry("HKEY_LOCAL_MACHINE\\Soft\\T\\bin", "hex(3):61,62,00,63") +
           Entry("HKEY_CURRENT_USER\\Dw\\n", "dword:434241"),
       Entry("HKEY_LOCAL_MACHINE\\Soft\\T\\bin", "hex(3):61,62,00,63") +
           Entry("HKEY_CURRENT_USER\\Dw\\n", "dword:434241") +
           "[HKLM\\Soft\\T] \"bin\" = \"ab\"\n"
           "[HKCU\\Dw] \"n\" = \"ABC\"\n"},
      // Names and data too long for the first 260-byte buffers are read whole
      // and do not end the walk for the entries after them.
      {"long names and data",
       Entry("HKEY_CURRENT_USER\\" + longKey + "\\v", Sz("long name")) +
           Entry("HKEY_CURRENT_USER\\Big\\v", Sz(longData)) + Entry(maxName, Sz("max")) +
           Entry(bothName, Sz(longData)) + Entry("HKEY_CURRENT_USER\\After\\v", Sz("after")) +
           "[HKCU\\Big] \"v\" = \"new\"\n",
       Entry("HKEY_CURRENT_USER\\" + longKey + "\\v", Sz("long name")) +
           Entry("HKEY_CURRENT_USER\\Big\\v", Sz(longData)) + Entry(maxName, Sz("max")) +
           Entry(bothName, Sz(longData)) + Entry("HKEY_CURRENT_USER\\After\\v", Sz("after")) +
           "[HKCU\\" + longKey + "] \"v\" = \"long name\"\n"
           "[HKCU\\Big] \"v\" = \"" + longData + "\"\n"
           "[HKCU\\Max] \"" + maxName.substr(22) + "\" = \"max\"\n"
           "[HKCU\\" + longKey + "] \"both\" = \"" + longData + "\"\n"
           "[HKCU\\After] \"v\" = \"after\"\n"},
      // A name without a hive part assigns nothing when parsed: it must not
      // replay its data onto the previous entry's target.
      {"entries without a hive part are skipped",
       Entry("HKEY_CURRENT_USER\\A\\v", Sz("")) + Entry("novalue", Sz("X")) +
           Entry("\\HKEY_CURRENT_USER\\A\\v", Sz("Y")) + kJournal + "@ = \"Z\"\n" +
           "[HKCU\\A] \"v\" = \"current\"\n",
       Entry("HKEY_CURRENT_USER\\A\\v", Sz("")) + Entry("novalue", Sz("X")) +
           Entry("\\HKEY_CURRENT_USER\\A\\v", Sz("Y")) + kJournal + "@ = \"Z\"\n" + "[HKCU\\A]\n"},
      // An entry that deletes a journal value shifts the indices of a walk
      // that replays as it goes; the entries after it must still come back.
      {"an entry that changes the journal itself",
       Entry("junk", Sz("1")) + Entry("HKEY_CURRENT_USER\\Software\\Norvale\\ravmo\\OldRegs\\junk", Sz("")) +
           Entry("HKEY_CURRENT_USER\\T\\v", Sz("old")) + "[HKCU\\T] \"v\" = \"new\"\n",
       Entry("HKEY_CURRENT_USER\\Software\\Norvale\\ravmo\\OldRegs\\junk", Sz("")) +
           Entry("HKEY_CURRENT_USER\\T\\v", Sz("old")) + "[HKCU\\T] \"v\" = \"old\"\n"},
  };
  for (const ReplayCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(c.before);
    RestoreOldValues();
    const std::string once = listing::Dump();
    RestoreOldValues();
    EXPECT_EQ(listing::Dump(), once) << "a second replay has the same result";
    EXPECT_EQ(seam::OpenHandles(), 0);
    EXPECT_EQ(once, listing::DumpOf(c.after));
  }
}

TEST_F(RestoreOldValuesTest, ReadsTheWholeJournalBeforeItWrites) {
  listing::Load(Entry("HKEY_CURRENT_USER\\A\\v", Sz("a")) + Entry("HKEY_CURRENT_USER\\B\\v", Sz("")));
  seam::ClearCalls();
  RestoreOldValues();
  const std::string journal = "HKEY_CURRENT_USER\\Software\\Norvale\\ravmo\\OldRegs";
  const std::vector<seam::Call> expected = {
      {"RegCreateKeyExA", journal},         {"RegEnumValueA", journal},
      {"RegEnumValueA", journal},           {"RegEnumValueA", journal},
      {"RegCreateKeyExA", "HKEY_CURRENT_USER\\A"}, {"RegSetValueExA", "HKEY_CURRENT_USER\\A\\v"},
      {"RegCreateKeyExA", "HKEY_CURRENT_USER\\B"}, {"RegDeleteValueA", "HKEY_CURRENT_USER\\B\\v"},
  };
  EXPECT_EQ(seam::RegistryCalls(), expected);
}

TEST_F(RestoreOldValuesTest, AnEmptyOrMissingJournalChangesNothingButCreatesTheKey) {
  const std::string fixture = "[HKCU\\Software\\T] \"v\" = \"x\"\n[HKCR\\.avi] @ = \"AVIFile\"\n";
  for (const std::string& journal : {std::string(), std::string("[HKCU\\Software\\Norvale\\ravmo\\OldRegs]\n")}) {
    SCOPED_TRACE(journal.empty() ? "missing" : "empty");
    seam::Reset();
    listing::Load(fixture + journal);
    RestoreOldValues();
    EXPECT_EQ(listing::Dump(), listing::DumpOf(fixture + "[HKCU\\Software\\Norvale\\ravmo\\OldRegs]\n"));
  }
}

TEST_F(RestoreOldValuesTest, RegistryFailuresEndOrSkipTheirStepOnly) {
  const std::string journal = Entry("HKEY_CURRENT_USER\\A\\v", Sz("a")) + Entry("HKEY_CURRENT_USER\\B\\v", Sz("b")) +
                              Entry("HKEY_CURRENT_USER\\C\\v", Sz("c"));
  struct FailureCase {
    const char* what;
    const char* op;
    const char* match;
    int nth;
    std::string after;
  };
  const FailureCase cases[] = {
      {"journal cannot be opened", "RegCreateKeyExA", "OldRegs", 0, journal},
      {"a write fails: the next entry is still replayed", "RegSetValueExA", "\\B\\", 0,
       journal + "[HKCU\\A] \"v\" = \"a\"\n[HKCU\\B]\n[HKCU\\C] \"v\" = \"c\"\n"},
      {"the walk fails at the second entry: it ends there", "RegEnumValueA", "", 2,
       journal + "[HKCU\\A] \"v\" = \"a\"\n"},
  };
  // Each failure hits the replay's calls only, so the registry can be read
  // back afterwards with the failure still armed.
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(journal);
    seam::Fail(c.op, c.match, ERROR_REGISTRY_IO_FAILED, c.nth);
    RestoreOldValues();
    const std::string actual = listing::Dump();
    EXPECT_EQ(actual, listing::DumpOf(c.after));
  }
}

}  // namespace
