#include <string>
#include <vector>

#include "registry_access.h"
#include "seam.h"

namespace {

const char kKey[] = "Software\\Norvale\\Test";
const char kKeyPath[] = "HKEY_CURRENT_USER\\Software\\Norvale\\Test";

class RegistryAccessTest : public SeamTest {
 protected:
  // Direct registry helpers, so that the checks do not go through the code
  // under test.
  static void SetRaw(const char* key, const char* name, DWORD type, const std::string& bytes) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(k);
  }
  static bool KeyExists(const char* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  }
  static int ValueCount(const char* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return -1;
    int n = 0;
    for (;;) {
      char name[300];
      DWORD nameSize = sizeof name;
      if (RegEnumValueA(k, n, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      ++n;
    }
    RegCloseKey(k);
    return n;
  }
  // Type and bytes of a value; type REG_NONE and "<missing>" when absent.
  static std::pair<DWORD, std::string> Raw(const char* key, const char* name) {
    std::pair<DWORD, std::string> out(REG_NONE, "<missing>");
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return out;
    std::string data(100000, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS)
      out = {type, data.substr(0, size)};
    RegCloseKey(k);
    return out;
  }
  static std::vector<seam::Call> Calls(std::initializer_list<seam::Call> calls) { return calls; }
};

TEST_F(RegistryAccessTest, QueryReadsStringsUpTo259Characters) {
  struct Case {
    size_t length;
    bool read;
  } cases[] = {{0, true}, {1, true}, {258, true}, {259, true}, {260, false}, {261, false}, {1000, false}};
  for (const Case& c : cases) {
    const std::string value(c.length, 'v');
    SetRaw(kKey, "Value", REG_SZ, value + '\0');
    Text text = "before";
    EXPECT_EQ(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, false), c.read) << c.length;
    EXPECT_EQ(text, c.read ? value : "before") << c.length;
    text = "before";
    EXPECT_EQ(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, true), c.read) << c.length;
    EXPECT_EQ(text, c.read ? value : "before") << c.length;
  }
}

TEST_F(RegistryAccessTest, QueryTakesAnyValueAsItsBytesUpToTheFirstZero) {
  struct Case {
    const char* why;
    DWORD type;
    std::string bytes;
    Text text;
  } cases[] = {
      {"dword", REG_DWORD, std::string("CBA\0", 4), "CBA"},
      {"dword with a zero low byte", REG_DWORD, std::string("\0AB\0", 4), ""},
      {"binary with a zero inside", REG_BINARY, std::string("ab\0cd", 5), "ab"},
      {"multi-string", REG_MULTI_SZ, std::string("one\0two\0\0", 9), "one"},
      {"expandable string", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), "%TEMP%\\x"},
      {"empty binary", REG_BINARY, "", ""},
      {"string stored without its zero", REG_SZ, "abc", "abc"},
      {"260 bytes without any zero", REG_BINARY, std::string(260, 'b'), std::string(260, 'b')},
      {"260 bytes with the zero last", REG_BINARY, std::string(259, 'c') + '\0', std::string(259, 'c')},
  };
  for (const Case& c : cases) {
    SetRaw(kKey, "Value", c.type, c.bytes);
    Text text = "before";
    EXPECT_TRUE(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, false)) << c.why;
    EXPECT_EQ(text, c.text) << c.why;
  }
  SetRaw(kKey, "Value", REG_BINARY, std::string(261, 'b'));
  Text text = "before";
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, false));
  EXPECT_EQ(text, "before");
}

TEST_F(RegistryAccessTest, QueryOfAMissingKeyCreatesItOnlyWhenAsked) {
  Text text = "before";
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, false));
  EXPECT_EQ(text, "before");
  EXPECT_FALSE(KeyExists("Software\\Norvale"));

  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, true));
  EXPECT_EQ(text, "before");
  EXPECT_TRUE(KeyExists(kKey));
  EXPECT_EQ(ValueCount(kKey), 0);

  // Now the key exists, but the value does not.
  for (bool create : {false, true}) {
    EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "Value", text, create));
    EXPECT_EQ(text, "before");
  }
}

TEST_F(RegistryAccessTest, QueryReadsTheDefaultValueAndTheRootKey) {
  SetRaw(kKey, "", REG_SZ, std::string("default\0", 8));
  Text text;
  EXPECT_TRUE(QueryRegString(HKEY_CURRENT_USER, kKey, "", text, false));
  EXPECT_EQ(text, "default");
  SetRaw("", "AtRoot", REG_SZ, std::string("root\0", 5));
  EXPECT_TRUE(QueryRegString(HKEY_CURRENT_USER, "", "AtRoot", text, true));
  EXPECT_EQ(text, "root");
}

TEST_F(RegistryAccessTest, QueryMakesExactlyTheRegistryCallsItNeeds) {
  Text text;
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, false));
  EXPECT_EQ(seam::RegistryCalls(), Calls({{"RegOpenKeyExA", kKeyPath}}));

  seam::ClearCalls();
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, true));
  // A key created just now holds nothing to read.
  EXPECT_EQ(seam::RegistryCalls(), Calls({{"RegCreateKeyExA", kKeyPath}}));

  seam::ClearCalls();
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, true));
  EXPECT_EQ(seam::RegistryCalls(),
            Calls({{"RegCreateKeyExA", kKeyPath}, {"RegQueryValueExA", std::string(kKeyPath) + "\\V"}}));

  seam::ClearCalls();
  EXPECT_FALSE(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, false));
  EXPECT_EQ(seam::RegistryCalls(),
            Calls({{"RegOpenKeyExA", kKeyPath}, {"RegQueryValueExA", std::string(kKeyPath) + "\\V"}}));
}

TEST_F(RegistryAccessTest, WriteStoresAStringWithItsZero) {
  EXPECT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "Empty", ""));
  EXPECT_EQ(Raw(kKey, "Empty"), std::make_pair(REG_SZ, std::string(1, '\0')));

  EXPECT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "", "\"C:\\Program Files\\q.exe\" \"%1\""));
  EXPECT_EQ(Raw(kKey, ""), std::make_pair(REG_SZ, std::string("\"C:\\Program Files\\q.exe\" \"%1\"") + '\0'));

  // A value of another type is replaced, under the first spelling of its name.
  SetRaw(kKey, "Number", REG_DWORD, std::string("\x01\0\0\0", 4));
  EXPECT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "NUMBER", "text"));
  EXPECT_EQ(Raw(kKey, "number"), std::make_pair(REG_SZ, std::string("text\0", 5)));
  EXPECT_EQ(ValueCount(kKey), 3);

  // A long text is stored whole: only reads are limited.
  const std::string big(5000, 'w');
  EXPECT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "Big", big));
  EXPECT_EQ(Raw(kKey, "Big").second, big + '\0');
}

TEST_F(RegistryAccessTest, WriteCreatesTheKeyAndTheKeysAboveIt) {
  EXPECT_TRUE(WriteRegString(HKEY_CURRENT_USER, "Software\\A\\B\\C", "V", "x"));
  EXPECT_EQ(seam::RegistryCalls(), Calls({{"RegCreateKeyExA", "HKEY_CURRENT_USER\\Software\\A\\B\\C"},
                                          {"RegSetValueExA", "HKEY_CURRENT_USER\\Software\\A\\B\\C\\V"}}));
  EXPECT_EQ(Raw("Software\\A\\B\\C", "V"), std::make_pair(REG_SZ, std::string("x\0", 2)));
}

TEST_F(RegistryAccessTest, DeleteValueRemovesOneValue) {
  SetRaw(kKey, "Gone", REG_SZ, std::string("x\0", 2));
  SetRaw(kKey, "Kept", REG_SZ, std::string("y\0", 2));
  seam::ClearCalls();
  EXPECT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, kKey, "gone"));
  EXPECT_EQ(seam::RegistryCalls(),
            Calls({{"RegCreateKeyExA", kKeyPath}, {"RegDeleteValueA", std::string(kKeyPath) + "\\gone"}}));
  EXPECT_EQ(Raw(kKey, "Gone").second, "<missing>");
  EXPECT_EQ(Raw(kKey, "Kept").second, std::string("y\0", 2));
  EXPECT_FALSE(DeleteRegValue(HKEY_CURRENT_USER, kKey, "Gone"));
}

TEST_F(RegistryAccessTest, DeleteValueOfAMissingKeyLeavesTheKeyBehind) {
  EXPECT_FALSE(DeleteRegValue(HKEY_CURRENT_USER, kKey, "V"));
  EXPECT_TRUE(KeyExists(kKey));
  EXPECT_EQ(ValueCount(kKey), 0);
}

TEST_F(RegistryAccessTest, DeleteSubKeyRemovesAnEmptySubkey) {
  SetRaw("Software\\Norvale\\Test\\Sub", "V", REG_SZ, std::string("x\0", 2));
  SetRaw(kKey, "Own", REG_SZ, std::string("y\0", 2));
  seam::ClearCalls();
  EXPECT_TRUE(DeleteRegSubKey(HKEY_CURRENT_USER, kKey, "SUB"));
  EXPECT_EQ(seam::RegistryCalls(),
            Calls({{"RegCreateKeyExA", kKeyPath}, {"RegDeleteKeyA", std::string(kKeyPath) + "\\SUB"}}));
  EXPECT_FALSE(KeyExists("Software\\Norvale\\Test\\Sub"));
  EXPECT_EQ(ValueCount(kKey), 1);
  EXPECT_FALSE(DeleteRegSubKey(HKEY_CURRENT_USER, kKey, "Sub"));
}

TEST_F(RegistryAccessTest, DeleteSubKeyOfAMissingParentLeavesTheParentBehind) {
  EXPECT_FALSE(DeleteRegSubKey(HKEY_CURRENT_USER, kKey, "Sub"));
  EXPECT_TRUE(KeyExists(kKey));
  EXPECT_EQ(ValueCount(kKey), 0);
}

TEST_F(RegistryAccessTest, DeleteSubKeyWithSubkeysOfItsOwnIsRefused) {
  SetRaw("Software\\Norvale\\Test\\Sub\\Deeper", "V", REG_SZ, std::string("x\0", 2));
  EXPECT_FALSE(DeleteRegSubKey(HKEY_CURRENT_USER, kKey, "Sub"));
  EXPECT_TRUE(KeyExists("Software\\Norvale\\Test\\Sub\\Deeper"));
}

TEST_F(RegistryAccessTest, HiveOfClassesRootIsUsedAsGiven) {
  EXPECT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, ".avi", "", "avifile"));
  Text text;
  EXPECT_TRUE(QueryRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.avi", "", text, false));
  EXPECT_EQ(text, "avifile");
  EXPECT_TRUE(DeleteRegValue(HKEY_CLASSES_ROOT, ".avi", ""));
  EXPECT_FALSE(QueryRegString(HKEY_CLASSES_ROOT, ".avi", "", text, false));
}

// Every failing step answers false, leaves the text alone and closes what it
// opened (the fixture counts the open handles).
TEST_F(RegistryAccessTest, FailingStepsAnswerFalseAndCloseTheKey) {
  struct Case {
    const char* op;
    bool queryOpen, queryCreate, write, deleteValue, deleteSubKey;
  } cases[] = {
      {"RegOpenKeyExA", false, true, true, true, true},
      {"RegCreateKeyExA", true, false, false, false, false},
      {"RegQueryValueExA", false, false, true, true, true},
      {"RegSetValueExA", true, true, false, true, true},
      {"RegDeleteValueA", true, true, true, false, true},
      {"RegDeleteKeyA", true, true, true, true, false},
  };
  for (const Case& c : cases) {
    seam::Reset();
    SetRaw(kKey, "V", REG_SZ, std::string("old\0", 4));
    SetRaw("Software\\Norvale\\Test\\Sub", "V", REG_SZ, std::string("x\0", 2));
    seam::Fail(c.op, "", ERROR_ACCESS_DENIED);
    Text text = "before";
    EXPECT_EQ(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, false), c.queryOpen) << c.op;
    EXPECT_EQ(text, c.queryOpen ? "old" : "before") << c.op;
    text = "before";
    EXPECT_EQ(QueryRegString(HKEY_CURRENT_USER, kKey, "V", text, true), c.queryCreate) << c.op;
    EXPECT_EQ(text, c.queryCreate ? "old" : "before") << c.op;
    EXPECT_EQ(WriteRegString(HKEY_CURRENT_USER, kKey, "W", "new"), c.write) << c.op;
    EXPECT_EQ(DeleteRegValue(HKEY_CURRENT_USER, kKey, "V"), c.deleteValue) << c.op;
    EXPECT_EQ(DeleteRegSubKey(HKEY_CURRENT_USER, kKey, "Sub"), c.deleteSubKey) << c.op;
    EXPECT_EQ(seam::OpenHandles(), 0) << c.op;
  }
}

}  // namespace
