// Keys: creating, opening, names, HKEY_CLASSES_ROOT, deleting, closing.
#include <string>
#include <vector>

#include "registry_helpers.h"
#include "seam.h"
#include "winapi.h"

using regtest::Create;
using regtest::Key;
using regtest::KeyThere;
using regtest::MakeKey;
using regtest::Open;

namespace {

struct CreateCase {
  const char* existing;  // created before the call ("" for none)
  const char* subkey;
  LONG error;
  DWORD disposition;   // when error is 0
  const char* there;   // a key under HKCU that must exist afterwards ("" for none)
  const char* absent;  // a key under HKCU that must not exist afterwards ("" for none)
};

class CreateKey : public SeamTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateKey, DispositionAndPath) {
  const CreateCase& c = GetParam();
  if (*c.existing) MakeKey(HKEY_CURRENT_USER, c.existing);
  Key k;
  DWORD disposition = 0;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, c.subkey, &k, &disposition), c.error);
  if (c.error == ERROR_SUCCESS) {
    EXPECT_EQ(disposition, c.disposition);
  } else {
    EXPECT_EQ(k.h, nullptr);
  }
  k.Close();
  if (*c.there) {
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, c.there));
  }
  if (*c.absent) {
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, c.absent));
  }
}

const std::string k255(255, 'k');
const std::string k256(256, 'k');
const std::string long_ok = "Software\\" + k255;
const std::string long_bad = "Software\\" + k256 + "\\Below";

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateKey,
    ::testing::Values(
        // A new path: every missing key above is created too.
        CreateCase{"", "Software\\A\\B\\C", 0, REG_CREATED_NEW_KEY, "Software\\A\\B", ""},
        // The same path again opens it.
        CreateCase{"Software\\A\\B\\C", "Software\\A\\B\\C", 0, REG_OPENED_EXISTING_KEY, "Software\\A\\B\\C", ""},
        // Names compare without regard to case.
        CreateCase{"Software\\A\\B", "SOFTWARE\\a\\b", 0, REG_OPENED_EXISTING_KEY, "", ""},
        // Only the last component is new: it is still a new key.
        CreateCase{"Software\\A", "Software\\A\\New", 0, REG_CREATED_NEW_KEY, "Software\\A\\New", ""},
        // A leading backslash is refused and creates nothing.
        CreateCase{"", "\\Software\\X", ERROR_BAD_PATHNAME, 0, "", "Software\\X"},
        // One trailing backslash is tolerated.
        CreateCase{"", "Software\\T\\", 0, REG_CREATED_NEW_KEY, "Software\\T", ""},
        // An empty component in the middle is refused.
        CreateCase{"", "Software\\\\X", ERROR_BAD_PATHNAME, 0, "", "Software\\X"},
        // A slash is part of a name, not a separator.
        CreateCase{"", "Software\\a/b", 0, REG_CREATED_NEW_KEY, "Software\\a/b", "Software\\a"},
        // 255 characters make a valid component.
        CreateCase{"", long_ok.c_str(), 0, REG_CREATED_NEW_KEY, long_ok.c_str(), ""},
        // 256 are refused, and nothing of the path is created.
        CreateCase{"", long_bad.c_str(), ERROR_INVALID_PARAMETER, 0, "", "Software"}));

TEST_F(SeamTest, CreateWithEmptySubkeyOpensTheKeyItself) {
  Key a, b;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Self", &a), 0);
  DWORD disposition = 0;
  ASSERT_EQ(Create(a.h, "", &b, &disposition), 0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(regtest::SetString(b.h, "V", "through b"), 0);
  EXPECT_EQ(regtest::Query(a.h, "V").data, std::string("through b", 10));
}

struct OpenCase {
  HKEY root;
  const char* subkey;  // nullptr is passed as is
  LONG error;
};

class OpenKey : public SeamTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenKey, ExistingKeysOnly) {
  MakeKey(HKEY_CURRENT_USER, "Software\\There");
  const OpenCase& c = GetParam();
  Key k;
  EXPECT_EQ(Open(c.root, c.subkey, &k), c.error);
  EXPECT_EQ(k.h != nullptr, c.error == ERROR_SUCCESS);
  k.Close();
  // Opening never creates.
  EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, "Software\\Missing"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenKey,
    ::testing::Values(
        // An existing key, in another case.
        OpenCase{HKEY_CURRENT_USER, "SOFTWARE\\THERE", 0},
        // With one trailing backslash.
        OpenCase{HKEY_CURRENT_USER, "Software\\There\\", 0},
        // A missing key.
        OpenCase{HKEY_CURRENT_USER, "Software\\Missing", ERROR_FILE_NOT_FOUND},
        // A missing key below a missing key.
        OpenCase{HKEY_CURRENT_USER, "Software\\Missing\\Deeper", ERROR_FILE_NOT_FOUND},
        // The empty subkey opens the root itself.
        OpenCase{HKEY_CURRENT_USER, "", 0},
        // So does a null one.
        OpenCase{HKEY_LOCAL_MACHINE, nullptr, 0},
        // HKEY_CLASSES_ROOT itself.
        OpenCase{HKEY_CLASSES_ROOT, "", 0},
        // An unknown handle.
        OpenCase{reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7777)), "", ERROR_INVALID_HANDLE}));

TEST_F(SeamTest, KeyNamesKeepTheirFirstSpelling) {
  MakeKey(HKEY_CURRENT_USER, "Software\\MixedCase\\Inner");
  MakeKey(HKEY_CURRENT_USER, "SOFTWARE\\MIXEDCASE\\INNER");
  Key k;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\mixedcase", &k), 0);
  EXPECT_EQ(regtest::SubkeyNames(k.h), std::vector<std::string>{"Inner"});
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software", &k), 0);
  EXPECT_EQ(regtest::SubkeyNames(k.h), std::vector<std::string>{"MixedCase"});
}

struct ViewCase {
  HKEY made_in;
  const char* made;
  HKEY seen_in;
  const char* seen;
  bool visible;
};

class ClassesRoot : public SeamTest, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(ClassesRoot, IsTheClassesKeyOfTheMachine) {
  const ViewCase& c = GetParam();
  Key made;
  ASSERT_EQ(Create(c.made_in, c.made, &made), 0);
  ASSERT_EQ(regtest::SetString(made.h, "", "default"), 0);
  made.Close();
  EXPECT_EQ(KeyThere(c.seen_in, c.seen), c.visible);
  if (c.visible) {
    EXPECT_EQ(regtest::ValueOf(c.seen_in, c.seen, nullptr), std::string("default", 8));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassesRoot,
    ::testing::Values(
        // Made through HKEY_CLASSES_ROOT, seen under HKLM.
        ViewCase{HKEY_CLASSES_ROOT, ".avi", HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.avi", true},
        // Made under HKLM (in another case), seen through HKEY_CLASSES_ROOT.
        ViewCase{HKEY_LOCAL_MACHINE, "Software\\classes\\AVIFile\\shell", HKEY_CLASSES_ROOT, "avifile\\Shell", true},
        // The user's own classes are not part of it.
        ViewCase{HKEY_CURRENT_USER, "Software\\Classes\\.mov", HKEY_CLASSES_ROOT, ".mov", false}));

TEST_F(SeamTest, ClassesRootStaysInPlace) {
  Key classes;
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "", &classes), 0);
  // Its default value does not exist until someone sets it.
  EXPECT_EQ(regtest::Query(classes.h, "").error, ERROR_FILE_NOT_FOUND);
  // Neither the view, nor the keys that hold it up, can be deleted, even
  // while they have no subkeys or under the Windows 95 rules.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes"), ERROR_ACCESS_DENIED);
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyThere(HKEY_CLASSES_ROOT, ""));
  EXPECT_EQ(regtest::Query(classes.h, "").error, ERROR_FILE_NOT_FOUND);
}

struct DeleteCase {
  bool win95;
  const char* subkey;  // deleted under HKCU\Software\D
  LONG error;
  std::vector<std::string> left;  // subkeys left under HKCU\Software\D, walked depth-first
};

class DeleteKey : public SeamTest, public ::testing::WithParamInterface<DeleteCase> {
 protected:
  // Software\D\Leaf, Software\D\Tree\Sub\Deep, each with a value.
  void SetUp() override {
    SeamTest::SetUp();
    for (const char* path : {"Software\\D\\Leaf", "Software\\D\\Tree", "Software\\D\\Tree\\Sub",
                             "Software\\D\\Tree\\Sub\\Deep"}) {
      Key k;
      ASSERT_EQ(Create(HKEY_CURRENT_USER, path, &k), 0);
      ASSERT_EQ(regtest::SetString(k.h, "V", path), 0);
    }
  }

  static void Walk(HKEY key, const std::string& prefix, std::vector<std::string>* out) {
    for (const std::string& name : regtest::SubkeyNames(key)) {
      out->push_back(prefix + name);
      Key sub;
      ASSERT_EQ(Open(key, name.c_str(), &sub), 0);
      Walk(sub.h, prefix + name + "\\", out);
    }
  }
};

TEST_P(DeleteKey, LeavesExactlyTheRest) {
  const DeleteCase& c = GetParam();
  if (c.win95) seam::SetEnv("WINHOST_PLATFORM", "win95");
  Key d;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\D", &d), 0);
  EXPECT_EQ(RegDeleteKeyA(d.h, c.subkey), c.error);
  std::vector<std::string> left;
  Walk(d.h, "", &left);
  EXPECT_EQ(left, c.left);
  // A deleted key that is made again starts empty: its values went with it.
  if (c.error == ERROR_SUCCESS) {
    Key again;
    DWORD disposition = 0;
    ASSERT_EQ(Create(d.h, c.subkey, &again, &disposition), 0);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(regtest::ValueNames(again.h), std::vector<std::string>{});
    EXPECT_EQ(regtest::SubkeyNames(again.h), std::vector<std::string>{});
  }
}

const std::vector<std::string> kAll = {"Leaf", "Tree", "Tree\\Sub", "Tree\\Sub\\Deep"};

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteKey,
    ::testing::Values(
        // A key without subkeys goes, with its value.
        DeleteCase{false, "leaf", 0, {"Tree", "Tree\\Sub", "Tree\\Sub\\Deep"}},
        // A key with subkeys is refused, and nothing is deleted.
        DeleteCase{false, "Tree", ERROR_ACCESS_DENIED, kAll},
        // So is one deeper down.
        DeleteCase{false, "Tree\\Sub", ERROR_ACCESS_DENIED, kAll},
        // The deepest key can go.
        DeleteCase{false, "Tree\\Sub\\Deep", 0, {"Leaf", "Tree", "Tree\\Sub"}},
        // A missing key.
        DeleteCase{false, "Missing", ERROR_FILE_NOT_FOUND, kAll},
        // A missing key below a missing key.
        DeleteCase{false, "Missing\\Deeper", ERROR_FILE_NOT_FOUND, kAll},
        // Under the Windows 95 rules the whole subtree goes.
        DeleteCase{true, "Tree", 0, {"Leaf"}},
        // Still only that subtree.
        DeleteCase{true, "Tree\\Sub", 0, {"Leaf", "Tree"}},
        // A missing key is still missing.
        DeleteCase{true, "Missing", ERROR_FILE_NOT_FOUND, kAll}));

// Every call through a handle whose key was deleted meanwhile.
TEST_F(SeamTest, DeletedKeySeenThroughAnOpenHandle) {
  Key stale, parent, under;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Gone\\Child", &under), 0);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Gone", &stale), 0);
  ASSERT_EQ(regtest::SetString(stale.h, "V", "old"), 0);
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Gone"), 0);
  // A new key made afterwards must not be reached through the old handles.
  Key fresh;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Fresh", &fresh), 0);
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Fresh2", &parent), 0);

  for (HKEY h : {stale.h, under.h}) {
    char name[16];
    DWORD len = sizeof name;
    Key k;
    EXPECT_EQ(regtest::Query(h, "V").error, ERROR_KEY_DELETED);
    EXPECT_EQ(regtest::SetString(h, "V", "new"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(h, "V"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValueA(h, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(Create(h, "Sub", &k), ERROR_KEY_DELETED);
    EXPECT_EQ(Open(h, "", &k), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(h, ""), ERROR_KEY_DELETED);
  }
  EXPECT_EQ(regtest::ValueNames(fresh.h), std::vector<std::string>{});
  EXPECT_EQ(regtest::SubkeyNames(fresh.h), std::vector<std::string>{});
  EXPECT_EQ(regtest::ValueNames(parent.h), std::vector<std::string>{});
  // Closing such a handle is still fine.
  EXPECT_EQ(RegCloseKey(stale.h), 0);
  stale.h = nullptr;
}

TEST_F(SeamTest, CloseKeyAndHandleCount) {
  // The predefined roots need no closing, and closing them is harmless.
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG})
    EXPECT_EQ(RegCloseKey(root), 0);
  // A handle never given out.
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x5555))), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

  HKEY a = nullptr, b = nullptr, c = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\H", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &a, nullptr), 0);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\H", 0, KEY_ALL_ACCESS, &b), 0);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_ALL_ACCESS, &c), 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(seam::OpenHandles(), 3);
  // A failed open gives no handle.
  HKEY none = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nope", 0, KEY_ALL_ACCESS, &none), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(seam::OpenHandles(), 3);
  EXPECT_EQ(RegCloseKey(a), 0);
  // Closed twice: the second time it is unknown.
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(b), 0);
  EXPECT_EQ(RegCloseKey(c), 0);
  EXPECT_EQ(seam::OpenHandles(), 0);
}

}  // namespace
