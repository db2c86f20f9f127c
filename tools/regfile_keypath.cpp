#include "regfile_keypath.h"

namespace regfile {
namespace {

struct RootNames {
  Root root;
  const char* long_name;
  const char* short_name;
};

const RootNames kRoots[] = {
    {Root::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {Root::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {Root::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {Root::kUsers, "HKEY_USERS", "HKU"},
    {Root::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

bool SameLetters(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

constexpr size_t kMaxKeyNameLength = 255;

}  // namespace

const char* RootName(Root root) {
  for (const RootNames& r : kRoots) {
    if (r.root == root) return r.long_name;
  }
  return "";
}

bool ParseRootName(const std::string& name, Root* root) {
  for (const RootNames& r : kRoots) {
    if (SameLetters(name, r.long_name) || SameLetters(name, r.short_name)) {
      *root = r.root;
      return true;
    }
  }
  return false;
}

bool SplitKeyPath(const std::string& path, Root* root, std::string* subkey, std::string* error) {
  const size_t slash = path.find('\\');
  const std::string root_name = path.substr(0, slash);
  if (!ParseRootName(root_name, root)) {
    *error = "unknown root key \"" + root_name + "\"";
    return false;
  }
  std::string rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
  if (!rest.empty() && rest.back() == '\\') {
    rest.pop_back();
    if (rest.empty() && path.size() > root_name.size() + 1) rest = "\\";  // two trailing backslashes
  }
  size_t start = 0;
  while (!rest.empty()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    if (end == start) {
      *error = "empty key name in \"" + path + "\"";
      return false;
    }
    if (end - start > kMaxKeyNameLength) {
      *error = "key name longer than 255 characters in \"" + path + "\"";
      return false;
    }
    if (end == rest.size()) break;
    start = end + 1;
  }
  *subkey = rest;
  return true;
}

std::string JoinKeyPath(Root root, const std::string& subkey) {
  std::string out = RootName(root);
  if (!subkey.empty()) out += "\\" + subkey;
  return out;
}

}  // namespace regfile
