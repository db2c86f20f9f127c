#include "registry_helpers.h"

#include <gtest/gtest.h>

namespace regtest {

LONG Create(HKEY root, const char* sub, Key* key, DWORD* disposition) {
  return RegCreateKeyExA(root, sub, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key->out(),
                         disposition);
}

LONG Open(HKEY root, const char* sub, Key* key) { return RegOpenKeyExA(root, sub, 0, KEY_ALL_ACCESS, key->out()); }

void MakeKey(HKEY root, const char* sub) {
  Key k;
  if (Create(root, sub, &k) != ERROR_SUCCESS) ADD_FAILURE_AT(__FILE__, __LINE__);
}

bool KeyThere(HKEY root, const char* sub) {
  Key k;
  return Open(root, sub, &k) == ERROR_SUCCESS;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

Read Query(HKEY key, const char* name, DWORD buffer_size) {
  Read r;
  std::string buffer(buffer_size, '\xCC');
  r.size = buffer_size;
  r.type = 0xDEAD;
  r.error = RegQueryValueExA(key, name, nullptr, &r.type, reinterpret_cast<BYTE*>(&buffer[0]), &r.size);
  r.data = r.error == ERROR_SUCCESS ? buffer.substr(0, r.size) : buffer;
  return r;
}

std::string ValueOf(HKEY root, const char* sub, const char* name) {
  Key k;
  LONG err = Open(root, sub, &k);
  if (err != ERROR_SUCCESS) return "<error " + std::to_string(err) + ">";
  const Read r = Query(k.h, name);
  if (r.error != ERROR_SUCCESS) return "<error " + std::to_string(r.error) + ">";
  return r.data;
}

namespace {

// Walks index 0, 1, 2, ... until there are no more; an error ends the list
// with "<error N>".
template <typename EnumAt>
std::vector<std::string> Names(EnumAt enum_at) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[400];
    DWORD len = sizeof name;
    const LONG err = enum_at(i, name, &len);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) {
      names.push_back("<error " + std::to_string(err) + ">");
      break;
    }
    names.emplace_back(name, len);
  }
  return names;
}

}  // namespace

std::vector<std::string> ValueNames(HKEY key) {
  return Names([key](DWORD i, char* name, DWORD* len) {
    return RegEnumValueA(key, i, name, len, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> SubkeyNames(HKEY key) {
  return Names([key](DWORD i, char* name, DWORD* len) {
    return RegEnumKeyExA(key, i, name, len, nullptr, nullptr, nullptr, nullptr);
  });
}

}  // namespace regtest
