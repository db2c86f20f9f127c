// Finding keys: a handle's key, a subkey path split and walked from it.
#include "registry_internal.h"

namespace winhost {
namespace reg {

bool WantSubjects() { return GetHooks().before_call != nullptr; }

LONG KeyExists(Id id) {
  sqlite3_stmt* s = Reg().Get(kKeyExists);
  StmtUse use(s);
  sqlite3_bind_int64(s, 1, id);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  return Registry::ErrorFromSqlite(rc);
}

LONG FindChild(Id parent, const std::string& fold, Id* out) {
  sqlite3_stmt* s = Reg().Get(kFindKey);
  StmtUse use(s);
  sqlite3_bind_int64(s, 1, parent);
  sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *out = sqlite3_column_int64(s, 0);
    return ERROR_SUCCESS;
  }
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  return Registry::ErrorFromSqlite(rc);
}

LONG SplitPath(const std::string& prefix, const char* sub, std::vector<std::string>* parts) {
  parts->clear();
  std::string all = prefix;
  if (sub && *sub) {
    if (sub[0] == '\\') return ERROR_BAD_PATHNAME;
    if (!all.empty()) all += '\\';
    all += sub;
  }
  if (!all.empty() && all.back() == '\\') all.pop_back();
  if (all.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  for (;;) {
    const size_t end = all.find('\\', start);
    const std::string part = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    parts->push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

std::string JoinPath(const std::string& base, const std::vector<std::string>& parts) {
  std::string out = base;
  for (const auto& p : parts) out += "\\" + p;
  return out;
}

LONG Hook(const char* op, const KeyRef& ref, const char* extra) {
  if (!WantSubjects()) return ERROR_SUCCESS;
  std::string subject = ref.path;
  if (extra) subject += std::string("\\") + extra;
  return CallHook(op, subject);
}

LONG Walk(Id from, const std::vector<std::string>& parts, bool create, Id* out, bool* created) {
  Id cur = from;
  *created = false;
  for (const auto& part : parts) {
    const std::string fold = Fold(part);
    Id next = 0;
    LONG err = FindChild(cur, fold, &next);
    if (err == ERROR_FILE_NOT_FOUND && create) {
      sqlite3_stmt* s = Reg().Get(kInsertKey);
      StmtUse use(s);
      sqlite3_bind_int64(s, 1, cur);
      sqlite3_bind_blob(s, 2, part.data(), static_cast<int>(part.size()), SQLITE_STATIC);
      sqlite3_bind_blob(s, 3, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
      next = sqlite3_last_insert_rowid(Reg().db());
      *created = true;
      err = ERROR_SUCCESS;
    } else if (err == ERROR_SUCCESS) {
      *created = false;
    }
    if (err != ERROR_SUCCESS) return err;
    cur = next;
  }
  *out = cur;
  return ERROR_SUCCESS;
}

LONG ValueKey(HKEY hKey, KeyRef* ref) {
  LONG err = Reg().Ready();
  if (err != ERROR_SUCCESS) return err;
  std::string prefix;
  err = Resolve(hKey, ref, &prefix);
  if (err != ERROR_SUCCESS) return err;
  if (!prefix.empty()) {
    std::vector<std::string> parts;
    SplitPath(prefix, nullptr, &parts);
    bool created = false;
    err = Walk(ref->id, parts, false, &ref->id, &created);
    if (err != ERROR_SUCCESS) return err;
    ref->path = JoinPath(ref->path, parts);
  }
  return ERROR_SUCCESS;
}

}  // namespace reg
}  // namespace winhost
