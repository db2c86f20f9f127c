// DoInstall end to end on the hosted registry, and the replay after it.
#include <initializer_list>
#include <string>
#include <vector>

#include "change_journal.h"
#include "install.h"
#include "install_support.h"

using listing::Get;
using listing::Sz;
using namespace install_test;

namespace {

const char* const kQuestions[] = {
    "Would you like the Quillon to handle AVI files?",
    "Would you like the Quillon to handle MPG files?",
    "Would you like the Quillon to handle MOV (QuickTime) files?",
    "Would you like the Quillon to handle PDF (Adobe Acrobat) files?",
    "Would you like the Quillon to handle ZIP (Compressed) files?",
};

void Install(const std::string& text) { DoInstall(nullptr, nullptr, text, SW_SHOW); }

std::string Journalled(const std::string& name, const std::string& old) {
  return kJournalKey + " \"" + name + "\" = " + Sz(old) + "\n";
}
std::string Command(const std::string& classKey) {
  return "[HKCR\\" + classKey + "\\shell\\open\\command] @ = \"" + kInstallText + "\"\n" + "[HKCR\\" + classKey +
         "\\shell] @ = \"open\"\n";
}
std::string Viewer(const std::string& mimeType) { return kViewersKey + " \"" + mimeType + "\" = \"" + kViewer + "\"\n"; }

void ExpectQuestions(const std::vector<int>& rows) {
  ASSERT_EQ(seam::Questions().size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(seam::Questions()[i].text, kQuestions[rows[i]]);
    EXPECT_EQ(seam::Questions()[i].caption, "Quillon");
    EXPECT_EQ(seam::Questions()[i].style, 0x11024u);
  }
}

TEST_F(InstallTest, HandlersPresentAnswersMixedOnWindows95) {
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  listing::Load(kMachine);
  const std::string before = listing::Dump();
  seam::Answers({IDYES, IDNO, IDYES});  // AVI yes, MPG no, PDF yes; MOV and ZIP are not asked
  Install(kInstallText);
  ExpectQuestions({0, 1, 3});
  EXPECT_EQ(PromptText, "");

  const std::string machineWithoutDerPut = kMachine.substr(0, kMachine.find("[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\"")) +
                                           "[HKCU\\Software\\Norvale\\Ravmo] \"InstalledDir\" = \"C:\\Quillon\"\n";
  const std::string journal =
      Journalled("HKEY_CLASSES_ROOT\\AVIFile\\shell\\open\\command\\", "player.exe /play %1") +
      Journalled("HKEY_CLASSES_ROOT\\.mov\\shell\\open\\command\\", "") +
      Journalled("HKEY_CLASSES_ROOT\\PdfDocument\\shell\\open\\command\\", "pdfreader.exe %1") +
      Journalled("HKEY_CLASSES_ROOT\\ZipArchive\\shell\\open\\command\\", "") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi", "aviview.exe") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/x-msvideo", "") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/quicktime", "") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\application/pdf",
                 "pdfview.exe") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\application/zip", "") +
      Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\application/dsl", "");
  const std::string unjournalled =
      "[HKCR\\AVIFile\\shell] @ = \"open\"\n[HKCR\\.mov\\shell] @ = \"open\"\n"
      "[HKCR\\PdfDocument\\shell] @ = \"open\"\n[HKCR\\ZipArchive\\shell] @ = \"open\"\n" +
      kViewersKey + " \"TYPE2\" = \"application/dsl\"\n" + kViewersKey + " \"TYPE3\" = \"video/quicktime\"\n" +
      kViewersKey + " \"TYPE4\" = \"application/pdf\"\n" + kViewersKey + " \"TYPE5\" = \"application/zip\"\n" +
      kUninstallKey + " \"DisplayName\" = \"Quillon\"\n" + kUninstallKey + " \"UninstallString\" = \"" + kDerPut +
      "\"\n";
  // Later lines of a listing replace earlier values of the same name.
  const std::string installed = machineWithoutDerPut + unjournalled + journal + Command("AVIFile") + Command(".mov") +
                                Command("PdfDocument") + Command("ZipArchive") + Viewer("video/avi") +
                                Viewer("video/x-msvideo") + Viewer("video/quicktime") + Viewer("application/pdf") +
                                Viewer("application/zip") + Viewer("application/dsl");
  const std::string afterInstall = listing::Dump();
  RestoreOldValues();
  const std::string afterReplay = listing::Dump();
  EXPECT_EQ(afterInstall, listing::DumpOf(installed));
  EXPECT_EQ(afterReplay, listing::DumpOf(machineWithoutDerPut + unjournalled + journal +
                                         "[HKCR\\.mov\\shell\\open\\command]\n[HKCR\\ZipArchive\\shell\\open\\command]\n"));
  ExpectOnlyUnjournalledChanges(before, afterReplay);
}

struct Scenario {
  const char* what;
  const char* platform;
  std::string fixture;
  std::initializer_list<int> answers;
  std::vector<int> asked;  // rows of the questions shown, in order
  int runs;
};

// Every scenario ends with the replay, after which only the changes that are
// not journalled may remain.
TEST_F(InstallTest, TheReplayPutsBackEveryJournalledValue) {
  const std::string allFive =
      "[HKCR\\.avi\\shell\\open\\command] @ = \"a.exe\"\n[HKCR\\.mpg\\shell\\open\\command] @ = \"m.exe\"\n"
      "[HKCR\\.mov\\shell\\open\\command] @ = \"q.exe\"\n[HKCR\\.pdf\\shell\\open\\command] @ = \"p.exe\"\n"
      "[HKCR\\.zip\\shell\\open\\command] @ = \"z.exe\"\n";
  const Scenario cases[] = {
      {"mixed answers, Windows NT", "winnt", kMachine, {IDYES, IDNO, IDYES}, {0, 1, 3}, 1},
      {"all five refused", "win95", allFive + kViewersKey + " \"application/pdf\" = \"p.exe\"\n",
       {IDNO, IDNO, IDNO, IDNO, IDNO}, {0, 1, 2, 3, 4}, 1},
      {"browser key missing, all refused", "win95", allFive, {IDNO, IDNO, IDNO, IDNO, IDNO}, {0, 1, 2, 3, 4}, 1},
      {"browser key missing, AVI taken over", "win95", "", {}, {}, 1},
      // The second run asks about every type with a command, now mostly the
      // product's own; the journal keeps what the first run saw.
      {"second install", "win95", kMachine, {IDYES, IDNO, IDYES, IDYES, IDYES, IDYES, IDYES, IDYES},
       {0, 1, 3, 0, 1, 2, 3, 4}, 2},
  };
  for (const Scenario& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    seam::SetEnv("WINHOST_PLATFORM", c.platform);
    listing::Load(c.fixture);
    const std::string before = listing::Dump();
    seam::Answers(c.answers);
    for (int run = 0; run < c.runs; ++run) Install(kInstallText);
    ExpectQuestions(c.asked);
    RestoreOldValues();
    ExpectOnlyUnjournalledChanges(before, listing::Dump());
  }
}

TEST_F(InstallTest, ASecondInstallKeepsTheFirstJournalAndFindsDerPutGone) {
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  listing::Load(kMachine);
  seam::Answers({IDYES, IDNO, IDYES, IDYES, IDYES, IDYES, IDYES, IDYES});
  Install(kInstallText);
  Install(kInstallText);
  const std::string journal = "HKCU\\Software\\Norvale\\ravmo\\OldRegs";
  EXPECT_EQ(Get(journal, "HKEY_CLASSES_ROOT\\AVIFile\\shell\\open\\command\\"), Sz("player.exe /play %1"));
  EXPECT_EQ(Get(journal, "HKEY_CLASSES_ROOT\\.mov\\shell\\open\\command\\"), Sz(""));
  // Refused the first time, taken over the second: journalled then.
  EXPECT_EQ(Get(journal, "HKEY_CLASSES_ROOT\\mpegfile\\shell\\open\\command\\"), Sz("player.exe %1"));
  EXPECT_EQ(Get(journal, "HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\video/avi"),
            Sz("aviview.exe"));
  EXPECT_EQ(Get("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo", "UninstallString"),
            Sz(""));
  EXPECT_EQ(Get("HKCR\\mpegfile\\shell\\open\\command", ""), Sz(kInstallText));
}

TEST_F(InstallTest, AllRefusedStillListsTypesAndSetsTheAlwaysHandledViewer) {
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  const std::string fixture =
      "[HKCR\\.avi\\shell\\open\\command] @ = \"a.exe\"\n[HKCR\\.mpg\\shell\\open\\command] @ = \"m.exe\"\n"
      "[HKCR\\.mov\\shell\\open\\command] @ = \"q.exe\"\n[HKCR\\.pdf\\shell\\open\\command] @ = \"p.exe\"\n"
      "[HKCR\\.zip\\shell\\open\\command] @ = \"z.exe\"\n" +
      kViewersKey + " \"TYPE0\" = \"application/pdf\"\n";
  listing::Load(fixture);
  seam::Answers({IDNO, IDNO, IDNO, IDNO, IDNO});
  Install(kInstallText);
  ExpectQuestions({0, 1, 2, 3, 4});
  const std::string actual = listing::Dump();
  EXPECT_EQ(actual,
            listing::DumpOf(fixture + kViewersKey + " \"TYPE1\" = \"video/avi\"\n" + kViewersKey +
                            " \"TYPE2\" = \"application/dsl\"\n" + kViewersKey + " \"TYPE3\" = \"video/quicktime\"\n" +
                            kViewersKey + " \"TYPE4\" = \"application/zip\"\n" + Viewer("application/dsl") +
                            Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\"
                                       "application/dsl",
                                       "") +
                            kUninstallKey + " \"DisplayName\" = \"Quillon\"\n" + kUninstallKey +
                            " \"UninstallString\" = \"\"\n" + "[HKCU\\Software\\Norvale\\Ravmo]\n"));
}

TEST_F(InstallTest, WithoutTheBrowserKeyTheTypeListDependsOnAnEarlierViewerWrite) {
  const std::string allFive =
      "[HKCR\\.avi\\shell\\open\\command] @ = \"a.exe\"\n[HKCR\\.mpg\\shell\\open\\command] @ = \"m.exe\"\n"
      "[HKCR\\.mov\\shell\\open\\command] @ = \"q.exe\"\n[HKCR\\.pdf\\shell\\open\\command] @ = \"p.exe\"\n"
      "[HKCR\\.zip\\shell\\open\\command] @ = \"z.exe\"\n";
  const std::string viewers = "HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers";
  // Everything refused: no viewer write comes before the type list.
  seam::SetEnv("WINHOST_PLATFORM", "winnt");
  listing::Load(allFive);
  seam::Answers({IDNO, IDNO, IDNO, IDNO, IDNO});
  Install(kInstallText);
  const std::string refused = listing::Dump();
  EXPECT_EQ(refused, listing::DumpOf(allFive + Viewer("application/dsl") +
                                     Journalled("HKEY_CURRENT_USER\\Software\\Netscape\\Netscape Navigator\\Viewers\\"
                                                "application/dsl",
                                                "")));
  // AVI taken over: its viewer write creates the key, the list starts at TYPE0.
  seam::Reset();
  Install(kInstallText);
  const char* const listed[] = {"video/avi", "application/dsl", "video/quicktime", "application/pdf",
                                "application/zip"};
  for (int n = 0; n < 5; ++n) EXPECT_EQ(Get(viewers, "TYPE" + std::to_string(n)), Sz(listed[n])) << n;
  EXPECT_EQ(Get(viewers, "TYPE5"), "<absent>");
}

struct TextCase {
  const char* installText;
  const char* viewer;
};

TEST_F(InstallTest, TheViewerIsTheInstallTextUpToItsFirstSpace) {
  const TextCase cases[] = {
      {"C:\\Quillon\\q.exe -open \"%1\"", "C:\\Quillon\\q.exe"},
      {"C:\\Quillon\\q.exe", ""},    // no space
      {" C:\\Quillon\\q.exe -x", ""},  // starts with a space
      {"\"C:\\Program Files\\q.exe\" %1", "\"C:\\Program"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.installText);
    seam::Reset();
    Install(c.installText);
    EXPECT_TRUE(seam::Questions().empty());
    for (const char* ext : {".avi", ".mpg", ".mov", ".pdf", ".zip"})
      EXPECT_EQ(Get(std::string("HKCR\\") + ext + "\\shell\\open\\command", ""), Sz(c.installText)) << ext;
    for (const char* mimeType : {"video/avi", "video/x-msvideo", "video/mpeg", "video/quicktime", "application/pdf",
                                 "application/zip", "application/dsl"})
      EXPECT_EQ(Get("HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers", mimeType), Sz(c.viewer)) << mimeType;
  }
}

TEST_F(InstallTest, AnInstallTextOfBlanksOnlyChangesNothing) {
  // Such a text names no program; taking it as the open command would leave
  // every file type with a command that opens nothing.
  for (const char* text : {"", " ", "   ", " \t "}) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    seam::Reset();
    seam::SetEnv("WINHOST_PLATFORM", "win95");
    listing::Load(kMachine);
    const std::string before = listing::Dump();
    seam::ClearCalls();
    seam::Answers({IDYES, IDYES, IDYES, IDYES, IDYES});
    Install(text);
    EXPECT_TRUE(seam::Questions().empty());
    EXPECT_TRUE(seam::Calls().empty());
    EXPECT_EQ(listing::Dump(), before);
  }
}

}  // namespace
