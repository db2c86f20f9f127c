#include "seam.h"
#include "winapi.h"

class RegistrySmoke : public SeamTest {};

TEST_F(RegistrySmoke, CreateSetQueryEnumDelete) {
  HKEY k;
  DWORD disp = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp), 0);
  EXPECT_EQ(disp, REG_CREATED_NEW_KEY);
  ASSERT_EQ(RegSetValueExA(k, "MyValue", 0, REG_SZ, (const BYTE*)"hi", 3), 0);
  ASSERT_EQ(RegSetValueExA(k, "MYVALUE", 0, REG_SZ, (const BYTE*)"ho", 3), 0);
  char buf[10];
  DWORD size = sizeof buf, type = 0;
  ASSERT_EQ(RegQueryValueExA(k, "myvalue", nullptr, &type, (BYTE*)buf, &size), 0);
  EXPECT_STREQ(buf, "ho");
  char name[10];
  DWORD nl = sizeof name;
  size = sizeof buf;
  ASSERT_EQ(RegEnumValueA(k, 0, name, &nl, nullptr, &type, (BYTE*)buf, &size), 0);
  EXPECT_STREQ(name, "MyValue");
  nl = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 1, name, &nl, nullptr, &type, (BYTE*)buf, &size), ERROR_NO_MORE_ITEMS);
  RegCloseKey(k);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp), 0);
  EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &k), 0);
  EXPECT_EQ(RegDeleteKeyA(k, "A"), ERROR_ACCESS_DENIED);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_ALL_ACCESS, &k), 0);
  RegCloseKey(k);
}
