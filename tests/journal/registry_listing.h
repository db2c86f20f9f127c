// Registry listings for tests: a compact text form of registry contents that
// a test loads into the seam's registry, and the same form dumped back from
// it (HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, every key and value, sorted),
// so that whole registries can be compared as texts.
//
// One line per key or value; blank lines and lines starting with '#' are
// ignored:
//   [HKCU\Software\Foo]                    a key (with any missing parents)
//   [HKCU\Software\Foo] "name" = "data"    a REG_SZ value (its zero counted)
//   [HKCU\Software\Foo] @ = "data"         the key's default value
//   [HKCU\Software\Foo] "n" = dword:1f     a REG_DWORD
//   [HKCU\Software\Foo] "n" = hex(3):61,00 raw bytes of the given type
// Hives: HKCU, HKLM, HKCR (HKCR is HKLM\SOFTWARE\Classes). A string runs to
// the last double quote of its line, so data may hold quotes and
// backslashes; a value name runs to the first "\" = ", so names may hold
// backslashes.
#ifndef QUILLON_TESTS_REGISTRY_LISTING_H
#define QUILLON_TESTS_REGISTRY_LISTING_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "seam.h"
#include "winapi.h"

namespace listing {

inline bool SplitHive(const std::string& path, HKEY& hive, std::string& sub) {
  const size_t slash = path.find('\\');
  const std::string name = path.substr(0, slash);
  sub = slash == std::string::npos ? std::string() : path.substr(slash + 1);
  if (name == "HKCU") hive = HKEY_CURRENT_USER;
  else if (name == "HKLM") hive = HKEY_LOCAL_MACHINE;
  else if (name == "HKCR") hive = HKEY_CLASSES_ROOT;
  else return false;
  return true;
}

inline std::vector<BYTE> ParseHex(const std::string& text) {
  std::vector<BYTE> bytes;
  std::stringstream in(text);
  std::string byte;
  while (std::getline(in, byte, ',')) {
    if (!byte.empty()) bytes.push_back(static_cast<BYTE>(std::strtoul(byte.c_str(), nullptr, 16)));
  }
  return bytes;
}

// Loads a listing into the registry through RegCreateKeyExA and
// RegSetValueExA. A line that does not parse fails the test.
inline void Load(const std::string& text) {
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t begin = line.find_first_not_of(" \t");
    if (begin == std::string::npos || line[begin] == '#') continue;
    line = line.substr(begin);
    const size_t close = line.find(']');
    ASSERT_TRUE(line[0] == '[' && close != std::string::npos) << "bad listing line: " << line;
    HKEY hive = nullptr;
    std::string sub;
    ASSERT_TRUE(SplitHive(line.substr(1, close - 1), hive, sub)) << "bad hive: " << line;
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(hive, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS)
        << line;
    std::string rest = line.substr(close + 1);
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string::npos) {
      RegCloseKey(key);
      continue;
    }
    rest = rest.substr(start);
    std::string name, data;
    if (rest.compare(0, 4, "@ = ") == 0) {
      data = rest.substr(4);
    } else {
      const size_t end = rest.find("\" = ");
      if (rest[0] != '"' || end == std::string::npos) {
        RegCloseKey(key);
        FAIL() << "bad value: " << line;
      }
      name = rest.substr(1, end - 1);
      data = rest.substr(end + 4);
    }
    DWORD type = REG_SZ;
    std::vector<BYTE> bytes;
    if (data.size() >= 2 && data.front() == '"' && data.back() == '"') {
      bytes.assign(data.begin() + 1, data.end() - 1);
      bytes.push_back(0);
    } else if (data.compare(0, 6, "dword:") == 0) {
      type = REG_DWORD;
      const DWORD v = static_cast<DWORD>(std::strtoul(data.c_str() + 6, nullptr, 16));
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(v >> (8 * i)));
    } else if (data.compare(0, 4, "hex(") == 0 && data.find("):") != std::string::npos) {
      type = static_cast<DWORD>(std::strtoul(data.c_str() + 4, nullptr, 16));
      bytes = ParseHex(data.substr(data.find("):") + 2));
    } else {
      RegCloseKey(key);
      FAIL() << "bad data: " << line;
    }
    const LONG status = RegSetValueExA(key, name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS) << line;
  }
}

inline std::string RenderData(DWORD type, const std::vector<BYTE>& bytes) {
  const bool plainString = type == REG_SZ && !bytes.empty() && bytes.back() == 0 &&
                           std::find(bytes.begin(), bytes.end() - 1, 0) == bytes.end() - 1;
  if (plainString) return "\"" + std::string(bytes.begin(), bytes.end() - 1) + "\"";
  if (type == REG_DWORD && bytes.size() == 4) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "dword:%x",
                  bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24));
    return buffer;
  }
  char head[32];
  std::snprintf(head, sizeof head, "hex(%x):", type);
  std::string out = head;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char b[8];
    std::snprintf(b, sizeof b, "%s%02x", i ? "," : "", bytes[i]);
    out += b;
  }
  return out;
}

inline void DumpKey(HKEY parent, const std::string& sub, const std::string& path, std::vector<std::string>& lines) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, sub.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << path;
  lines.push_back("[" + path + "]");
  std::vector<char> name(16384);
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    if (status == ERROR_MORE_DATA && dataSize > data.size()) {
      data.resize(dataSize);
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS) << path;
      break;
    }
    const std::string valueName(name.data(), nameSize);
    const std::string shown = valueName.empty() ? "@" : "\"" + valueName + "\"";
    lines.push_back("[" + path + "] " + shown + " = " +
                    RenderData(type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)));
  }
  std::vector<std::string> subkeys;
  for (DWORD index = 0;; ++index) {
    char subName[256];
    DWORD size = sizeof subName;
    if (RegEnumKeyExA(key, index, subName, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(subName, size);
  }
  for (const std::string& s : subkeys) DumpKey(key, s, path + "\\" + s, lines);
  RegCloseKey(key);
}

// One value as a dump shows its data ("\"text\"", "dword:1", "hex(3):..."),
// or "<absent>" when the key or the value does not exist.
inline std::string Get(const std::string& keyPath, const std::string& valueName) {
  HKEY hive = nullptr;
  std::string sub;
  if (!SplitHive(keyPath, hive, sub)) return "<bad hive>";
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, sub.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return "<absent>";
  DWORD size = 0;
  DWORD type = 0;
  std::string out = "<absent>";
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      data.resize(size);
      out = RenderData(type, data);
    }
  }
  RegCloseKey(key);
  return out;
}

// True when the key exists.
inline bool KeyExists(const std::string& keyPath) {
  HKEY hive = nullptr;
  std::string sub;
  if (!SplitHive(keyPath, hive, sub)) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, sub.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A REG_SZ as Get and Dump show it.
inline std::string Sz(const std::string& text) { return "\"" + text + "\""; }

// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE as sorted listing lines, one text.
inline std::string Dump() {
  std::vector<std::string> lines;
  DumpKey(HKEY_CURRENT_USER, "", "HKCU", lines);
  DumpKey(HKEY_LOCAL_MACHINE, "", "HKLM", lines);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// What a registry holding exactly `text` dumps as. Resets the seam: read
// questions and calls before calling it.
inline std::string DumpOf(const std::string& text) {
  seam::Reset();
  Load(text);
  return Dump();
}

}  // namespace listing

#endif  // QUILLON_TESTS_REGISTRY_LISTING_H
