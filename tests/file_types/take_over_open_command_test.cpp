// TakeOverOpenCommand: the class walk, the created class, the question, and
// the whole registry each leaves behind.
#include <string>
#include <vector>

#include "entry.h"
#include "file_types.h"
#include "../journal/registry_listing.h"
#include "seam.h"
#include "support/setup_test.h"

using listing::Sz;

namespace {

const char kAviPath[] = "HKEY_CLASSES_ROOT\\.avi\\shell\\open\\command";
const char kCommand[] = "C:\\Quillon\\q.exe \"%1\"";

class TakeOverTest : public SetupTest {};

// What a take-over that went through leaves for the class key `classKey`:
// the command, the default verb and the journal entry with `oldCommand`.
std::string TakenOver(const std::string& classKey, const std::string& oldCommand) {
  return "[HKCR\\" + classKey + "\\shell\\open\\command] @ = \"" + kCommand + "\"\n" + "[HKCR\\" + classKey +
         "\\shell] @ = \"open\"\n" + "[HKCU\\Software\\Norvale\\ravmo\\OldRegs] \"HKEY_CLASSES_ROOT\\" + classKey +
         "\\shell\\open\\command\\\" = " + Sz(oldCommand) + "\n";
}

struct WalkCase {
  const char* what;
  std::string fixture;
  std::string classKey;  // where the command goes
  bool created;          // the extension is given "avi_auto_file"
};

TEST_F(TakeOverTest, TheClassWalkFindsTheClassKey) {
  const std::string tooLong(300, 'n');
  const WalkCase cases[] = {
      {"extension never registered", "", ".avi", false},
      {"class key missing", "[HKCR\\.avi] @ = \"AVIFile\"", ".avi", false},
      {"class with an empty default value", "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"\"", "AVIFile",
       false},
      {"class whose default names no key", "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"Video Clip\"",
       "AVIFile", false},
      {"class naming a further class",
       "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"AVIFile.2\"\n[HKCR\\AVIFile.2] @ = \"Video\"",
       "AVIFile.2", false},
      {"class without a default value", "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile\\shell]", ".avi", false},
      {"class default too long to read", "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"" + tooLong + "\"",
       ".avi", false},
      {"empty extension default, root default readable", "[HKCR\\.avi] @ = \"\"\n[HKCR] @ = \"root\"",
       "avi_auto_file", true},
      {"empty extension default, no root default", "[HKCR\\.avi] @ = \"\"", ".avi", false},
      // Loops end on the last key reached before the walk would return to a
      // key already passed.
      {"extension naming itself", "[HKCR\\.avi] @ = \".avi\"", ".avi", false},
      {"class naming itself", "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"AVIFile\"", "AVIFile", false},
      {"loop through another spelling", "[HKCR\\.avi] @ = \"Foo\"\n[HKCR\\Foo] @ = \"foo\"", "Foo", false},
      {"three-key loop",
       "[HKCR\\.avi] @ = \"A\"\n[HKCR\\A] @ = \"B\"\n[HKCR\\B] @ = \"C\"\n[HKCR\\C] @ = \"A\"", "C", false},
      {"loop back to the extension", "[HKCR\\.avi] @ = \"A\"\n[HKCR\\A] @ = \".AVI\"", "A", false},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(c.fixture);
    PromptText = "Handle AVI?";
    EXPECT_TRUE(TakeOverOpenCommand(kAviPath, kCommand));
    EXPECT_TRUE(seam::Questions().empty()) << "there was no command to ask about";
    const std::string actual = listing::Dump();
    const std::string created = c.created ? "[HKCR\\.avi] @ = \"avi_auto_file\"\n" : "";
    EXPECT_EQ(actual, listing::DumpOf(c.fixture + "\n" + created + TakenOver(c.classKey, "")));
  }
}

struct AskCase {
  const char* what;
  const char* prompt;
  int answer;
  bool result;
  bool asked;
};

TEST_F(TakeOverTest, AnExistingCommandIsReplacedOnlyWithTheUsersYes) {
  const std::string fixture =
      "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"Video Clip\"\n"
      "[HKCR\\AVIFile\\shell] @ = \"play\"\n[HKCR\\AVIFile\\shell\\open\\command] @ = \"old.exe %1\"\n";
  const AskCase cases[] = {
      {"Yes", "Handle AVI?", IDYES, true, true},
      {"No", "Handle AVI?", IDNO, false, true},
      {"box fails", "Handle AVI?", 0, false, true},
      {"no question pending", "", 0, true, false},
  };
  for (const AskCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(fixture);
    seam::Answers({c.answer});
    PromptText = c.prompt;
    EXPECT_EQ(TakeOverOpenCommand(kAviPath, kCommand), c.result);
    ASSERT_EQ(seam::Questions().size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(seam::Questions()[0].text, c.prompt);
      EXPECT_EQ(seam::Questions()[0].caption, "Quillon");
      EXPECT_EQ(seam::Questions()[0].style, 0x11024u);
    }
    const std::string actual = listing::Dump();
    EXPECT_EQ(actual, listing::DumpOf(c.result ? fixture + TakenOver("AVIFile", "old.exe %1") : fixture));
  }
}

TEST_F(TakeOverTest, ACreatedClassStaysWhenTheUserRefuses) {
  const std::string fixture =
      "[HKCR\\.avi] @ = \"\"\n[HKCR] @ = \"root\"\n[HKCR\\avi_auto_file\\shell\\open\\command] @ = \"old\"\n";
  listing::Load(fixture);
  PromptText = "Handle AVI?";
  seam::Answers({IDNO});
  EXPECT_FALSE(TakeOverOpenCommand(kAviPath, kCommand));
  const std::string actual = listing::Dump();
  EXPECT_EQ(actual, listing::DumpOf(fixture + "[HKCR\\.avi] @ = \"avi_auto_file\"\n"));
}

TEST_F(TakeOverTest, ASecondTakeOverAsksAgainAndTheJournalKeepsTheFirstCommand) {
  const std::string fixture = "[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile\\shell\\open\\command] @ = \"old.exe\"\n"
                              "[HKCR\\AVIFile] @ = \"\"\n";
  listing::Load(fixture);
  PromptText = "Handle AVI?";
  seam::Answers({IDYES, IDYES});
  EXPECT_TRUE(TakeOverOpenCommand(kAviPath, kCommand));
  EXPECT_TRUE(TakeOverOpenCommand(kAviPath, kCommand));
  EXPECT_EQ(seam::Questions().size(), 2u);
  const std::string actual = listing::Dump();
  EXPECT_EQ(actual, listing::DumpOf(fixture + TakenOver("AVIFile", "old.exe")));
}

TEST_F(TakeOverTest, TheHivePieceIsIgnored) {
  EXPECT_TRUE(TakeOverOpenCommand("HKEY_CURRENT_USER\\.avi\\shell\\open\\command", kCommand));
  const std::string actual = listing::Dump();
  EXPECT_EQ(actual, listing::DumpOf(TakenOver(".avi", "")));
}

TEST_F(TakeOverTest, WalksReadsThenJournalsThenWrites) {
  listing::Load("[HKCR\\.avi] @ = \"AVIFile\"\n[HKCR\\AVIFile] @ = \"Video Clip\"\n");
  seam::ClearCalls();
  ASSERT_TRUE(TakeOverOpenCommand(kAviPath, kCommand));
  std::vector<seam::Call> valueCalls;
  for (const seam::Call& call : seam::RegistryCalls()) {
    if (call.first == "RegQueryValueExA" || call.first == "RegSetValueExA") valueCalls.push_back(call);
  }
  const std::string classes = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
  const std::vector<seam::Call> expected = {
      {"RegQueryValueExA", classes + ".avi\\"},     // 2.2 of the first pass
      {"RegQueryValueExA", classes + "AVIFile\\"},  // 2.3
      {"RegQueryValueExA", classes + "AVIFile\\"},  // 2.2 of the second pass; "Video Clip" has no key
      {"RegSetValueExA",
       "HKEY_CURRENT_USER\\Software\\Norvale\\ravmo\\OldRegs\\HKEY_CLASSES_ROOT\\AVIFile\\shell\\open\\command\\"},
      {"RegSetValueExA", classes + "AVIFile\\shell\\open\\command\\"},
      {"RegSetValueExA", classes + "AVIFile\\shell\\"},
  };
  EXPECT_EQ(valueCalls, expected);
}

TEST_F(TakeOverTest, AShortPathTextIsNoCrash) {
  // The install passes fixed texts; these only must not read or write out of
  // bounds or leave a key open.
  for (const char* path : {"", "HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT\\.avi", "\\", "\\\\\\"}) {
    SCOPED_TRACE(path);
    seam::Reset();
    EXPECT_TRUE(TakeOverOpenCommand(path, kCommand));
    EXPECT_EQ(seam::OpenHandles(), 0);
  }
}

}  // namespace
