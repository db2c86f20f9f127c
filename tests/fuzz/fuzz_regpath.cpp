// ParseRegPath on any text, and FormatRegPath -> ParseRegPath giving back what
// went in whenever the value name holds no backslash.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "registry_access.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  HKEY hive = HKEY_CURRENT_CONFIG;
  Text key = "unchanged", value = "unchanged";
  ParseRegPath(input, hive, key, value);
  if (key != "unchanged" && key.size() + value.size() >= input.size()) std::abort();

  // Split the input into a key path and a value name at the first zero byte.
  const size_t zero = input.find('\0');
  if (zero == std::string::npos) return 0;
  const Text keyPath = input.substr(0, zero);
  const Text valueName = input.substr(zero + 1);
  if (valueName.find('\\') != std::string::npos || valueName.find('\0') != std::string::npos) return 0;
  const HKEY hives[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
  for (HKEY h : hives) {
    HKEY back = nullptr;
    Text k, v;
    ParseRegPath(FormatRegPath(h, keyPath, valueName), back, k, v);
    if (back != h || k != keyPath || v != valueName) std::abort();
  }
  return 0;
}
