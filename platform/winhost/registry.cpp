// The hosted registry: keys and values in one SQLite database.
//
// Schema: keys(id, parent, name, fold) and vals(id, key, name, fold, type,
// data). "fold" is the name with A-Z lowered, so lookups ignore ASCII case
// while "name" keeps the spelling of the first creation. Values enumerate by
// id, which is creation order. Every lookup goes through an index, so the cost
// of a call does not depend on the size of the registry.
//
// Each mutating call is one short IMMEDIATE transaction; readers never take
// the write lock. WAL mode and a busy timeout let several processes share one
// file without failing each other. A file that is not a registry database is
// never written: every call then fails with ERROR_REGISTRY_CORRUPT.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "internal.h"

namespace winhost {
namespace {

constexpr int kApplicationId = 0x57485247;  // "WHRG"
constexpr int kBusyTimeoutMs = 60000;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

using Id = sqlite3_int64;

const char* const kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER",
                                  "HKEY_CURRENT_CONFIG"};

std::string Fold(const char* s, size_t n) {
  std::string out(s, n);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}
std::string Fold(const std::string& s) { return Fold(s.data(), s.size()); }

enum Stmt {
  kFindKey,
  kInsertKey,
  kKeyExists,
  kKeyName,
  kFindValue,
  kInsertValue,
  kUpdateValue,
  kDeleteValue,
  kDeleteValueById,
  kHasSubkeys,
  kDeleteKeyRow,
  kDeleteKeyValues,
  kDeleteTreeValues,
  kDeleteTreeKeys,
  kEnumValueAfter,
  kEnumValueOffset,
  kEnumKeyAfter,
  kEnumKeyOffset,
  kStmtCount
};

const char* const kStmtSql[kStmtCount] = {
    "SELECT id FROM keys WHERE parent=?1 AND fold=?2",
    "INSERT INTO keys(parent,name,fold) VALUES(?1,?2,?3)",
    "SELECT 1 FROM keys WHERE id=?1",
    "SELECT name FROM keys WHERE id=?1",
    "SELECT id,type,data FROM vals WHERE key=?1 AND fold=?2",
    "INSERT INTO vals(key,name,fold,type,data) VALUES(?1,?2,?3,?4,?5)",
    "UPDATE vals SET type=?2, data=?3 WHERE id=?1",
    "DELETE FROM vals WHERE key=?1 AND fold=?2",
    "DELETE FROM vals WHERE id=?1",
    "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1",
    "DELETE FROM keys WHERE id=?1",
    "DELETE FROM vals WHERE key=?1",
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent=t.id)"
    " DELETE FROM vals WHERE key IN t",
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent=t.id)"
    " DELETE FROM keys WHERE id IN t",
    "SELECT id,name,type,data FROM vals WHERE key=?1 AND id>?2 ORDER BY id LIMIT 1",
    "SELECT id,name,type,data FROM vals WHERE key=?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT fold,name FROM keys WHERE parent=?1 AND fold>?2 ORDER BY fold LIMIT 1",
    "SELECT fold,name FROM keys WHERE parent=?1 ORDER BY fold LIMIT 1 OFFSET ?2",
};

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    " name BLOB NOT NULL, fold BLOB NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL,"
    " name BLOB NOT NULL, fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_by_key ON vals(key);";

// A reset statement on scope exit, so that no statement keeps a read open.
struct StmtUse {
  sqlite3_stmt* s;
  explicit StmtUse(sqlite3_stmt* st) : s(st) {}
  ~StmtUse() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  StmtUse(const StmtUse&) = delete;
  StmtUse& operator=(const StmtUse&) = delete;
};

// Where an enumeration left off, so that walking index 0, 1, 2, ... costs one
// indexed step per call instead of an ever longer OFFSET scan.
struct Cursor {
  bool valid = false;
  DWORD index = 0;
  Id last_id = 0;          // values: id of the value at index
  std::string last_fold;   // subkeys: fold of the subkey at index
  unsigned long long stamp = 0;
};

struct Slot {
  bool used = false;
  Id key = 0;
  std::string path;  // full path for the test seam's subjects
  Cursor values;
  Cursor subkeys;
};

class Registry {
 public:
  ~Registry() { Close(); }

  void Close() {
    for (auto& s : stmts_) {
      if (s) sqlite3_finalize(s);
      s = nullptr;
    }
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    state_ = kUnopened;
    slots_.clear();
    free_.clear();
    open_handles_ = 0;
  }

  // Opens the database on first use. Returns 0 or the error every call gets.
  LONG Ready() {
    if (state_ == kOpen) return ERROR_SUCCESS;
    if (state_ == kBroken) return broken_error_;
    const LONG err = Open();
    if (err != ERROR_SUCCESS) {
      state_ = kBroken;
      broken_error_ = err;
      if (db_) sqlite3_close(db_);
      db_ = nullptr;
      return err;
    }
    state_ = kOpen;
    return ERROR_SUCCESS;
  }

  sqlite3_stmt* Get(Stmt which) { return stmts_[which]; }
  sqlite3* db() { return db_; }

  // Handles.
  HKEY NewHandle(Id key, std::string path) {
    size_t slot;
    if (!free_.empty()) {
      slot = free_.back();
      free_.pop_back();
    } else {
      slot = slots_.size();
      slots_.emplace_back();
    }
    Slot& s = slots_[slot];
    s = Slot();
    s.used = true;
    s.key = key;
    s.path = std::move(path);
    ++open_handles_;
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(kHandleBase + slot * 4));
  }

  Slot* FindSlot(HKEY h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return nullptr;
    const size_t slot = (v - kHandleBase) / 4;
    if (slot >= slots_.size() || !slots_[slot].used) return nullptr;
    return &slots_[slot];
  }

  bool CloseHandle(HKEY h) {
    Slot* s = FindSlot(h);
    if (!s) return false;
    s->used = false;
    free_.push_back((reinterpret_cast<uintptr_t>(h) - kHandleBase) / 4);
    --open_handles_;
    return true;
  }

  int open_handles() const { return open_handles_; }

  // Bumped on every change this process makes; with SQLite's data_version
  // (changes by other connections) it tells whether a cursor is still exact.
  unsigned long long Stamp() {
    int version = 0;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return (local_changes_ << 32) ^ static_cast<unsigned int>(version);
  }
  void Changed() { ++local_changes_; }

  Id root_id(int i) const { return roots_[i]; }

 private:
  static constexpr uintptr_t kHandleBase = 0x1000;
  enum State { kUnopened, kOpen, kBroken };

  LONG Open() {
    std::string path = GetEnv("WINHOST_REGISTRY");
    if (path.empty()) {
      std::string data = GetEnv("XDG_DATA_HOME");
      if (data.empty()) data = GetEnv("HOME") + "/.local/share";
      const std::string dir = data + "/winhost";
      MakeDirs(dir);
      path = dir + "/registry.db";
    }
    const bool memory = path == ":memory:";
    if (!memory) {
      struct stat st;
      if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return ERROR_REGISTRY_IO_FAILED;
    }
    int rc = sqlite3_open_v2(path.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);

    // Read the header before anything could write: a file that is not a
    // database fails here and stays untouched.
    int app_id = 0, tables = 0;
    rc = QueryInt("PRAGMA application_id", &app_id);
    if (rc == SQLITE_OK) rc = QueryInt("SELECT count(*) FROM sqlite_master", &tables);
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    if (tables != 0 && app_id != kApplicationId) return ERROR_REGISTRY_CORRUPT;

    if (!memory) {
      const bool readonly = sqlite3_db_readonly(db_, "main") == 1;
      if (!readonly) {
        rc = Exec("PRAGMA journal_mode=WAL");
        if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
      }
      Exec("PRAGMA synchronous=NORMAL");
    }
    if (tables == 0) {
      rc = Exec("BEGIN IMMEDIATE");
      if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
      // Another process may have created it meanwhile; IF NOT EXISTS copes.
      rc = QueryInt("SELECT count(*) FROM sqlite_master", &tables);
      if (rc == SQLITE_OK && tables != 0) {
        rc = QueryInt("PRAGMA application_id", &app_id);
        if (rc == SQLITE_OK && app_id != kApplicationId) rc = SQLITE_CORRUPT;
      }
      if (rc == SQLITE_OK) rc = Exec(kSchema);
      if (rc == SQLITE_OK) rc = Exec(Format("PRAGMA application_id=%d", kApplicationId).c_str());
      if (rc == SQLITE_OK) {
        for (const char* root : kRootNames) {
          // Names are stored as blobs, which never compare equal to text.
          const std::string sql = std::string("INSERT OR IGNORE INTO keys(parent,name,fold) VALUES(0,CAST('") +
                                  root + "' AS BLOB),CAST('" + Fold(root, std::strlen(root)) + "' AS BLOB))";
          rc = Exec(sql.c_str());
          if (rc != SQLITE_OK) break;
        }
      }
      // HKEY_CLASSES_ROOT is the view of HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
      if (rc == SQLITE_OK)
        rc = Exec(
            "INSERT INTO keys(parent,name,fold) SELECT id,CAST('SOFTWARE' AS BLOB),CAST('software' AS BLOB)"
            " FROM keys WHERE parent=0 AND fold=CAST('hkey_local_machine' AS BLOB);"
            "INSERT INTO keys(parent,name,fold) VALUES(last_insert_rowid(),CAST('Classes' AS BLOB),"
            "CAST('classes' AS BLOB))");
      if (rc == SQLITE_OK) rc = Exec("COMMIT");
      if (rc != SQLITE_OK) {
        Exec("ROLLBACK");
        return ErrorFromSqlite(rc);
      }
    }
    for (int i = 0; i < kStmtCount; ++i) {
      rc = sqlite3_prepare_v3(db_, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr);
      if (rc != SQLITE_OK) return ERROR_REGISTRY_CORRUPT;
    }
    for (int i = 0; i < 4; ++i) {
      sqlite3_stmt* s = stmts_[kFindKey];
      StmtUse use(s);
      sqlite3_bind_int64(s, 1, 0);
      const std::string f = Fold(kRootNames[i], std::strlen(kRootNames[i]));
      sqlite3_bind_blob(s, 2, f.data(), static_cast<int>(f.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(s) != SQLITE_ROW) return ERROR_REGISTRY_CORRUPT;
      roots_[i] = sqlite3_column_int64(s, 0);
    }
    return ERROR_SUCCESS;
  }

  static std::string Format(const char* fmt, int v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
  }

  static void MakeDirs(const std::string& dir) {
    for (size_t i = 1; i <= dir.size(); ++i) {
      if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0700);
    }
  }

  int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

  int QueryInt(const char* sql, int* out) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (rc != SQLITE_OK) return rc;
    rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      *out = sqlite3_column_int(s, 0);
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    return rc;
  }

 public:
  static LONG ErrorFromSqlite(int rc) {
    switch (rc & 0xff) {
      case SQLITE_OK:
      case SQLITE_DONE:
      case SQLITE_ROW: return ERROR_SUCCESS;
      case SQLITE_READONLY:
      case SQLITE_PERM:
      case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
      case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
      case SQLITE_CORRUPT:
      case SQLITE_NOTADB:
      case SQLITE_FORMAT:
      case SQLITE_SCHEMA: return ERROR_REGISTRY_CORRUPT;
      default: return ERROR_REGISTRY_IO_FAILED;
    }
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmts_[kStmtCount] = {};
  State state_ = kUnopened;
  LONG broken_error_ = ERROR_SUCCESS;
  std::vector<Slot> slots_;
  std::vector<size_t> free_;
  int open_handles_ = 0;
  unsigned long long local_changes_ = 0;
  Id roots_[4] = {};
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

// One IMMEDIATE transaction; rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(Registry& r) : r_(r) {
    rc_ = sqlite3_exec(r_.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  }
  ~Transaction() {
    if (rc_ == SQLITE_OK && !done_) sqlite3_exec(r_.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  LONG began() const { return Registry::ErrorFromSqlite(rc_); }
  LONG Commit() {
    const int rc = sqlite3_exec(r_.db(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      done_ = true;
      r_.Changed();
    }
    return Registry::ErrorFromSqlite(rc);
  }

 private:
  Registry& r_;
  int rc_;
  bool done_ = false;
};

// A key resolved from a handle: its id and path (the path only when a hook
// wants it).
struct KeyRef {
  Id id = 0;
  std::string path;
  Slot* slot = nullptr;
};

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

// Resolves a handle (predefined or opened). HKEY_CLASSES_ROOT resolves to
// HKEY_LOCAL_MACHINE with the prefix "SOFTWARE\Classes" for the subkey.
LONG Resolve(HKEY h, KeyRef* ref, std::string* prefix) {
  Registry& r = Reg();
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  prefix->clear();
  switch (v) {
    case 0x80000000u:
      ref->id = r.root_id(0);
      *prefix = "SOFTWARE\\Classes";
      ref->path = "HKEY_LOCAL_MACHINE";
      return ERROR_SUCCESS;
    case 0x80000001u: ref->id = r.root_id(2); ref->path = "HKEY_CURRENT_USER"; return ERROR_SUCCESS;
    case 0x80000002u: ref->id = r.root_id(0); ref->path = "HKEY_LOCAL_MACHINE"; return ERROR_SUCCESS;
    case 0x80000003u: ref->id = r.root_id(1); ref->path = "HKEY_USERS"; return ERROR_SUCCESS;
    case 0x80000005u: ref->id = r.root_id(3); ref->path = "HKEY_CURRENT_CONFIG"; return ERROR_SUCCESS;
    default: break;
  }
  Slot* s = r.FindSlot(h);
  if (!s) return ERROR_INVALID_HANDLE;
  ref->id = s->key;
  ref->path = s->path;
  ref->slot = s;
  return KeyExists(s->key);
}

// Splits a subkey path into components. A leading backslash, an empty
// component in the middle or a component over 255 characters is refused; one
// trailing backslash is allowed, as on Windows.
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

// Walks the components from `from`; on success *out is the last key's id.
// Missing keys are created when `create` is set (inside a transaction).
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

bool IsRootId(Id id) {
  for (int i = 0; i < 4; ++i) {
    if (Reg().root_id(i) == id) return true;
  }
  return false;
}

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

std::string ValueName(LPCSTR name) { return name ? std::string(name) : std::string(); }

}  // namespace

int RegistryHandleCount() { return Reg().open_handles(); }
void CloseRegistryDatabase() { Reg().Close(); }

}  // namespace winhost

using namespace winhost;

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                          DWORD dwOptions, REGSAM samDesired,
                                          const SECURITY_ATTRIBUTES* lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  std::string prefix;
  err = Resolve(hKey, &ref, &prefix);
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> parts;
  err = SplitPath(prefix, lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  const std::string path = JoinPath(ref.path, parts);
  if (WantSubjects()) {
    err = CallHook("RegCreateKeyExA", path);
    if (err != ERROR_SUCCESS) return err;
  }
  Id id = 0;
  bool created = false;
  // Look first without the write lock: opening an existing key writes nothing.
  err = Walk(ref.id, parts, false, &id, &created);
  if (err == ERROR_FILE_NOT_FOUND) {
    Transaction tx(r);
    err = tx.began();
    if (err != ERROR_SUCCESS) return err;
    err = Walk(ref.id, parts, true, &id, &created);
    if (err != ERROR_SUCCESS) return err;
    err = tx.Commit();
  }
  if (err != ERROR_SUCCESS) return err;
  *phkResult = r.NewHandle(id, path);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                        PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  std::string prefix;
  err = Resolve(hKey, &ref, &prefix);
  if (err != ERROR_SUCCESS) return err;
  std::vector<std::string> parts;
  err = SplitPath(prefix, lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  const std::string path = JoinPath(ref.path, parts);
  if (WantSubjects()) {
    err = CallHook("RegOpenKeyExA", path);
    if (err != ERROR_SUCCESS) return err;
  }
  Id id = 0;
  bool created = false;
  err = Walk(ref.id, parts, false, &id, &created);
  if (err != ERROR_SUCCESS) return err;
  *phkResult = r.NewHandle(id, path);
  return ERROR_SUCCESS;
}

// Opens the key a value call works on: the handle's key, or for
// HKEY_CLASSES_ROOT the Classes key under HKEY_LOCAL_MACHINE.
static LONG ValueKey(HKEY hKey, KeyRef* ref) {
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
  sqlite3_stmt* s = Reg().Get(kFindValue);
  StmtUse use(s);
  sqlite3_bind_int64(s, 1, ref.id);
  sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  const DWORD type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
  const void* data = sqlite3_column_blob(s, 2);
  const DWORD size = static_cast<DWORD>(sqlite3_column_bytes(s, 2));
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
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  const std::string name = ValueName(lpValueName);
  if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  err = Hook("RegSetValueExA", ref, name.c_str());
  if (err != ERROR_SUCCESS) return err;
  Registry& r = Reg();
  Transaction tx(r);
  err = tx.began();
  if (err != ERROR_SUCCESS) return err;
  err = KeyExists(ref.id);
  if (err != ERROR_SUCCESS) return err;
  const std::string fold = Fold(name);
  Id existing = 0;
  {
    sqlite3_stmt* s = r.Get(kFindValue);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) existing = sqlite3_column_int64(s, 0);
    else if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
  }
  static const BYTE kEmpty = 0;
  const void* bytes = cbData ? static_cast<const void*>(lpData) : static_cast<const void*>(&kEmpty);
  int rc;
  if (existing) {
    // Keeps the first spelling of the name and the value's place in the order.
    sqlite3_stmt* s = r.Get(kUpdateValue);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, existing);
    sqlite3_bind_int64(s, 2, dwType);
    sqlite3_bind_blob(s, 3, bytes, static_cast<int>(cbData), SQLITE_STATIC);
    rc = sqlite3_step(s);
  } else {
    sqlite3_stmt* s = r.Get(kInsertValue);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 3, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 4, dwType);
    sqlite3_bind_blob(s, 5, bytes, static_cast<int>(cbData), SQLITE_STATIC);
    rc = sqlite3_step(s);
  }
  if (rc != SQLITE_DONE) return Registry::ErrorFromSqlite(rc);
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
    sqlite3_stmt* s = r.Get(kFindValue);
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
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

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  std::string prefix;
  err = Resolve(hKey, &ref, &prefix);
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
  err = Walk(ref.id, parts, false, &id, &created);
  if (err != ERROR_SUCCESS) return err;
  if (IsRootId(id)) return ERROR_ACCESS_DENIED;
  err = DeleteKeyById(id);
  if (err != ERROR_SUCCESS) return err;
  return tx.Commit();
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  err = Hook("RegEnumValueA", ref, nullptr);
  if (err != ERROR_SUCCESS) return err;
  Registry& r = Reg();
  Cursor scratch;
  Cursor& cur = ref.slot ? ref.slot->values : scratch;
  const unsigned long long stamp = r.Stamp();
  if (cur.valid && cur.stamp != stamp) cur.valid = false;

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
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  const Id id = sqlite3_column_int64(s, 0);
  cur.valid = true;
  cur.index = dwIndex;
  cur.last_id = id;
  cur.stamp = stamp;

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

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        void* lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  err = Hook("RegEnumKeyExA", ref, nullptr);
  if (err != ERROR_SUCCESS) return err;
  Registry& r = Reg();
  Cursor scratch;
  Cursor& cur = ref.slot ? ref.slot->subkeys : scratch;
  const unsigned long long stamp = r.Stamp();
  if (cur.valid && cur.stamp != stamp) cur.valid = false;
  sqlite3_stmt* s;
  if (cur.valid && dwIndex == cur.index + 1) {
    s = r.Get(kEnumKeyAfter);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_blob(s, 2, cur.last_fold.data(), static_cast<int>(cur.last_fold.size()), SQLITE_TRANSIENT);
  } else {
    s = r.Get(kEnumKeyOffset);
    sqlite3_bind_int64(s, 1, ref.id);
    sqlite3_bind_int64(s, 2, dwIndex);
  }
  StmtUse use(s);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  cur.valid = true;
  cur.index = dwIndex;
  cur.last_fold.assign(static_cast<const char*>(sqlite3_column_blob(s, 0)),
                       static_cast<size_t>(sqlite3_column_bytes(s, 0)));
  cur.stamp = stamp;
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
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(hKey);
  if (v >= 0x80000000u && v <= 0x80000006u) return ERROR_SUCCESS;
  return Reg().CloseHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
