// Values: RegQueryValueExA, RegSetValueExA, RegDeleteValueA and RegEnumValueA.
#include <cstring>

#include "registry_internal.h"

namespace winhost {
namespace reg {
namespace {

std::string ValueName(LPCSTR name) { return name ? std::string(name) : std::string(); }

// Steps kQueryValue, which also tells a deleted key from a missing value;
// on success the statement stands on the value's row.
LONG FindValue(sqlite3_stmt* s, Id key, const std::string& fold) {
  sqlite3_bind_int64(s, 1, key);
  sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  return sqlite3_column_type(s, 0) == SQLITE_NULL ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

}  // namespace
}  // namespace reg
}  // namespace winhost

using namespace winhost;
using namespace winhost::reg;

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  const std::string name = ValueName(lpValueName);
  err = Hook("RegQueryValueExA", ref, name.c_str());
  if (err != ERROR_SUCCESS) return err;
  const std::string fold = Fold(name);
  sqlite3_stmt* s = Reg().Get(kQueryValue);
  StmtUse use(s);
  const LONG found = FindValue(s, ref.id, fold);
  if (found != ERROR_SUCCESS) return found;
  const DWORD type = static_cast<DWORD>(sqlite3_column_int64(s, 0));
  const void* data = sqlite3_column_blob(s, 1);
  const DWORD size = static_cast<DWORD>(sqlite3_column_bytes(s, 1));
  if (lpType) *lpType = type;
  if (!lpcbData) return ERROR_SUCCESS;
  if (!lpData) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(lpData, data, size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                         const BYTE* lpData, DWORD cbData) {
  if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
  if (cbData > 0x7FFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;  // more than SQLite binds
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  const std::string name = ValueName(lpValueName);
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  err = Hook("RegSetValueExA", ref, name.c_str());
  if (err != ERROR_SUCCESS) return err;
  const std::string fold = Fold(name);
  static const BYTE kEmpty = 0;
  const void* bytes = cbData ? static_cast<const void*>(lpData) : static_cast<const void*>(&kEmpty);
  Registry& r = Reg();
  Transaction tx(r);
  err = tx.began();
  if (err != ERROR_SUCCESS) return err;
  {
    sqlite3_stmt* s = r.Get(kSetValue);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 3, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 4, dwType);
    sqlite3_bind_blob(s, 5, bytes, static_cast<int>(cbData), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
  }
  if (sqlite3_changes(r.db()) == 0) return ERROR_KEY_DELETED;
  return tx.Commit();
}

extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  const std::string name = ValueName(lpValueName);
  err = Hook("RegDeleteValueA", ref, name.c_str());
  if (err != ERROR_SUCCESS) return err;
  const std::string fold = Fold(name);
  Registry& r = Reg();
  // A missing value is answered without taking the write lock.
  {
    sqlite3_stmt* s = r.Get(kQueryValue);
    StmtUse use(s);
    const LONG found = FindValue(s, ref.id, fold);
    if (found != ERROR_SUCCESS) return found;
  }
  Transaction tx(r);
  err = tx.began();
  if (err != ERROR_SUCCESS) return err;
  sqlite3_stmt* s = r.Get(kDeleteValue);
  {
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
  }
  if (sqlite3_changes(r.db()) == 0) return ERROR_FILE_NOT_FOUND;
  return tx.Commit();
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  const EnumSnapshot snapshot("RegEnumValueA", hKey, &KeyRef::values);
  if (snapshot.error() != ERROR_SUCCESS) return snapshot.error();
  Registry& r = Reg();
  const KeyRef& ref = snapshot.ref();
  Cursor& cur = snapshot.cursor();

  sqlite3_stmt* s;
  if (cur.valid && dwIndex == cur.index + 1) {
    s = r.Get(kEnumValueAfter);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_int64(s, 2, cur.last_id);
  } else if (cur.valid && dwIndex == cur.index) {
    s = r.Get(kEnumValueAfter);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_int64(s, 2, cur.last_id - 1);
  } else {
    s = r.Get(kEnumValueOffset);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_int64(s, 2, dwIndex);
  }
  StmtUse use(s);
  const LONG found = snapshot.Step(s, dwIndex);
  if (found != ERROR_SUCCESS) return found;
  cur.last_id = sqlite3_column_int64(s, 0);

  const char* name = static_cast<const char*>(sqlite3_column_blob(s, 1));
  const DWORD name_len = static_cast<DWORD>(sqlite3_column_bytes(s, 1));
  const DWORD type = static_cast<DWORD>(sqlite3_column_int64(s, 2));
  const void* data = sqlite3_column_blob(s, 3);
  const DWORD size = static_cast<DWORD>(sqlite3_column_bytes(s, 3));
  if (name_len >= *lpcchValueName) return ERROR_MORE_DATA;
  if (lpData && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (name_len) std::memcpy(lpValueName, name, name_len);
  lpValueName[name_len] = '\0';
  *lpcchValueName = name_len;
  if (lpType) *lpType = type;
  if (lpcbData) {
    if (lpData && size) std::memcpy(lpData, data, size);
    *lpcbData = size;
  }
  return ERROR_SUCCESS;
}
