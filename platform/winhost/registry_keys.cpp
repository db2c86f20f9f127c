// Keys: RegCreateKeyExA, RegOpenKeyExA, RegDeleteKeyA and RegEnumKeyExA.
#include <cstring>

#include "registry_internal.h"

namespace winhost {
namespace reg {
namespace {

bool Win95Semantics() { return GetEnv("WINHOST_PLATFORM") == "win95"; }

LONG DeleteKeyById(Id id) {
  Registry& r = Reg();
  if (!Win95Semantics()) {
    sqlite3_stmt* s = r.Get(kHasSubkeys);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, id);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
    if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
  }
  const Stmt order[2] = {kDeleteTreeValues, kDeleteTreeKeys};
  for (Stmt st : order) {
    sqlite3_stmt* s = r.Get(st);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, id);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
  }
  return ERROR_SUCCESS;
}

// Where RegCreateKeyExA and RegOpenKeyExA start: resolves the handle, splits
// the path and walks it, all in one read snapshot (one set of locks instead of
// one for each statement). *id is the key the path names, *path its full
// path; ERROR_FILE_NOT_FOUND when a key on the way is missing.
LONG LookUp(const char* op, HKEY hKey, LPCSTR sub, KeyRef* ref, std::vector<std::string>* parts,
            std::string* path, Id* id) {
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  std::string prefix;
  err = Resolve(hKey, ref, &prefix);
  if (err != ERROR_SUCCESS) return err;
  ReadTransaction rtx(r);
  err = rtx.began();
  if (err == ERROR_SUCCESS) err = CheckKey(*ref);
  if (err == ERROR_SUCCESS) err = SplitPath(prefix, sub, parts);
  if (err != ERROR_SUCCESS) return err;
  *path = JoinPath(ref->path, *parts);
  if (WantSubjects()) {
    err = CallHook(op, *path);
    if (err != ERROR_SUCCESS) return err;
  }
  bool created = false;
  return Walk(ref->id, *parts, false, id, &created);
}

}  // namespace
}  // namespace reg
}  // namespace winhost

using namespace winhost;
using namespace winhost::reg;

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                          DWORD dwOptions, REGSAM samDesired,
                                          const SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  KeyRef ref;
  std::vector<std::string> parts;
  std::string path;
  Id id = 0;
  bool created = false;
  // Look first without the write lock: opening an existing key writes nothing.
  LONG err = LookUp("RegCreateKeyExA", hKey, lpSubKey, &ref, &parts, &path, &id);
  if (err == ERROR_FILE_NOT_FOUND) {
    Transaction tx(r);
    err = tx.began();
    if (err != ERROR_SUCCESS) return err;
    // The handle's key may have gone since the look, and nothing may be
    // created under a key that is no more.
    err = CheckKey(ref);
    if (err == ERROR_SUCCESS) err = Walk(ref.id, parts, true, &id, &created);
    if (err != ERROR_SUCCESS) return err;
    err = tx.Commit();
  }
  if (err != ERROR_SUCCESS) return err;
  *phkResult = r.NewHandle(id, std::move(path));
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  std::vector<std::string> parts;
  std::string path;
  Id id = 0;
  const LONG err = LookUp("RegOpenKeyExA", hKey, lpSubKey, &ref, &parts, &path, &id);
  if (err != ERROR_SUCCESS) return err;
  *phkResult = Reg().NewHandle(id, std::move(path));
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  std::string prefix;
  err = Resolve(hKey, &ref, &prefix);
  if (err == ERROR_SUCCESS) err = CheckKey(ref);
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> parts;
  err = SplitPath(prefix, lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  const std::string path = JoinPath(ref.path, parts);
  if (WantSubjects()) {
    err = CallHook("RegDeleteKeyA", path);
    if (err != ERROR_SUCCESS) return err;
  }
  Transaction tx(r);
  err = tx.began();
  if (err != ERROR_SUCCESS) return err;
  Id id = 0;
  bool created = false;
  err = CheckKey(ref);
  if (err == ERROR_SUCCESS) err = Walk(ref.id, parts, false, &id, &created);
  if (err != ERROR_SUCCESS) return err;
  if (r.IsProtected(id)) return ERROR_ACCESS_DENIED;
  err = DeleteKeyById(id);
  if (err != ERROR_SUCCESS) return err;
  return tx.Commit();
}

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        void* lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  const EnumSnapshot snapshot("RegEnumKeyExA", hKey, &KeyRef::subkeys);
  if (snapshot.error() != ERROR_SUCCESS) return snapshot.error();
  Registry& r = Reg();
  const KeyRef& ref = snapshot.ref();
  Cursor& cur = snapshot.cursor();

  sqlite3_stmt* s;
  if (cur.valid && (dwIndex == cur.index + 1 || dwIndex == cur.index)) {
    s = r.Get(dwIndex == cur.index ? kEnumKeyFrom : kEnumKeyAfter);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, cur.last_fold.data(), static_cast<int>(cur.last_fold.size()), SQLITE_TRANSIENT);
  } else {
    s = r.Get(kEnumKeyOffset);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_int64(s, 2, dwIndex);
  }
  StmtUse use(s);
  const LONG found = snapshot.Step(s, dwIndex);
  if (found != ERROR_SUCCESS) return found;
  cur.last_fold.assign(static_cast<const char*>(sqlite3_column_blob(s, 0)),
                       static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  const char* name = static_cast<const char*>(sqlite3_column_blob(s, 1));
  const DWORD name_len = static_cast<DWORD>(sqlite3_column_bytes(s, 1));
  if (name_len >= *lpcchName) return ERROR_MORE_DATA;
  if (name_len) std::memcpy(lpName, name, name_len);
  lpName[name_len] = '\0';
  *lpcchName = name_len;
  if (lpClass && lpcchClass && *lpcchClass) {
    lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  // No write times are kept; the caller still gets a defined value.
  if (lpftLastWriteTime) std::memset(lpftLastWriteTime, 0, sizeof(FILETIME));
  return ERROR_SUCCESS;
}
