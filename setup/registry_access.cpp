#include "registry_access.h"

#include <cstring>
#include <memory>
#include <new>

// Opens (createKey) or creates the key. *created reports REG_CREATED_NEW_KEY.
static bool OpenKey(HKEY hive, const Text& keyPath, bool createKey, HKEY& key, bool& created) {
  created = false;
  if (createKey) {
    DWORD disposition = 0;
    if (RegCreateKeyExA(hive, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
      return false;
    created = disposition == REG_CREATED_NEW_KEY;
    return true;
  }
  return RegOpenKeyExA(hive, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
}

bool QueryRegString(HKEY hive, const Text& keyPath, const Text& valueName, Text& text, bool createKey) {
  HKEY key = nullptr;
  bool created = false;
  if (!OpenKey(hive, keyPath, createKey, key, created)) return false;
  if (created) {
    RegCloseKey(key);
    return false;
  }
  BYTE buffer[kRegReadLimit];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const bool ok = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  text = TextOfBytes(buffer, size, sizeof buffer);
  return true;
}

bool QueryRegStringWhole(HKEY hive, const Text& keyPath, const Text& valueName, Text& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  const bool ok = ReadValueText(key, valueName, kRegReadLimit, text) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

LONG ReadValueText(HKEY key, const Text& valueName, DWORD firstSize, Text& text) {
  DWORD size = firstSize;
  LONG status = ERROR_MORE_DATA;
  for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 9; ++attempt) {
    const DWORD capacity = size ? size : 1;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[capacity]);
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    size = capacity;
    DWORD type = 0;
    status = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.get(), &size);
    if (status == ERROR_SUCCESS) text = TextOfBytes(buffer.get(), size, capacity);
  }
  return status;
}

Text TextOfBytes(const void* bytes, DWORD size, DWORD capacity) {
  if (size > capacity) size = capacity;
  const char* text = static_cast<const char*>(bytes);
  const void* zero = std::memchr(text, 0, size);
  const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : size;
  return Text(text, length);
}

bool WriteRegString(HKEY hive, const Text& keyPath, const Text& valueName, const Text& data) {
  HKEY key = nullptr;
  bool created = false;
  if (!OpenKey(hive, keyPath, true, key, created)) return false;
  const bool ok = RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(Length(data) + 1)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool DeleteRegValue(HKEY hive, const Text& keyPath, const Text& valueName) {
  HKEY key = nullptr;
  bool created = false;
  if (!OpenKey(hive, keyPath, true, key, created)) return false;
  const bool ok = RegDeleteValueA(key, valueName.c_str()) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool DeleteRegSubKey(HKEY hive, const Text& keyPath, const Text& subKey) {
  HKEY key = nullptr;
  bool created = false;
  if (!OpenKey(hive, keyPath, true, key, created)) return false;
  const bool ok = RegDeleteKeyA(key, subKey.c_str()) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

static const char* HiveName(HKEY hive) {
  if (hive == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (hive == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (hive == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return "HKEY_USERS";
}

Text FormatRegPath(HKEY hive, const Text& keyPath, const Text& valueName) {
  return Text(HiveName(hive)) + "\\" + keyPath + "\\" + valueName;
}

void ParseRegPath(Text text, HKEY& hive, Text& keyPath, Text& valueName) {
  const int first = Find(text, '\\');
  if (first <= 0) return;
  const Text name = Left(text, first);
  if (TextEquals(name, "HKEY_CLASSES_ROOT")) hive = HKEY_CLASSES_ROOT;
  else if (TextEquals(name, "HKEY_CURRENT_USER")) hive = HKEY_CURRENT_USER;
  else if (TextEquals(name, "HKEY_LOCAL_MACHINE")) hive = HKEY_LOCAL_MACHINE;
  else hive = HKEY_USERS;
  const Text remainder = Right(text, Length(text) - first - 1);
  const int last = ReverseFind(remainder, '\\');
  keyPath = last < 0 ? Text() : Left(remainder, last);
  valueName = last < 0 ? remainder : Right(remainder, Length(remainder) - last - 1);
}
