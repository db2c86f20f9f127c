// The parts of the hosted registry shared by its source files; not part of
// winhost's Win32-shaped outside.
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
#ifndef QUILLON_WINHOST_REGISTRY_INTERNAL_H
#define QUILLON_WINHOST_REGISTRY_INTERNAL_H

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "internal.h"

namespace winhost {
namespace reg {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

using Id = sqlite3_int64;

inline std::string Fold(const char* s, size_t n) {
  std::string out(s, n);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}
inline std::string Fold(const std::string& s) { return Fold(s.data(), s.size()); }

// The prepared statements; their SQL is kStmtSql in registry_db.cpp.
enum Stmt {
  kFindKey,
  kInsertKey,
  kKeyExists,
  kKeyName,
  kQueryValue,
  kSetValue,
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

// The transaction control statements, prepared once like the others.
enum TxStmt {
  kBegin,
  kBeginImmediate,
  kCommit,
  kRollback,
  kSavepoint,
  kRelease,
  kRollbackTo,
  kTxStmtCount
};

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

// The connection, its statements and the handle table of this process.
// Opening is in registry_db.cpp, the handle table in registry_handles.cpp.
class Registry {
 public:
  ~Registry() { Close(); }

  void Close();

  // Opens the database on first use. Returns 0 or the error every call gets.
  LONG Ready() {
    if (state_ == kOpen) return ERROR_SUCCESS;
    if (state_ == kBroken) return broken_error_;
    return OpenFirst();
  }

  sqlite3_stmt* Get(Stmt which) { return stmts_[which]; }

  // Runs a transaction control statement; the SQLite result code.
  int Run(TxStmt which) {
    sqlite3_stmt* s = tx_stmts_[which];
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }
  sqlite3* db() { return db_; }

  // Handles.
  HKEY NewHandle(Id key, std::string path);
  Slot* FindSlot(HKEY h);
  bool CloseHandle(HKEY h);
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

  static LONG ErrorFromSqlite(int rc);

 private:
  static constexpr uintptr_t kHandleBase = 0x1000;
  static constexpr size_t kPredefined = 6;
  enum State { kUnopened, kOpen, kBroken };

  LONG OpenFirst();
  void CloseDatabase();
  LONG Open();
  LONG Connect(const std::string& path, bool memory, bool readonly);
  LONG CreateSchema();
  int FindRow(Id parent, const char* name, Id* out);
  int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
  int QueryInt(const char* sql, int* out);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmts_[kStmtCount] = {};
  sqlite3_stmt* tx_stmts_[kTxStmtCount] = {};
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

Registry& Reg();

// One IMMEDIATE transaction; rolls back unless committed. Inside a batch it
// is a savepoint of the batch's transaction instead, so that a failed call
// leaves the batch as it was; a batch whose transaction SQLite has already
// rolled back (an I/O error) takes no more changes.
class Transaction {
 public:
  explicit Transaction(Registry& r);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  LONG began() const { return Registry::ErrorFromSqlite(rc_); }
  LONG Commit();

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
  explicit ReadTransaction(Registry& r);
  ~ReadTransaction();
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;
  LONG began() const { return Registry::ErrorFromSqlite(rc_); }

 private:
  Registry& r_;
  bool own_;
  int rc_;
};

// A key resolved from a handle: its id, its path (the path only when a hook
// wants it) and the enumeration cursors of the handle. `opened` is set for a
// handle of RegCreateKeyExA/RegOpenKeyExA, whose key another call or process
// may have deleted since; the keys of the predefined handles are never
// deleted (RegDeleteKeyA refuses them).
struct KeyRef {
  Id id = 0;
  bool opened = false;
  std::string path;
  Cursor* values = nullptr;
  Cursor* subkeys = nullptr;
};

// Handles (registry_handles.cpp).

// Resolves a handle (predefined or opened) without reading the database: the
// caller checks that the key is still there (CheckKey, or a statement that
// reads the key) in the same snapshot or transaction that acts on it.
// HKEY_CLASSES_ROOT resolves to HKEY_LOCAL_MACHINE with the prefix
// "SOFTWARE\Classes" for the subkey.
LONG Resolve(HKEY h, KeyRef* ref, std::string* prefix);

// 0 when the key of a resolved handle is still there, else ERROR_KEY_DELETED.
LONG CheckKey(const KeyRef& ref);

// The start RegEnumKeyExA and RegEnumValueA share: one read snapshot for the
// whole call, the handle's key read in it (which also finds a handle whose
// key was deleted), the seam's hook run, and the handle's cursor of the given
// kind (&KeyRef::values or &KeyRef::subkeys) dropped when anything changed
// since it was made. The call goes on only when error() is ERROR_SUCCESS.
class EnumSnapshot {
 public:
  EnumSnapshot(const char* op, HKEY h, Cursor* KeyRef::*kind);
  EnumSnapshot(const EnumSnapshot&) = delete;
  EnumSnapshot& operator=(const EnumSnapshot&) = delete;
  LONG error() const { return error_; }
  const KeyRef& ref() const { return ref_; }
  Cursor& cursor() const { return *cursor_; }
  // Steps the statement that reads the entry at `index`: ERROR_NO_MORE_ITEMS
  // past the last one; on a row the cursor stands at `index`, and the caller
  // records where in the key that row is.
  LONG Step(sqlite3_stmt* s, DWORD index) const;

 private:
  std::optional<ReadTransaction> rtx_;  // begun only once the registry is ready
  KeyRef ref_;
  Cursor* cursor_ = nullptr;
  LONG error_ = ERROR_SUCCESS;
};

// Lookups by path (registry_lookup.cpp).

bool WantSubjects();

// Runs the test seam's hook on the key's path, with `extra` appended.
LONG Hook(const char* op, const KeyRef& ref, const char* extra);

// 0 when the key is there, ERROR_KEY_DELETED when it is gone.
LONG KeyExists(Id id);

// The child with the folded name `fold`, or ERROR_FILE_NOT_FOUND.
LONG FindChild(Id parent, const std::string& fold, Id* out);

// Splits a subkey path into components. A leading backslash, an empty
// component in the middle or a component over 255 characters is refused; one
// trailing backslash is allowed, as on Windows.
LONG SplitPath(const std::string& prefix, const char* sub, std::vector<std::string>* parts);

std::string JoinPath(const std::string& base, const std::vector<std::string>& parts);

// Walks the components from `from`; on success *out is the last key's id.
// Missing keys are created when `create` is set (inside a transaction).
LONG Walk(Id from, const std::vector<std::string>& parts, bool create, Id* out, bool* created);

// Opens the key a value call works on: the handle's key, or for
// HKEY_CLASSES_ROOT the Classes key under HKEY_LOCAL_MACHINE. Like Resolve,
// it leaves the check that an opened handle's key is there to the caller.
LONG ValueKey(HKEY hKey, KeyRef* ref);

}  // namespace reg
}  // namespace winhost

#endif  // QUILLON_WINHOST_REGISTRY_INTERNAL_H
