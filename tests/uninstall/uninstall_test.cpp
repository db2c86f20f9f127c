// The uninstall sequence on real folders (a private C: drive) and a private
// registry, through the seam.
#include <algorithm>

#include "../files/host_tree.h"
#include "change_journal.h"
#include "registry_access.h"
#include "support/file_bytes.h"
#include "uninstall.h"

namespace {

const char kProductKey[] = "Software\\Norvale\\Ravmo";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kRemovable[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kViewers[] = "Software\\Netscape\\Netscape Navigator\\Viewers";

bool KeyExists(HKEY hive, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueIs(HKEY hive, const char* path, const char* name, const char* expected) {
  Text text;
  return QueryRegString(hive, path, name, text, false) && text == expected;
}

// The file-system calls recorded by the seam.
std::vector<seam::Call> FileCalls() {
  std::vector<seam::Call> out;
  for (const seam::Call& c : seam::Calls()) {
    if (c.first.compare(0, 3, "Reg") != 0 && c.first != "MessageBoxA") out.push_back(c);
  }
  return out;
}

class Uninstall : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    tree.MapDrive();
  }

  // What an install leaves behind: the product key with its folder and a
  // journal entry, the removable-programs entry and the shell folders.
  void Installed(bool withInstalledDir = true) {
    if (withInstalledDir) WriteRegString(HKEY_CURRENT_USER, kProductKey, "InstalledDir", "C:\\Program Files\\Quillon");
    WriteRegString(HKEY_CURRENT_USER, kProductKey, "Version", "1");
    WriteRegString(HKEY_CURRENT_USER, kViewers, "video/avi", "C:\\Program Files\\Quillon\\quillon.exe");
    WriteRegString(HKEY_CURRENT_USER, kChangeJournalKey, FormatRegPath(HKEY_CURRENT_USER, kViewers, "video/avi"),
                   "C:\\old\\player.exe");
    WriteRegString(HKEY_LOCAL_MACHINE, Text(kRemovable) + "\\ravmo", "DisplayName", "Quillon");
    WriteRegString(HKEY_CURRENT_USER, kShellFolders, "Desktop", "C:\\Users\\me\\Desktop");
    WriteRegString(HKEY_CURRENT_USER, kShellFolders, "Programs", "C:\\Users\\me\\Start Menu\\Programs");
    seam::ClearCalls();
  }

  std::string Product(const std::string& rel) const { return tree.Host("Program Files/Quillon/" + rel); }
  std::string Desktop(const std::string& rel) const { return tree.Host("Users/me/Desktop/" + rel); }
  std::string Programs(const std::string& rel) const { return tree.Host("Users/me/Start Menu/Programs/" + rel); }

  static void Run() { DoUninstall(nullptr, nullptr, "C:\\Program Files\\Quillon\\cleanup.exe", SW_SHOW); }

  // No file call may leave the drive: an empty folder text would have put
  // "\temp" or "\Quillon.lnk" at the root of the current drive.
  static void ExpectOnlyDriveC() {
    for (const seam::Call& c : FileCalls())
      EXPECT_EQ(c.second.compare(0, 3, "C:\\"), 0) << c.first << " " << c.second;
  }

  HostTree tree;
};

TEST_F(Uninstall, RemovesTheProductsFilesKeysAndShortcuts) {
  tree.File(Product("temp/session.tmp"));
  tree.File(Product("temp/LOCK"));
  tree.File(Product("data/index.dat"));
  tree.File(Product("data/cache/page1"));
  tree.File(Product("ravmodat.clt"), "x", 0444);
  tree.SetDos(Product("ravmodat.clt"), "0x2");
  tree.File(Product("veskdata.clt"));
  tree.File(Product("quillon.exe"));
  tree.File(Programs("Quillon/Quillon.lnk"));
  tree.File(Programs("Quillon/Uninstall.lnk"));
  tree.File(Desktop("Quillon.lnk"));
  tree.File(Desktop("notes.txt"));
  Installed();

  Run();

  EXPECT_FALSE(testsupport::Exists(Product("temp")));
  // "data" keeps its subfolder, untouched, and so stays itself.
  EXPECT_FALSE(testsupport::Exists(Product("data/index.dat")));
  EXPECT_TRUE(testsupport::Exists(Product("data/cache/page1")));
  // The data files go whatever their attributes.
  EXPECT_FALSE(testsupport::Exists(Product("ravmodat.clt")));
  EXPECT_FALSE(testsupport::Exists(Product("veskdata.clt")));
  EXPECT_TRUE(testsupport::Exists(Product("quillon.exe")));
  EXPECT_FALSE(testsupport::Exists(Programs("Quillon")));
  EXPECT_FALSE(testsupport::Exists(Desktop("Quillon.lnk")));
  EXPECT_TRUE(testsupport::Exists(Desktop("notes.txt")));

  EXPECT_TRUE(ValueIs(HKEY_CURRENT_USER, kViewers, "video/avi", "C:\\old\\player.exe"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kChangeJournalKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Norvale"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (Text(kRemovable) + "\\ravmo").c_str()));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRemovable));
  EXPECT_TRUE(seam::Questions().empty());
}

TEST_F(Uninstall, ReplaysTheJournalBeforeAnythingElse) {
  tree.File(Product("temp/a"));
  Installed();
  Run();
  const auto& calls = seam::Calls();
  const auto restore = std::find(calls.begin(), calls.end(),
                                 seam::Call{"RegSetValueExA", Text("HKEY_CURRENT_USER\\") + kViewers + "\\video/avi"});
  ASSERT_NE(restore, calls.end());
  // The replay opens the journal first of all, and has put the value back
  // before any file is touched or any key deleted.
  ASSERT_FALSE(calls.empty());
  EXPECT_NE(calls.front().second.find("OldRegs"), std::string::npos) << calls.front().second;
  for (auto it = calls.begin(); it != restore; ++it) {
    EXPECT_NE(it->first, "RegDeleteKeyA") << it->second;
    EXPECT_EQ(it->first.compare(0, 3, "Reg"), 0) << it->first << " " << it->second;
  }
}

TEST_F(Uninstall, KeptFilesKeepTheirFolder) {
  tree.File(tree.Outside("elsewhere"), "not ours");
  tree.File(Product("temp/plain.txt"));
  tree.File(Product("temp/plain"));
  tree.File(Product("temp/readonly.txt"), "x", 0444);
  tree.File(Product("temp/archhidden"));
  tree.SetDos(Product("temp/archhidden"), "0x22");
  tree.File(Product("temp/system"));
  tree.SetDos(Product("temp/system"), "0x4");
  tree.File(Product("temp/.dotfile"));  // reads as hidden
  tree.Link(Product("temp/link"), tree.Outside("elsewhere"));
  Installed();

  Run();

  EXPECT_FALSE(testsupport::Exists(Product("temp/plain.txt")));
  EXPECT_FALSE(testsupport::Exists(Product("temp/plain")));
  for (const char* kept : {"readonly.txt", "archhidden", "system", ".dotfile", "link"})
    EXPECT_TRUE(testsupport::Exists(Product(std::string("temp/") + kept))) << kept;
  EXPECT_EQ(HostTree::Mode(Product("temp/readonly.txt")), 0444u);
  EXPECT_EQ(HostTree::Dos(Product("temp/archhidden")).value_or(""), "0x22");
  EXPECT_TRUE(testsupport::Exists(tree.Outside("elsewhere")));
}

TEST_F(Uninstall, ReadOnlyShortcutIsNotMadeWritable) {
  tree.File(Desktop("Quillon.lnk"), "x", 0444);
  Installed();
  Run();
  EXPECT_TRUE(testsupport::Exists(Desktop("Quillon.lnk")));
  EXPECT_EQ(HostTree::Mode(Desktop("Quillon.lnk")), 0444u);
  for (const seam::Call& c : FileCalls()) {
    if (c.second.find("Quillon.lnk") != std::string::npos) {
      EXPECT_NE(c.first, "SetFileAttributesA");
    }
  }
  EXPECT_EQ(std::count(seam::Calls().begin(), seam::Calls().end(),
                       seam::Call{"DeleteFileA", "C:\\Users\\me\\Desktop\\Quillon.lnk"}),
            1);
}

TEST_F(Uninstall, WithoutInstalledDirTheProductFolderIsUntouched) {
  tree.File(Product("temp/a"));
  tree.File(Product("veskdata.clt"));
  tree.File(Programs("Quillon/Quillon.lnk"));
  tree.File(Desktop("Quillon.lnk"));
  Installed(false);
  // No removable-programs entry either, as where the install wrote none.
  DeleteRegSubKey(HKEY_LOCAL_MACHINE, kRemovable, "ravmo");
  seam::ClearCalls();

  Run();

  EXPECT_TRUE(testsupport::Exists(Product("temp/a")));
  EXPECT_TRUE(testsupport::Exists(Product("veskdata.clt")));
  for (const seam::Call& c : FileCalls())
    EXPECT_EQ(c.second.find("Program Files"), std::string::npos) << c.first << " " << c.second;
  EXPECT_FALSE(testsupport::Exists(Programs("Quillon")));
  EXPECT_FALSE(testsupport::Exists(Desktop("Quillon.lnk")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Norvale"));
}

TEST_F(Uninstall, SecondRunFindsLittleAndBreaksNothing) {
  tree.File(Product("data/cache/page1"));
  tree.File(Product("quillon.exe"));
  tree.File(Desktop("notes.txt"));
  Installed();
  Run();
  seam::ClearCalls();

  Run();

  // No InstalledDir any more: only the shell folders' items are tried again.
  for (const seam::Call& c : FileCalls())
    EXPECT_EQ(c.second.find("Program Files"), std::string::npos) << c.first << " " << c.second;
  EXPECT_TRUE(testsupport::Exists(Product("data/cache/page1")));
  EXPECT_TRUE(testsupport::Exists(Product("quillon.exe")));
  EXPECT_TRUE(testsupport::Exists(Desktop("notes.txt")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Norvale"));
}

TEST_F(Uninstall, EmptyInstalledDirCountsAsMissing) {
  Installed();
  WriteRegString(HKEY_CURRENT_USER, kProductKey, "InstalledDir", "");
  tree.File(Desktop("Quillon.lnk"));
  seam::ClearCalls();
  Run();
  ExpectOnlyDriveC();
  for (const seam::Call& c : FileCalls())
    EXPECT_EQ(c.second.find(".clt"), std::string::npos) << c.first << " " << c.second;
  EXPECT_FALSE(testsupport::Exists(Desktop("Quillon.lnk")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProductKey));
}

TEST_F(Uninstall, UnreadableOrEmptyShellFolderSkipsOnlyItsStep) {
  struct Case {
    const char* what;
    const char* value;  // the shell folder value that goes wrong
    bool empty;         // true: stored empty; false: its read fails
    bool desktopDone;
    bool programsDone;
  };
  const Case cases[] = {
      {"Desktop empty", "Desktop", true, false, true},
      {"Desktop unreadable", "Desktop", false, false, true},
      {"Programs empty", "Programs", true, true, false},
      {"Programs unreadable", "Programs", false, true, false},
  };
  for (const Case& c : cases) {
    seam::Reset();
    tree.MapDrive();
    tree.File(Desktop("Quillon.lnk"));
    tree.File(Programs("Quillon/Quillon.lnk"));
    Installed();
    if (c.empty) WriteRegString(HKEY_CURRENT_USER, kShellFolders, c.value, "");
    else seam::Fail("RegQueryValueExA", std::string("Shell Folders\\") + c.value, ERROR_ACCESS_DENIED);
    seam::ClearCalls();

    Run();

    ExpectOnlyDriveC();
    EXPECT_EQ(!testsupport::Exists(Desktop("Quillon.lnk")), c.desktopDone) << c.what;
    EXPECT_EQ(!testsupport::Exists(Programs("Quillon")), c.programsDone) << c.what;
    EXPECT_EQ(seam::OpenHandles(), 0) << c.what;
  }
}

TEST_F(Uninstall, NeverDeletesThroughALink) {
  // Folders of the product that are links to somewhere else.
  tree.File(tree.Outside("shared_temp/keep.txt"));
  tree.File(tree.Outside("shared_data/keep.dat"));
  tree.File(tree.Outside("shared_menu/Other.lnk"));
  tree.Dir(tree.Host("Program Files/Quillon"));
  tree.Link(Product("temp"), tree.Outside("shared_temp"));
  tree.Link(Product("data"), tree.Outside("shared_data"));
  tree.Dir(tree.Host("Users/me/Start Menu/Programs"));
  tree.Link(Programs("Quillon"), tree.Outside("shared_menu"));
  // A data file that is a link: the link goes, the target keeps its mode.
  tree.File(tree.Outside("precious.clt"), "x", 0444);
  tree.Link(Product("ravmodat.clt"), tree.Outside("precious.clt"));
  Installed();

  Run();

  for (const char* kept : {"shared_temp/keep.txt", "shared_data/keep.dat", "shared_menu/Other.lnk"})
    EXPECT_TRUE(testsupport::Exists(tree.Outside(kept))) << kept;
  EXPECT_TRUE(testsupport::Exists(Product("temp")));
  EXPECT_TRUE(testsupport::Exists(Product("data")));
  EXPECT_TRUE(testsupport::Exists(Programs("Quillon")));
  EXPECT_FALSE(testsupport::Exists(Product("ravmodat.clt")));
  EXPECT_TRUE(testsupport::Exists(tree.Outside("precious.clt")));
  EXPECT_EQ(HostTree::Mode(tree.Outside("precious.clt")), 0444u);
}

TEST_F(Uninstall, LinksInsideTheFoldersStayWithTheirFolder) {
  tree.File(tree.Outside("outside_dir/keep"));
  tree.File(tree.Outside("outside_file"));
  tree.File(Product("data/plain.dat"));
  tree.Link(Product("data/linked_dir"), tree.Outside("outside_dir"));
  tree.File(Programs("Quillon/Quillon.lnk"));
  tree.Link(Programs("Quillon/linked_file"), tree.Outside("outside_file"));
  Installed();

  Run();

  EXPECT_FALSE(testsupport::Exists(Product("data/plain.dat")));
  EXPECT_TRUE(testsupport::Exists(Product("data/linked_dir")));
  EXPECT_TRUE(testsupport::Exists(tree.Outside("outside_dir/keep")));
  EXPECT_FALSE(testsupport::Exists(Programs("Quillon/Quillon.lnk")));
  EXPECT_TRUE(testsupport::Exists(Programs("Quillon/linked_file")));
  EXPECT_TRUE(testsupport::Exists(tree.Outside("outside_file")));
}

TEST_F(Uninstall, AFailedStepStopsNothing) {
  tree.File(Product("ravmodat.clt"));
  tree.File(Product("veskdata.clt"));
  tree.File(Desktop("Quillon.lnk"));
  Installed();
  seam::Fail("DeleteFileA", "ravmodat.clt", ERROR_SHARING_VIOLATION);
  seam::Fail("RegDeleteKeyA", "OldRegs", ERROR_ACCESS_DENIED);

  Run();

  EXPECT_TRUE(testsupport::Exists(Product("ravmodat.clt")));
  EXPECT_FALSE(testsupport::Exists(Product("veskdata.clt")));
  // The product key still holds the journal key, so the registry refuses it.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kChangeJournalKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (Text(kRemovable) + "\\ravmo").c_str()));
  EXPECT_FALSE(testsupport::Exists(Desktop("Quillon.lnk")));
}

}  // namespace
