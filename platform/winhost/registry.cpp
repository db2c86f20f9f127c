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
// never written: every call then fails with ERROR_REGISTRY_CORRUPT. Its header
// is read before SQLite opens it, so that nothing (not even a -wal or -shm
// file) is created beside a file of another kind.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "batch.h"
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
  kEnumKeyFrom,
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
    "SELECT fold,name FROM keys WHERE parent=?1 AND fold>=?2 ORDER BY fold LIMIT 1",
    "SELECT fold,name FROM keys WHERE parent=?1 ORDER BY fold LIMIT 1 OFFSET ?2",
};

// Key ids are never reused (AUTOINCREMENT): a handle to a deleted key must
// not come to name a key created later.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
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
    CloseDatabase();
    state_ = kUnopened;
    slots_.clear();
    free_.clear();
    open_handles_ = 0;
    for (Cursor& c : root_values_) c = Cursor();
    for (Cursor& c : root_subkeys_) c = Cursor();
    batch_open = false;  // closing the connection rolled an open batch back
  }

  // Opens the database on first use. Returns 0 or the error every call gets.
  LONG Ready() {
    if (state_ == kOpen) return ERROR_SUCCESS;
    if (state_ == kBroken) return broken_error_;
    const LONG err = Open();
    if (err != ERROR_SUCCESS) {
      state_ = kBroken;
      broken_error_ = err;
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

  // Bumped on every change this process makes; with SQLite's data version
  // (which also moves with the commits of other connections) it tells whether
  // a cursor is still exact. Read it inside a read transaction, so that it
  // belongs to the same snapshot as the rows that follow.
  unsigned long long Stamp() {
    unsigned int version = 0;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return (local_changes_ << 32) ^ version;
  }
  void Changed() { ++local_changes_; }

  Id root_id(int i) const { return roots_[i]; }

  // Keys that hold HKEY_CLASSES_ROOT up: HKLM\SOFTWARE and its Classes.
  bool IsProtected(Id id) const {
    for (Id root : roots_) {
      if (root == id) return true;
    }
    return id == software_id_ || id == classes_id_;
  }

  // Cursors of the predefined handles, which have no slot.
  Cursor* RootValues(size_t i) { return &root_values_[i]; }
  Cursor* RootSubkeys(size_t i) { return &root_subkeys_[i]; }

  // Set between BeginBatch() and CommitBatch()/RollbackBatch() (batch.h).
  bool batch_open = false;

 private:
  static constexpr uintptr_t kHandleBase = 0x1000;
  static constexpr size_t kPredefined = 6;
  enum State { kUnopened, kOpen, kBroken };

  void CloseDatabase() {
    for (auto& s : stmts_) {
      if (s) sqlite3_finalize(s);
      s = nullptr;
    }
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
  }

  static std::string Path() {
    std::string path = GetEnv("WINHOST_REGISTRY");
    if (!path.empty()) return path;
    std::string data = GetEnv("XDG_DATA_HOME");
    if (data.empty()) data = GetEnv("HOME") + "/.local/share";
    const std::string dir = data + "/winhost";
    MakeDirs(dir);
    return dir + "/registry.db";
  }

  // Reads the header of an existing file without SQLite, which would open a
  // WAL-mode file of another program (making a -wal and -shm beside it), and
  // would take one without tables for a new registry and write into it. An
  // empty file is a registry yet to be made. The application id is written
  // in the same transaction as the tables, in rollback mode, so a registry
  // that has tables carries it in the file itself.
  static LONG CheckHeader(const std::string& path, const struct stat& st) {
    if (st.st_size == 0) return ERROR_SUCCESS;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    unsigned char h[100];
    const ssize_t n = pread(fd, h, sizeof h, 0);
    close(fd);
    if (n != static_cast<ssize_t>(sizeof h)) return ERROR_REGISTRY_CORRUPT;
    if (std::memcmp(h, "SQLite format 3", 16) != 0) return ERROR_REGISTRY_CORRUPT;
    unsigned page = (static_cast<unsigned>(h[16]) << 8) | h[17];
    if (page == 1) page = 65536;
    if (page < 512 || (page & (page - 1)) != 0) return ERROR_REGISTRY_CORRUPT;
    if (st.st_size % page != 0) return ERROR_REGISTRY_CORRUPT;
    const uint32_t app = (static_cast<uint32_t>(h[68]) << 24) | (static_cast<uint32_t>(h[69]) << 16) |
                         (static_cast<uint32_t>(h[70]) << 8) | h[71];
    if (app == static_cast<uint32_t>(kApplicationId)) return ERROR_SUCCESS;
    // Earlier builds wrote the id in WAL mode, so a registry of theirs that
    // was never checkpointed has it only in its -wal file: SQLite reads it
    // from there and still refuses a file of another program.
    struct stat wal;
    const bool in_wal = h[18] == 2 && h[19] == 2 && stat((path + "-wal").c_str(), &wal) == 0 && wal.st_size > 0;
    return app == 0 && in_wal ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
  }

  LONG Open() {
    const std::string path = Path();
    const bool memory = path == ":memory:";
    bool readonly = false;
    if (!memory) {
      struct stat st;
      if (stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return ERROR_REGISTRY_IO_FAILED;
        const LONG err = CheckHeader(path, st);
        if (err != ERROR_SUCCESS) return err;
        // A file without write bits is read-only, as for the file calls, even
        // to a process that could write it anyway.
        readonly = (st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
      }
    }
    // On failure the connection goes at once; closing it also removes the
    // -wal and -shm files SQLite may have made for a broken WAL-mode file.
    const LONG err = Connect(path, memory, readonly);
    if (err != ERROR_SUCCESS) CloseDatabase();
    return err;
  }

  // "file:" URI of a path, every byte outside the plain set escaped.
  static std::string FileUri(const std::string& path) {
    std::string uri = "file:";
    for (unsigned char c : path) {
      if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-' || c == '~') {
        uri += static_cast<char>(c);
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        uri += hex;
      }
    }
    return uri;
  }

  LONG Connect(const std::string& path, bool memory, bool readonly) {
    const int flags = (readonly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX;
    // A read-only WAL-mode file would get a -wal and -shm made beside it.
    // Without a -wal of its own nothing can be pending, and no process writes
    // a file without write bits, so it is opened as one that cannot change.
    struct stat wal;
    int rc;
    if (readonly && !memory && stat((path + "-wal").c_str(), &wal) != 0) {
      rc = sqlite3_open_v2((FileUri(path) + "?immutable=1").c_str(), &db_, flags | SQLITE_OPEN_URI, nullptr);
    } else {
      rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    }
    if (rc != SQLITE_OK) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);

    // Tables first: once there they stay, so the id read next belongs to a
    // state that has them, even while another process is making the file.
    int app_id = 0, tables = 0;
    rc = QueryInt("SELECT count(*) FROM sqlite_master", &tables);
    if (rc == SQLITE_OK) rc = QueryInt("PRAGMA application_id", &app_id);
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    if (tables != 0 && app_id != kApplicationId) return ERROR_REGISTRY_CORRUPT;
    if (tables == 0) {
      if (readonly) return ERROR_ACCESS_DENIED;
      const LONG err = CreateSchema();
      if (err != ERROR_SUCCESS) return err;
    }
    if (!memory) {
      // Made after the tables, so that the application id is in the file
      // itself. Failing here (another process holds a lock while it switches)
      // is harmless: any process that succeeds switches the file for all.
      if (!readonly) Exec("PRAGMA journal_mode=WAL");
      Exec("PRAGMA synchronous=NORMAL");
    }
    for (int i = 0; i < kStmtCount; ++i) {
      rc = sqlite3_prepare_v3(db_, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr);
      if (rc != SQLITE_OK) return ERROR_REGISTRY_CORRUPT;
    }
    for (int i = 0; i < 4; ++i) {
      rc = FindRow(0, kRootNames[i], &roots_[i]);
      if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_REGISTRY_CORRUPT : ErrorFromSqlite(rc);
    }
    software_id_ = classes_id_ = 0;
    if (FindRow(roots_[0], "SOFTWARE", &software_id_) == SQLITE_ROW)
      FindRow(software_id_, "Classes", &classes_id_);
    return ERROR_SUCCESS;
  }

  // Tables, application id and the predefined keys, in one transaction that
  // another process creating the same file at the same time waits for.
  LONG CreateSchema() {
    int rc = Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    int tables = 0, app_id = 0;
    rc = QueryInt("SELECT count(*) FROM sqlite_master", &tables);
    if (rc == SQLITE_OK && tables != 0) {
      // The other process was first.
      rc = QueryInt("PRAGMA application_id", &app_id);
      if (rc == SQLITE_OK && app_id != kApplicationId) rc = SQLITE_CORRUPT;
      if (rc == SQLITE_OK) rc = Exec("COMMIT");
      if (rc != SQLITE_OK) Exec("ROLLBACK");
      return ErrorFromSqlite(rc);
    }
    if (rc == SQLITE_OK) rc = Exec(kSchema);
    if (rc == SQLITE_OK) rc = Exec(Format("PRAGMA application_id=%d", kApplicationId).c_str());
    if (rc == SQLITE_OK) {
      for (const char* root : kRootNames) {
        // Names are stored as blobs, which never compare equal to text.
        const std::string sql = std::string("INSERT INTO keys(parent,name,fold) VALUES(0,CAST('") + root +
                                "' AS BLOB),CAST('" + Fold(root, std::strlen(root)) + "' AS BLOB))";
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
    return ERROR_SUCCESS;
  }

  // The id of the child `name` of `parent`, with the prepared lookup.
  int FindRow(Id parent, const char* name, Id* out) {
    sqlite3_stmt* s = stmts_[kFindKey];
    StmtUse use(s);
    sqlite3_bind_int64(s, 1, parent);
    const std::string f = Fold(name, std::strlen(name));
    sqlite3_bind_blob(s, 2, f.data(), static_cast<int>(f.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) *out = sqlite3_column_int64(s, 0);
    return rc;
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
      case SQLITE_NOMEM:
      case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;
      case SQLITE_FULL: return ERROR_DISK_FULL;
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
  Id software_id_ = 0;
  Id classes_id_ = 0;
  Cursor root_values_[kPredefined];
  Cursor root_subkeys_[kPredefined];
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

// One IMMEDIATE transaction; rolls back unless committed. Inside a batch it
// is a savepoint of the batch's transaction instead, so that a failed call
// leaves the batch as it was; a batch whose transaction SQLite has already
// rolled back (an I/O error) takes no more changes.
class Transaction {
 public:
  explicit Transaction(Registry& r) : r_(r), in_batch_(r.batch_open) {
    if (!in_batch_) {
      rc_ = sqlite3_exec(r_.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    } else if (sqlite3_get_autocommit(r_.db())) {
      rc_ = SQLITE_ABORT;
    } else {
      rc_ = sqlite3_exec(r_.db(), "SAVEPOINT call", nullptr, nullptr, nullptr);
    }
  }
  ~Transaction() {
    if (rc_ == SQLITE_OK && !done_)
      sqlite3_exec(r_.db(), in_batch_ ? "ROLLBACK TO call; RELEASE call" : "ROLLBACK", nullptr, nullptr,
                   nullptr);
  }
  LONG began() const { return Registry::ErrorFromSqlite(rc_); }
  LONG Commit() {
    const int rc = sqlite3_exec(r_.db(), in_batch_ ? "RELEASE call" : "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      done_ = true;
      r_.Changed();
    }
    return Registry::ErrorFromSqlite(rc);
  }

 private:
  Registry& r_;
  bool in_batch_;
  int rc_;
  bool done_ = false;
};

// A read transaction, so that several statements see one snapshot of the
// file; inside a batch the batch's transaction already gives one.
class ReadTransaction {
 public:
  explicit ReadTransaction(Registry& r) : r_(r), own_(!r.batch_open) {
    rc_ = own_ ? sqlite3_exec(r_.db(), "BEGIN", nullptr, nullptr, nullptr) : SQLITE_OK;
  }
  ~ReadTransaction() {
    if (own_ && rc_ == SQLITE_OK) sqlite3_exec(r_.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;
  LONG began() const { return Registry::ErrorFromSqlite(rc_); }

 private:
  Registry& r_;
  bool own_;
  int rc_;
};

// A key resolved from a handle: its id, its path (the path only when a hook
// wants it) and the enumeration cursors of the handle.
struct KeyRef {
  Id id = 0;
  std::string path;
  Cursor* values = nullptr;
  Cursor* subkeys = nullptr;
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
  if (v >= 0x80000000u && v <= 0x80000005u && v != 0x80000004u) {
    ref->values = r.RootValues(v - 0x80000000u);
    ref->subkeys = r.RootSubkeys(v - 0x80000000u);
  }
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
  ref->values = &s->values;
  ref->subkeys = &s->subkeys;
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

std::vector<std::string> RegistryStatementSql() { return {std::begin(kStmtSql), std::end(kStmtSql)}; }

// ---- Batches (batch.h): one transaction around many calls. ----

LONG BeginBatch() {
  Registry& r = Reg();
  const LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  if (r.batch_open) return ERROR_INVALID_FUNCTION;
  const int rc = sqlite3_exec(r.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return Registry::ErrorFromSqlite(rc);
  r.batch_open = true;
  return ERROR_SUCCESS;
}

LONG CommitBatch() {
  Registry& r = Reg();
  if (!r.batch_open) return ERROR_INVALID_FUNCTION;
  r.batch_open = false;
  r.Changed();
  // SQLite rolls a transaction back by itself on some I/O errors.
  if (sqlite3_get_autocommit(r.db())) return ERROR_REGISTRY_IO_FAILED;
  const int rc = sqlite3_exec(r.db(), "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK && !sqlite3_get_autocommit(r.db()))
    sqlite3_exec(r.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  return Registry::ErrorFromSqlite(rc);
}

LONG RollbackBatch() {
  Registry& r = Reg();
  if (!r.batch_open) return ERROR_INVALID_FUNCTION;
  r.batch_open = false;
  r.Changed();
  if (!sqlite3_get_autocommit(r.db())) sqlite3_exec(r.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  return ERROR_SUCCESS;
}

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
    // The handle's key may have gone since it was resolved, and nothing may
    // be created under a key that is no more.
    err = KeyExists(ref.id);
    if (err == ERROR_SUCCESS) err = Walk(ref.id, parts, true, &id, &created);
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
  if (cbData > 0x7FFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;  // more than SQLite binds
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
  err = KeyExists(ref.id);
  if (err == ERROR_SUCCESS) err = Walk(ref.id, parts, false, &id, &created);
  if (err != ERROR_SUCCESS) return err;
  if (r.IsProtected(id)) return ERROR_ACCESS_DENIED;
  err = DeleteKeyById(id);
  if (err != ERROR_SUCCESS) return err;
  return tx.Commit();
}

// Starts the snapshot an enumeration reads (a read of the key, which also
// finds a handle whose key was deleted) and drops the cursor when anything
// changed since it was made.
static LONG BeginEnum(const KeyRef& ref, Cursor* cur) {
  const LONG err = KeyExists(ref.id);
  if (err != ERROR_SUCCESS) return err;
  const unsigned long long stamp = Reg().Stamp();
  if (cur->valid && cur->stamp != stamp) cur->valid = false;
  cur->stamp = stamp;
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  ReadTransaction rtx(r);
  err = rtx.began();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  err = Hook("RegEnumValueA", ref, nullptr);
  if (err != ERROR_SUCCESS) return err;
  Cursor& cur = *ref.values;
  err = BeginEnum(ref, &cur);
  if (err != ERROR_SUCCESS) return err;

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
  cur.valid = true;
  cur.index = dwIndex;
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

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        void* lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  Registry& r = Reg();
  LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  ReadTransaction rtx(r);
  err = rtx.began();
  if (err != ERROR_SUCCESS) return err;
  KeyRef ref;
  err = ValueKey(hKey, &ref);
  if (err != ERROR_SUCCESS) return err;
  err = Hook("RegEnumKeyExA", ref, nullptr);
  if (err != ERROR_SUCCESS) return err;
  Cursor& cur = *ref.subkeys;
  err = BeginEnum(ref, &cur);
  if (err != ERROR_SUCCESS) return err;

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
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  cur.valid = true;
  cur.index = dwIndex;
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

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(hKey);
  if (v >= 0x80000000u && v <= 0x80000006u) return ERROR_SUCCESS;
  return Reg().CloseHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
