// AddNetscapeType and SetNetscapeViewer, compared as whole registries.
#include <string>
#include <vector>

#include "browser_viewers.h"
#include "entry.h"
#include "../journal/registry_listing.h"
#include "seam.h"
#include "support/setup_test.h"

using listing::Sz;

namespace {

const std::string kViewers = "[HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers]";

std::string Type(int n, const std::string& data) {
  return kViewers + " \"TYPE" + std::to_string(n) + "\" = " + data + "\n";
}

class ViewersTest : public SetupTest {};

struct TypeCase {
  const char* what;
  std::string fixture;
  std::string mimeType;
  std::string added;  // what the call adds to the fixture
};

TEST_F(ViewersTest, AddNetscapeTypeFillsTheFirstGapUnlessListedBeforeIt) {
  const std::string five = Type(0, Sz("a/0")) + Type(1, Sz("a/1")) + Type(2, Sz("video/avi")) +
                           Type(3, Sz("a/3")) + Type(4, Sz("a/4"));
  const std::string long200 = "x/" + std::string(198, 'l');
  const std::string long127 = "y/" + std::string(125, 'p');
  const std::string exactly128(128, 'z');
  std::string hex128 = "hex(3):7a";
  for (int i = 1; i < 128; ++i) hex128 += ",7a";
  const TypeCase cases[] = {
      {"no TYPE0", kViewers, "video/avi", Type(0, Sz("video/avi"))},
      {"five others", Type(0, Sz("a/0")) + Type(1, Sz("a/1")) + Type(2, Sz("a/2")) + Type(3, Sz("a/3")) +
                          Type(4, Sz("a/4")),
       "video/avi", Type(5, Sz("video/avi"))},
      {"listed as TYPE2", five, "video/avi", ""},
      {"other letter case is another type", Type(0, Sz("Video/AVI")), "video/avi", Type(1, Sz("video/avi"))},
      {"gap before an equal entry", Type(0, Sz("a/0")) + Type(2, Sz("video/avi")), "video/avi",
       Type(1, Sz("video/avi"))},
      {"entry of another type is compared as text", Type(0, "dword:0") + Type(1, "hex(3):76,2f,61"), "v/a", ""},
      // Entries too long for the 128-byte buffer exist: they are neither
      // overwritten nor the end of the list, and are compared whole.
      {"long entry before the gap", Type(0, Sz(long200)), "video/avi", Type(1, Sz("video/avi"))},
      {"long entry equal to the type", Type(0, Sz(long200)), long200, ""},
      {"long entry sharing its first 127 bytes", Type(0, Sz(long127 + "tail")), long127,
       Type(1, Sz(long127))},
      {"127 characters fit the buffer", Type(0, Sz(long127)), long127, ""},
      {"128 bytes without a zero", Type(0, hex128), exactly128, ""},
      {"browser key missing", "", "video/avi", ""},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(c.fixture);
    AddNetscapeType(c.mimeType);
    const std::string actual = listing::Dump();
    EXPECT_EQ(actual, listing::DumpOf(c.fixture + "\n" + c.added));
  }
}

TEST_F(ViewersTest, AddNetscapeTypeOpensQueriesUpToTheGapAndWritesThere) {
  listing::Load(Type(0, Sz("a/0")) + Type(1, Sz(std::string(300, 'q'))));
  seam::ClearCalls();
  AddNetscapeType("video/avi");
  const std::string key = "HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers";
  const std::vector<seam::Call> expected = {
      {"RegOpenKeyExA", key},
      {"RegQueryValueExA", key + "\\TYPE0"},
      {"RegQueryValueExA", key + "\\TYPE1"},  // too long for 128 bytes
      {"RegQueryValueExA", key + "\\TYPE1"},  // read whole
      {"RegQueryValueExA", key + "\\TYPE2"},
      {"RegSetValueExA", key + "\\TYPE2"},
  };
  EXPECT_EQ(seam::RegistryCalls(), expected);
}

TEST_F(ViewersTest, AddNetscapeTypeWritesNothingWhenAnEntryCannotBeRead) {
  // Only a missing entry ends the list: an entry whose read fails otherwise
  // may exist, and type-list entries are not journalled.
  const std::string fixture = Type(0, Sz("a/0")) + Type(1, Sz("a/1"));
  listing::Load(fixture);
  seam::Fail("RegQueryValueExA", "TYPE1", ERROR_ACCESS_DENIED);
  AddNetscapeType("video/avi");
  const std::string actual = listing::Dump();
  EXPECT_EQ(actual, listing::DumpOf(fixture));
}

struct ViewerCase {
  const char* what;
  std::string fixture;
  std::string prompt;
  std::vector<std::string> programs;  // one SetNetscapeViewer call each
  std::vector<int> answers;
  std::string after;  // the whole registry expected
};

TEST_F(ViewersTest, SetNetscapeViewerJournalsTheOldViewerFirst) {
  const std::string journal = "[HKCU\\Software\\Norvale\\ravmo\\OldRegs] "
                              "\"HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi\" = ";
  const std::string old = kViewers + " \"video/avi\" = \"old.exe\"\n";
  auto viewer = [](const std::string& program) { return kViewers + " \"video/avi\" = " + Sz(program) + "\n"; };
  const ViewerCase cases[] = {
      {"browser key missing", "", "", {"q.exe"}, {}, viewer("q.exe") + journal + Sz("") + "\n"},
      {"existing viewer, no question pending", old, "", {"q.exe"}, {},
       viewer("q.exe") + journal + Sz("old.exe") + "\n"},
      {"set twice: the journal keeps the first", old, "", {"q.exe", "r.exe"}, {},
       viewer("r.exe") + journal + Sz("old.exe") + "\n"},
      {"empty program", old, "", {""}, {}, viewer("") + journal + Sz("old.exe") + "\n"},
      {"existing viewer, user says No", old, "Replace?", {"q.exe"}, {IDNO}, old},
      {"existing viewer, user says Yes", old, "Replace?", {"q.exe"}, {IDYES},
       viewer("q.exe") + journal + Sz("old.exe") + "\n"},
  };
  for (const ViewerCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    listing::Load(c.fixture);
    if (!c.answers.empty()) seam::Answers({c.answers[0]});
    PromptText = c.prompt;
    for (const std::string& program : c.programs) SetNetscapeViewer("video/avi", program);
    EXPECT_EQ(seam::Questions().size(), c.answers.size());
    for (const seam::Question& q : seam::Questions()) {
      EXPECT_EQ(q.text, "Replace?");
      EXPECT_EQ(q.caption, "Quillon");
      EXPECT_EQ(q.style, 0x11024u);
    }
    const std::string actual = listing::Dump();
    EXPECT_EQ(actual, listing::DumpOf(c.after));
  }
}

}  // namespace
