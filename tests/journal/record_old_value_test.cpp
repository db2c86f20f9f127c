// RecordOldValue: when it asks, what it journals, and that a journalled entry
// keeps the content from before the first change.
#include <string>
#include <vector>

#include "change_journal.h"
#include "entry.h"
#include "registry_listing.h"
#include "seam.h"
#include "support/setup_test.h"

using listing::Get;
using listing::Sz;

namespace {

const char kJournal[] = "HKCU\\Software\\Norvale\\ravmo\\OldRegs";
const char kEntry[] = "HKEY_CURRENT_USER\\Software\\T\\v";

class RecordOldValueTest : public SetupTest {};

struct RecordCase {
  const char* what;
  std::string fixture;     // the value HKCU\Software\T "v", if any
  const char* prompt;
  std::vector<int> answers;
  bool result;
  bool asked;
  std::string journalled;  // entry data as Get shows it, "<absent>" for none
};

std::string ValueV(const std::string& data) { return "[HKCU\\Software\\T] \"v\" = " + data; }

TEST_F(RecordOldValueTest, AsksOnlyForAnExistingValueAndJournalsItsContent) {
  const std::string long259(259, 'c');
  const std::string long260(260, 'a');
  const std::string long5000 = std::string(4999, 'b') + "!";
  const RecordCase cases[] = {
      {"absent value, question pending", "[HKCU\\Software\\T]", "Q?", {}, true, false, Sz("")},
      {"absent key, question pending", "", "Q?", {}, true, false, Sz("")},
      {"existing, no question pending", ValueV(Sz("old")), "", {}, true, false, Sz("old")},
      {"existing, No", ValueV(Sz("old")), "Q?", {IDNO}, false, true, "<absent>"},
      {"existing, box fails", ValueV(Sz("old")), "Q?", {0}, false, true, "<absent>"},
      {"existing, Yes", ValueV(Sz("old")), "Q?", {IDYES}, true, true, Sz("old")},
      {"existing empty content", ValueV(Sz("")), "Q?", {IDYES}, true, true, Sz("")},
      {"REG_DWORD, bytes to the first zero", ValueV("dword:434241"), "Q?", {IDYES}, true, true, Sz("ABC")},
      {"259 characters", ValueV(Sz(long259)), "Q?", {IDYES}, true, true, Sz(long259)},
      // Too long for the 260-byte read, yet present: asked about, kept whole.
      {"260 characters", ValueV(Sz(long260)), "Q?", {IDYES}, true, true, Sz(long260)},
      {"5000 characters", ValueV(Sz(long5000)), "Q?", {IDYES}, true, true, Sz(long5000)},
      {"260 characters, No", ValueV(Sz(long260)), "Q?", {IDNO}, false, true, "<absent>"},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(c.fixture);
    const std::string before = Get("HKCU\\Software\\T", "v");
    if (!c.answers.empty()) seam::Answers({c.answers[0]});
    PromptText = c.prompt;

    EXPECT_EQ(RecordOldValue(HKEY_CURRENT_USER, "Software\\T", "v"), c.result);

    ASSERT_EQ(seam::Questions().size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(seam::Questions()[0].text, "Q?");
      EXPECT_EQ(seam::Questions()[0].caption, "Quillon");
      EXPECT_EQ(seam::Questions()[0].style, 0x11024u);
    }
    EXPECT_EQ(Get(kJournal, kEntry), c.journalled);
    EXPECT_EQ(Get("HKCU\\Software\\T", "v"), before) << "the value itself is never changed";
    if (!c.result) {
      EXPECT_FALSE(listing::KeyExists(kJournal)) << "a refusal journals nothing";
    }
    if (c.fixture.empty()) {
      EXPECT_FALSE(listing::KeyExists("HKCU\\Software\\T")) << "a read creates no key";
    }
    EXPECT_EQ(PromptText, c.prompt) << "the question stays for the next call";
  }
}

TEST_F(RecordOldValueTest, ASecondRecordAsksAgainAndKeepsTheFirstContent) {
  // The long row holds an entry that QueryRegString cannot read: it must
  // still be found, not overwritten with the changed value.
  for (const std::string& first : {std::string("first"), std::string(300, 'f')}) {
    SCOPED_TRACE(first.size());
    seam::Reset();
    listing::Load("[HKCU\\Software\\T] \"v\" = \"" + first + "\"");
    PromptText = "Replace?";
    seam::Answers({IDYES, IDYES});
    ASSERT_TRUE(RecordOldValue(HKEY_CURRENT_USER, "Software\\T", "v"));
    listing::Load("[HKCU\\Software\\T] \"v\" = \"changed by the caller\"");
    EXPECT_TRUE(RecordOldValue(HKEY_CURRENT_USER, "Software\\T", "v"));
    EXPECT_EQ(seam::Questions().size(), 2u);
    EXPECT_EQ(Get(kJournal, kEntry), Sz(first));
  }
}

TEST_F(RecordOldValueTest, ReadsThenLooksForTheEntryThenWritesIt) {
  listing::Load("[HKCU\\Software\\T] \"v\" = \"old\"");
  seam::ClearCalls();
  ASSERT_TRUE(RecordOldValue(HKEY_CURRENT_USER, "Software\\T", "v"));
  const std::string journal = "HKEY_CURRENT_USER\\Software\\Norvale\\ravmo\\OldRegs";
  const std::vector<seam::Call> expected = {
      {"RegOpenKeyExA", "HKEY_CURRENT_USER\\Software\\T"},
      {"RegQueryValueExA", "HKEY_CURRENT_USER\\Software\\T\\v"},
      {"RegOpenKeyExA", journal},  // the entry lookup: no journal yet
      {"RegOpenKeyExA", journal},  // the whole read that tells "too long" from "absent"
      {"RegCreateKeyExA", journal},
      {"RegSetValueExA", journal + "\\" + kEntry},
  };
  EXPECT_EQ(seam::RegistryCalls(), expected);
}

TEST_F(RecordOldValueTest, AnEntryThatCannotBeWrittenStopsTheCaller) {
  listing::Load("[HKCU\\Software\\T] \"v\" = \"old\"");
  seam::Fail("RegSetValueExA", "OldRegs", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RecordOldValue(HKEY_CURRENT_USER, "Software\\T", "v"));
  EXPECT_EQ(Get(kJournal, kEntry), "<absent>");
}

}  // namespace
