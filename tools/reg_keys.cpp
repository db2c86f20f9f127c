#include "reg_keys.h"

#include <cstdio>

#include "batch.h"

namespace regtool {
namespace {

constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxKeyName = 256;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string Child(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

}  // namespace

HKEY RootHandle(regfile::Root root) {
  switch (root) {
    case regfile::Root::kClassesRoot: return HKEY_CLASSES_ROOT;
    case regfile::Root::kCurrentUser: return HKEY_CURRENT_USER;
    case regfile::Root::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case regfile::Root::kUsers: return HKEY_USERS;
    case regfile::Root::kCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

std::string ErrorText(LONG error) {
  const char* text;
  switch (error) {
    case ERROR_FILE_NOT_FOUND: text = "the registry key or value does not exist"; break;
    case ERROR_ACCESS_DENIED: text = "access denied"; break;
    case ERROR_INVALID_HANDLE: text = "invalid key handle"; break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: text = "out of memory"; break;
    case ERROR_INVALID_PARAMETER: text = "invalid parameter"; break;
    case ERROR_BAD_PATHNAME: text = "bad key path"; break;
    case ERROR_MORE_DATA: text = "the data changed while it was read"; break;
    case ERROR_KEY_DELETED: text = "the key was deleted"; break;
    case ERROR_REGISTRY_CORRUPT: text = "the registry file is not a registry database"; break;
    case ERROR_REGISTRY_IO_FAILED: text = "the registry file cannot be read or written"; break;
    case ERROR_INVALID_FUNCTION: text = "invalid function"; break;
    default: text = "registry error"; break;
  }
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s (error %ld)", text, static_cast<long>(error));
  return buf;
}

LONG OpenKey::Open(regfile::Root root, const std::string& subkey, bool create) {
  Close();
  if (create)
    return RegCreateKeyExA(RootHandle(root), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key_, nullptr);
  return RegOpenKeyExA(RootHandle(root), subkey.c_str(), 0, KEY_ALL_ACCESS, &key_);
}

void OpenKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

LONG ReadValues(HKEY key, std::vector<regfile::Value>* values) {
  values->clear();
  std::string name(kMaxValueName + 1, '\0');
  for (DWORD i = 0;; ++i) {
    regfile::Value v;
    DWORD name_len = kMaxValueName + 1;
    DWORD size = 0;
    LONG err = RegEnumValueA(key, i, &name[0], &name_len, nullptr, &v.type, nullptr, &size);
    if (err == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    // Another process may grow the value between the two calls.
    for (int tries = 0; err == ERROR_SUCCESS; ++tries) {
      v.data.assign(size, '\0');
      BYTE spare = 0;
      BYTE* data = size ? reinterpret_cast<BYTE*>(&v.data[0]) : &spare;
      name_len = kMaxValueName + 1;
      err = RegEnumValueA(key, i, &name[0], &name_len, nullptr, &v.type, data, &size);
      if (err == ERROR_MORE_DATA && tries < 8) err = ERROR_SUCCESS;
      else if (err == ERROR_SUCCESS) break;
    }
    if (err != ERROR_SUCCESS) return err;
    v.data.resize(size);
    v.name.assign(name.data(), name_len);
    values->push_back(std::move(v));
  }
}

LONG ReadSubkeyNames(HKEY key, std::vector<std::string>* names) {
  names->clear();
  char name[kMaxKeyName + 1];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    const LONG err = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (err != ERROR_SUCCESS) return err;
    names->emplace_back(name, len);
  }
}

LONG StoredPath(regfile::Root root, const std::string& subkey, std::string* path) {
  *path = regfile::RootName(root);
  std::string done;  // the part of subkey already matched
  size_t start = 0;
  while (start < subkey.size()) {
    size_t end = subkey.find('\\', start);
    if (end == std::string::npos) end = subkey.size();
    const std::string part = subkey.substr(start, end - start);
    OpenKey parent;
    LONG err = parent.Open(root, done);
    if (err != ERROR_SUCCESS) return err;
    std::vector<std::string> names;
    err = ReadSubkeyNames(parent.get(), &names);
    if (err != ERROR_SUCCESS) return err;
    const std::string* found = nullptr;
    for (const std::string& n : names) {
      if (SameName(n, part)) found = &n;
    }
    if (!found) return ERROR_FILE_NOT_FOUND;
    *path += "\\" + *found;
    done = Child(done, *found);
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

LONG ReadTree(regfile::Root root, const std::string& subkey, std::vector<regfile::Key>* keys) {
  keys->clear();
  std::string top;
  LONG err = StoredPath(root, subkey, &top);
  if (err != ERROR_SUCCESS) return err;
  // (subkey path, path as written) of the keys still to read, next one last.
  std::vector<std::pair<std::string, std::string>> todo{{subkey, top}};
  while (!todo.empty()) {
    const std::pair<std::string, std::string> item = std::move(todo.back());
    todo.pop_back();
    OpenKey key;
    err = key.Open(root, item.first);
    if (err != ERROR_SUCCESS) return err;
    regfile::Key k;
    k.path = item.second;
    err = ReadValues(key.get(), &k.values);
    if (err != ERROR_SUCCESS) return err;
    std::vector<std::string> names;
    err = ReadSubkeyNames(key.get(), &names);
    if (err != ERROR_SUCCESS) return err;
    keys->push_back(std::move(k));
    for (size_t i = names.size(); i-- > 0;)
      todo.emplace_back(Child(item.first, names[i]), item.second + "\\" + names[i]);
  }
  return ERROR_SUCCESS;
}

LONG DeleteTree(regfile::Root root, const std::string& subkey) {
  if (subkey.empty()) return ERROR_ACCESS_DENIED;
  std::vector<std::string> path{subkey};  // from the key down to the one being emptied
  while (!path.empty()) {
    OpenKey key;
    LONG err = key.Open(root, path.back());
    if (err != ERROR_SUCCESS) return err;
    char name[kMaxKeyName + 1];
    DWORD len = sizeof name;
    err = RegEnumKeyExA(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr);
    key.Close();
    if (err == ERROR_SUCCESS) {
      path.push_back(path.back() + "\\" + std::string(name, len));
      continue;
    }
    if (err != ERROR_NO_MORE_ITEMS) return err;
    err = RegDeleteKeyA(RootHandle(root), path.back().c_str());
    if (err != ERROR_SUCCESS) return err;
    path.pop_back();
  }
  return ERROR_SUCCESS;
}

LONG ApplyEntries(const std::vector<regfile::Entry>& entries, int* failed_line) {
  *failed_line = 0;
  LONG err = winhost::BeginBatch();
  if (err != ERROR_SUCCESS) return err;
  OpenKey current;
  for (const regfile::Entry& e : entries) {
    const BYTE* data = reinterpret_cast<const BYTE*>(e.data.data());
    switch (e.kind) {
      case regfile::Entry::kCreateKey:
        err = current.Open(e.root, e.subkey, true);
        break;
      case regfile::Entry::kDeleteKey: {
        current.Close();
        OpenKey probe;
        err = probe.Open(e.root, e.subkey);
        probe.Close();
        if (err == ERROR_SUCCESS) err = DeleteTree(e.root, e.subkey);
        else if (err == ERROR_FILE_NOT_FOUND) err = ERROR_SUCCESS;  // nothing to delete
        break;
      }
      case regfile::Entry::kSetValue:
        err = current.get() ? RegSetValueExA(current.get(), e.name.c_str(), 0, e.type, data,
                                             static_cast<DWORD>(e.data.size()))
                            : ERROR_INVALID_PARAMETER;
        break;
      case regfile::Entry::kDeleteValue:
        err = current.get() ? RegDeleteValueA(current.get(), e.name.c_str()) : ERROR_INVALID_PARAMETER;
        if (err == ERROR_FILE_NOT_FOUND) err = ERROR_SUCCESS;
        break;
    }
    if (err != ERROR_SUCCESS) {
      current.Close();
      winhost::RollbackBatch();
      *failed_line = e.line;
      return err;
    }
  }
  current.Close();
  return winhost::CommitBatch();
}

}  // namespace regtool
