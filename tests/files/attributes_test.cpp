// Attributes as winhost reads and writes them on the host: the mode's write
// bits, the user.DOSATTRIB text, dot names, folders and links.
#include <functional>

#include "host_tree.h"
#include "winapi.h"

namespace {

class FileAttributes : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    tree.MapDrive();
  }
  HostTree tree;
};

// Reads the attributes of C:\<name> through GetFileAttributesA and through a
// search for exactly that name; both must agree.
DWORD ReadBoth(const std::string& name, DWORD* from_search) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(HostTree::Win(name).c_str(), &data);
  *from_search = h == INVALID_HANDLE_VALUE ? INVALID_FILE_ATTRIBUTES : data.dwFileAttributes;
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  return GetFileAttributesA(HostTree::Win(name).c_str());
}

TEST_F(FileAttributes, ReadFromModeXattrNameAndKind) {
  struct Case {
    const char* name;
    std::function<void(const HostTree&, const std::string&)> make;
    DWORD expected;
  };
  const Case cases[] = {
      // Nothing stored: a plain file is ARCHIVE, never NORMAL.
      {"plain", [](const HostTree& t, const std::string& p) { t.File(p); }, 0x20},
      {"readonly", [](const HostTree& t, const std::string& p) { t.File(p, "x", 0444); }, 0x21},
      // Write bits for the group alone still make the file writable.
      {"groupwrite", [](const HostTree& t, const std::string& p) { t.File(p, "x", 0464); }, 0x20},
      // A stored value replaces the ARCHIVE default, bits and all.
      {"hidden", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x2"); }, 0x02},
      {"archhidden", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x22"); }, 0x22},
      {"system", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0X4"); }, 0x04},
      // The text form followed by a zero byte and a binary tail.
      {"tail", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, std::string("0x22\0\3\0\xff", 8)); }, 0x22},
      // READONLY comes from the mode alone, never from the stored text.
      {"storedro", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x21"); }, 0x20},
      {"bothro", [](const HostTree& t, const std::string& p) { t.File(p, "x", 0444); t.SetDos(p, "0x6"); }, 0x07},
      // Garbage counts as nothing stored.
      {"garbage", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "hello"); }, 0x20},
      {"bare0x", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x"); }, 0x20},
      {"toolong", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x123456789"); }, 0x20},
      {"suffix", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, "0x2zz"); }, 0x20},
      {"empty", [](const HostTree& t, const std::string& p) { t.File(p); t.SetDos(p, ""); }, 0x20},
      {".dotfile", [](const HostTree& t, const std::string& p) { t.File(p); }, 0x22},
      {".dotro", [](const HostTree& t, const std::string& p) { t.File(p, "x", 0444); }, 0x23},
      {"folder", [](const HostTree& t, const std::string& p) { t.Dir(p); }, 0x10},
      {"hiddenfolder", [](const HostTree& t, const std::string& p) { t.Dir(p); t.SetDos(p, "0x2"); }, 0x12},
      // Links: never followed, whatever the target's attributes.
      {"filelink", [](const HostTree& t, const std::string& p) {
         t.File(t.Outside("ro_target"), "x", 0444);
         t.Link(p, t.Outside("ro_target"));
       }, 0x400},
      {"dirlink", [](const HostTree& t, const std::string& p) {
         t.Dir(t.Outside("dir_target"));
         t.Link(p, t.Outside("dir_target"));
       }, 0x410},
      {"dangling", [](const HostTree& t, const std::string& p) { t.Link(p, t.Outside("nothing")); }, 0x400},
  };
  for (const Case& c : cases) {
    c.make(tree, tree.Host(c.name));
    DWORD from_search = 0;
    EXPECT_EQ(ReadBoth(c.name, &from_search), c.expected) << c.name;
    EXPECT_EQ(from_search, c.expected) << c.name << " (search)";
  }
}

TEST_F(FileAttributes, MissingEntryAndMissingFolder) {
  EXPECT_EQ(GetFileAttributesA("C:\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA("C:\\nofolder\\nothing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileAttributes, TrailingSeparatorNamesAFolderAndNeverFollowsALink) {
  tree.Dir(tree.Host("dir"));
  tree.File(tree.Host("file"));
  tree.Dir(tree.Outside("target"));
  tree.Link(tree.Host("link"), tree.Outside("target"));
  EXPECT_EQ(GetFileAttributesA("C:\\dir\\"), 0x10u);
  EXPECT_EQ(GetFileAttributesA("C:\\file\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  // "link/" would make lstat follow the link: the separator is dropped first.
  EXPECT_EQ(GetFileAttributesA("C:\\link\\"), 0x410u);
}

TEST_F(FileAttributes, SetWritesModeAndStoredText) {
  struct Case {
    const char* name;
    mode_t mode_before;
    const char* stored_before;  // nullptr: none
    DWORD set;
    mode_t mode_after;
    const char* stored_after;  // nullptr: none
    DWORD reads;
  };
  const Case cases[] = {
      // NORMAL gives back the owner's write bit and forgets the stored bits.
      {"normal_ro_hidden", 0444, "0x27", FILE_ATTRIBUTE_NORMAL, 0644, nullptr, 0x20},
      {"normal_plain", 0664, nullptr, FILE_ATTRIBUTE_NORMAL, 0664, nullptr, 0x20},
      // READONLY takes away every write bit; alone it reads as exactly that.
      {"readonly", 0666, nullptr, FILE_ATTRIBUTE_READONLY, 0444, "0x0", 0x01},
      {"ro_hidden", 0644, nullptr, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0444, "0x2", 0x03},
      {"arch_hidden", 0444, nullptr, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 0644, "0x22", 0x22},
      {"system", 0600, "junk", FILE_ATTRIBUTE_SYSTEM, 0600, "0x4", 0x04},
      // Bits that cannot be set are ignored; nothing settable is NORMAL.
      {"dirbit", 0444, "0x2", FILE_ATTRIBUTE_DIRECTORY, 0644, nullptr, 0x20},
  };
  for (const Case& c : cases) {
    const std::string host = tree.Host(c.name);
    tree.File(host, "x", c.mode_before);
    if (c.stored_before) tree.SetDos(host, c.stored_before);
    EXPECT_TRUE(SetFileAttributesA(HostTree::Win(c.name).c_str(), c.set)) << c.name;
    EXPECT_EQ(HostTree::Mode(host), c.mode_after) << c.name;
    const auto stored = HostTree::Dos(host);
    if (c.stored_after) {
      EXPECT_EQ(stored.value_or("<none>"), c.stored_after) << c.name;
    } else {
      EXPECT_FALSE(stored.has_value()) << c.name << ": " << stored.value_or("");
    }
    EXPECT_EQ(GetFileAttributesA(HostTree::Win(c.name).c_str()), c.reads) << c.name;
  }
}

TEST_F(FileAttributes, SetOnALinkLeavesTheTargetAlone) {
  const std::string target = tree.Outside("target");
  tree.File(target, "x", 0444);
  tree.SetDos(target, "0x2");
  tree.Link(tree.Host("link"), target);
  EXPECT_TRUE(SetFileAttributesA("C:\\link", FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(SetFileAttributesA("C:\\link", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(HostTree::Mode(target), 0444u);
  EXPECT_EQ(HostTree::Dos(target).value_or(""), "0x2");
}

TEST_F(FileAttributes, SetOnAMissingFile) {
  EXPECT_FALSE(SetFileAttributesA("C:\\nothing", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
