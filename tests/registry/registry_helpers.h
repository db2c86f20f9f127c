// Short wrappers over the registry calls, so that tables of cases stay
// readable.
#ifndef QUILLON_TESTS_REGISTRY_HELPERS_H
#define QUILLON_TESTS_REGISTRY_HELPERS_H

#include <string>
#include <vector>

#include "winapi.h"

namespace regtest {

// A key handle that is closed when it goes out of scope.
struct Key {
  HKEY h = nullptr;
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() { Close(); }
  void Close() {
    if (h) RegCloseKey(h);
    h = nullptr;
  }
  HKEY* out() {
    Close();
    return &h;
  }
};

LONG Create(HKEY root, const char* sub, Key* key, DWORD* disposition = nullptr);
LONG Open(HKEY root, const char* sub, Key* key);
// Creates the key (and its path) and closes it again.
void MakeKey(HKEY root, const char* sub);
bool KeyThere(HKEY root, const char* sub);

// Sets a string with its terminating zero, as the programs do.
LONG SetString(HKEY key, const char* name, const std::string& text);
LONG SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes);

struct Read {
  LONG error = 0;
  DWORD type = 0;
  DWORD size = 0;
  std::string data;  // the bytes written to the buffer (all of it on success)
};
// Queries into a buffer of `buffer_size` bytes filled with 0xCC beforehand;
// `data` is the whole buffer after the call, so a test sees what was touched.
Read Query(HKEY key, const char* name, DWORD buffer_size = 1024);
// The value's bytes, or "<error N>".
std::string ValueOf(HKEY root, const char* sub, const char* name);

// Every value name and every subkey name, walking index 0, 1, 2, ...
std::vector<std::string> ValueNames(HKEY key);
std::vector<std::string> SubkeyNames(HKEY key);

}  // namespace regtest

#endif  // QUILLON_TESTS_REGISTRY_HELPERS_H
