#include <string>

#include "entry.h"
#include "registry_access.h"
#include "seam.h"

namespace {

const char kExpectedUninstallQuestion[] =
    "Are you sure you want to uninstall the Quillon?\n"
    "If so, make sure all applications are closed for a complete uninstallation of \n"
    "the Quillon.";

TEST(SplitVerbTest, SplitsAtTheFirstSpaceOnly) {
  const Text longRest = "\"C:\\Program Files\\Quillon\\q.exe\" " + Text(1000, 'a') + " end";
  struct Case {
    const char* why;
    Text line;
    bool found;
    Text verb;
    Text rest;
  } cases[] = {
      {"plain", "Install foo", true, "Install", "foo"},
      {"small letters", "install foo", true, "install", "foo"},
      {"longer word", "Installx foo", true, "Installx", "foo"},
      {"tab joins the words", "Install\tfoo bar", true, "Install\tfoo", "bar"},
      {"quoted path with arguments",
       "Install \"C:\\Program Files\\Quillon\\q.exe\" -open \"%1\"", true, "Install",
       "\"C:\\Program Files\\Quillon\\q.exe\" -open \"%1\""},
      {"two spaces", "Install  word", true, "Install", " word"},
      {"trailing spaces kept", "Install x  ", true, "Install", "x  "},
      {"verb alone", "Install", true, "Install", ""},
      {"verb and one space", "Install ", true, "Install", ""},
      {"leading spaces", "   Uninstall cmd /c x", true, "Uninstall", "cmd /c x"},
      {"empty", "", false, "", ""},
      {"spaces only", "     ", false, "", ""},
      {"tab is a word", "\t", true, "\t", ""},
      {"far longer than 259", "Install " + longRest, true, "Install", longRest},
  };
  for (const Case& c : cases) {
    Text verb = "old verb";
    Text rest = "old rest";
    EXPECT_EQ(SplitVerb(c.line, verb, rest), c.found) << c.why;
    EXPECT_EQ(verb, c.verb) << c.why;
    EXPECT_EQ(rest, c.rest) << c.why;
  }
}

class EntryTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    Fresh();
  }
  // A fresh seam and registry, within one test too.
  static void Fresh() {
    seam::Reset();
    PromptText.clear();
    // The uninstall sequence removes files at places read from the registry;
    // nothing here may touch the host's files.
    for (const char* op : {"FindFirstFileA", "SetFileAttributesA", "DeleteFileA", "RemoveDirectoryA"})
      seam::Fail(op, "", ERROR_ACCESS_DENIED);
  }
  void TearDown() override {
    PromptText.clear();
    SeamTest::TearDown();
  }

  static int Run(const Text& commandLine) {
    Text copy = commandLine;
    return WinMain(nullptr, nullptr, &copy[0], SW_SHOWNORMAL);
  }

  static int CallsOf(const std::string& op) {
    int n = 0;
    for (const seam::Call& c : seam::Calls()) n += c.first == op;
    return n;
  }
};

TEST_F(EntryTest, LinesWithoutAKnownVerbDoNothing) {
  for (const Text line : {"", "     ", "Installx C:\\q.exe", "Install\tC:\\q.exe", "Instal x", "Uninstal x",
                          "Uninstall\tx", "Deinstall x", "x Install"}) {
    seam::ClearCalls();
    seam::Answers({IDYES});
    EXPECT_EQ(Run(line), 0) << line;
    EXPECT_TRUE(seam::Calls().empty()) << line << ": " << seam::Calls().front().first;
  }
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
  EXPECT_TRUE(seam::Questions().empty());
  EXPECT_TRUE(seam::Starts().empty());
}

TEST_F(EntryTest, InstallAsksNothingAndStartsNothing) {
  for (const Text line : {"Install C:\\Quillon\\q.exe -x", "INSTALL q", "install  q", "  InStAlL  a"}) {
    Fresh();  // a second install would find values to ask about
    EXPECT_EQ(Run(line), 0) << line;
    EXPECT_TRUE(seam::Questions().empty()) << line;
    EXPECT_EQ(CallsOf("WinExec"), 0) << line;
    EXPECT_FALSE(seam::RegistryCalls().empty()) << line << ": the install sequence did not run";
  }
  EXPECT_TRUE(seam::Starts().empty());
}

// The install sequence makes the whole rest the open command of the file
// types, and the part before its first space their browser viewer.
TEST_F(EntryTest, InstallHandsTheRestOnExactly) {
  struct Case {
    Text line;
    Text openCommand;
    const char* viewer;  // nullptr: not checked
  } cases[] = {
      {"Install \"C:\\Program Files\\Quillon\\q.exe\" -open \"%1\"",
       "\"C:\\Program Files\\Quillon\\q.exe\" -open \"%1\"", "\"C:\\Program"},
      {"install  C:\\q.exe", " C:\\q.exe", nullptr},
      {"INSTALL q", "q", nullptr},
      {"Install C:\\" + Text(400, 'q') + " \"%1\"", "C:\\" + Text(400, 'q') + " \"%1\"", nullptr},
      {"Install C:\\q.exe \"%1\"", "C:\\q.exe \"%1\"", "C:\\q.exe"},
  };
  for (const Case& c : cases) {
    Fresh();
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, ".avi", "", "avifile"));
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "avifile", "", "Video Clip"));
    EXPECT_EQ(Run(c.line), 0);
    HKEY key = nullptr;
    char data[1024] = "<missing>";
    DWORD size = sizeof data;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "avifile\\shell\\open\\command", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS)
        << c.line;
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Text(data), c.openCommand) << c.line;
    if (!c.viewer) continue;
    Text viewer = "<missing>";
    QueryRegString(HKEY_CURRENT_USER, "Software\\Netscape\\Netscape Navigator\\Viewers", "application/dsl",
                   viewer, false);
    EXPECT_EQ(viewer, c.viewer) << c.line;
  }
}

TEST_F(EntryTest, UninstallAnsweredYesRunsTheFollowUpCommandLast) {
  seam::Answers({IDYES});
  EXPECT_EQ(Run("Uninstall C:\\Quillon\\cleanup.exe /all \"C:\\a b\""), 0);
  ASSERT_EQ(seam::Questions().size(), 1u);
  EXPECT_EQ(seam::Questions()[0].text, kExpectedUninstallQuestion);
  EXPECT_EQ(seam::Questions()[0].caption, "Quillon");
  EXPECT_EQ(seam::Questions()[0].style, 0x11024u);
  ASSERT_EQ(seam::Starts().size(), 1u);
  EXPECT_EQ(seam::Starts()[0].op, "WinExec");
  EXPECT_EQ(seam::Starts()[0].command_line, "C:\\Quillon\\cleanup.exe /all \"C:\\a b\"");
  // The uninstall sequence has run, and returned before the command starts.
  EXPECT_FALSE(seam::RegistryCalls().empty());
  ASSERT_FALSE(seam::Calls().empty());
  EXPECT_EQ(seam::Calls().back().first, "WinExec");
  EXPECT_EQ(CallsOf("WinExec"), 1);
}

TEST_F(EntryTest, UninstallHandsOnAFollowUpCommandOfAnyLength) {
  const Text command = "C:\\Quillon\\cleanup.exe " + Text(2000, 'z');
  seam::Answers({IDYES});
  EXPECT_EQ(Run("uninstall " + command), 0);
  ASSERT_EQ(seam::Starts().size(), 1u);
  EXPECT_EQ(seam::Starts()[0].command_line, command);
}

TEST_F(EntryTest, UninstallAloneStartsTheEmptyCommand) {
  for (const Text line : {"Uninstall", "Uninstall "}) {
    seam::ClearCalls();
    seam::Answers({IDYES});
    EXPECT_EQ(Run(line), 0);
    ASSERT_FALSE(seam::Calls().empty());
    EXPECT_EQ(seam::Calls().back(), seam::Call("WinExec", ""));
  }
  EXPECT_TRUE(seam::Starts().empty());
}

TEST_F(EntryTest, UninstallNotAnsweredYesChangesNothing) {
  for (int answer : {IDNO, 0, IDOK, IDCANCEL, -1}) {
    seam::ClearCalls();
    seam::Answers({answer});
    EXPECT_EQ(Run("Uninstall C:\\cleanup.exe"), 0) << answer;
    // Only the question: no registry, file or process call.
    ASSERT_EQ(seam::Calls().size(), 1u) << answer;
    EXPECT_EQ(seam::Calls()[0].first, "MessageBoxA");
  }
  EXPECT_TRUE(seam::Starts().empty());
}

TEST_F(EntryTest, ConfirmUninstallIsYesOnlyForYes) {
  struct Case {
    int answer;
    bool yes;
  } cases[] = {{IDYES, true}, {IDNO, false}, {0, false}, {IDCANCEL, false}};
  for (const Case& c : cases) {
    seam::Answers({c.answer});
    EXPECT_EQ(ConfirmUninstall(), c.yes) << c.answer;
  }
  ASSERT_EQ(seam::Questions().size(), 4u);
  for (const seam::Question& q : seam::Questions()) {
    EXPECT_EQ(q.text, kExpectedUninstallQuestion);
    EXPECT_EQ(q.caption, "Quillon");
    EXPECT_EQ(q.style, 0x11024u);
  }
}

TEST_F(EntryTest, ConfirmChangeWithoutAQuestionIsYesWithoutABox) {
  seam::Answers({IDNO});
  EXPECT_TRUE(ConfirmChange());
  EXPECT_TRUE(ConfirmChange());
  EXPECT_TRUE(seam::Questions().empty());
  EXPECT_TRUE(seam::Calls().empty());
}

TEST_F(EntryTest, ConfirmChangeAsksTheSameQuestionEachTime) {
  PromptText = "Would you like the Quillon to handle AVI files?";
  seam::Answers({IDYES, IDNO, 0});
  EXPECT_TRUE(ConfirmChange());
  EXPECT_FALSE(ConfirmChange());
  EXPECT_FALSE(ConfirmChange());  // a box that cannot be shown is No
  EXPECT_EQ(PromptText, "Would you like the Quillon to handle AVI files?");
  ASSERT_EQ(seam::Questions().size(), 3u);
  for (const seam::Question& q : seam::Questions()) {
    EXPECT_EQ(q.text, "Would you like the Quillon to handle AVI files?");
    EXPECT_EQ(q.caption, "Quillon");
    EXPECT_EQ(q.style, 0x11024u);
  }
  PromptText.clear();
  EXPECT_TRUE(ConfirmChange());
  EXPECT_EQ(seam::Questions().size(), 3u);
}

}  // namespace
