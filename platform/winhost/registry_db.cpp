// Opening the hosted registry: where the file is, the header check that
// keeps SQLite away from a file of another kind, the schema, the predefined
// keys and the prepared statements.
//
// The header is read before SQLite opens the file, so that nothing (not even
// a -wal or -shm file) is created beside a file that is not a registry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "registry_internal.h"

namespace winhost {
namespace reg {
namespace {

constexpr int kApplicationId = 0x57485247;  // "WHRG"
constexpr int kBusyTimeoutMs = 60000;

const char* const kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER",
                                  "HKEY_CURRENT_CONFIG"};

const char* const kStmtSql[kStmtCount] = {
    "SELECT id FROM keys WHERE parent=?1 AND fold=?2",
    "INSERT INTO keys(parent,name,fold) VALUES(?1,?2,?3)",
    "SELECT 1 FROM keys WHERE id=?1",
    "SELECT name FROM keys WHERE id=?1",
    // No row: the key is gone; a row of NULLs: the key has no such value.
    "SELECT v.type,v.data FROM keys k LEFT JOIN vals v ON v.key=k.id AND v.fold=?2 WHERE k.id=?1",
    // Inserts nothing when the key is gone. An existing value keeps the
    // first spelling of its name and its place in the order.
    "INSERT INTO vals(key,name,fold,type,data) SELECT ?1,?2,?3,?4,?5 WHERE EXISTS(SELECT 1 FROM keys WHERE id=?1)"
    " ON CONFLICT(key,fold) DO UPDATE SET type=excluded.type, data=excluded.data",
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

const char* const kTxStmtSql[kTxStmtCount] = {
    "BEGIN", "BEGIN IMMEDIATE", "COMMIT", "ROLLBACK", "SAVEPOINT call", "RELEASE call", "ROLLBACK TO call",
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

void MakeDirs(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0700);
  }
}

std::string Path() {
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
LONG CheckHeader(const std::string& path, const struct stat& st) {
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

// "file:" URI of a path, every byte outside the plain set escaped.
std::string FileUri(const std::string& path) {
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

std::string Format(const char* fmt, int v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

}  // namespace

Registry& Reg() {
  static Registry registry;
  return registry;
}

void Registry::Close() {
  CloseDatabase();
  state_ = kUnopened;
  slots_.clear();
  free_.clear();
  open_handles_ = 0;
  for (Cursor& c : root_values_) c = Cursor();
  for (Cursor& c : root_subkeys_) c = Cursor();
  batch_open = false;  // closing the connection rolled an open batch back
}

LONG Registry::OpenFirst() {
  const LONG err = Open();
  if (err != ERROR_SUCCESS) {
    state_ = kBroken;
    broken_error_ = err;
    return err;
  }
  state_ = kOpen;
  return ERROR_SUCCESS;
}

void Registry::CloseDatabase() {
  for (auto& s : stmts_) {
    if (s) sqlite3_finalize(s);
    s = nullptr;
  }
  for (auto& s : tx_stmts_) {
    if (s) sqlite3_finalize(s);
    s = nullptr;
  }
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

LONG Registry::Open() {
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

LONG Registry::Connect(const std::string& path, bool memory, bool readonly) {
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
    // A checkpoint syncs the WAL and the database file; every 10000 pages
    // (about 40 MB of WAL at most) instead of every 1000 makes that a small
    // share of the calls' cost.
    Exec("PRAGMA wal_autocheckpoint=10000");
  }
  for (int i = 0; i < kStmtCount; ++i) {
    rc = sqlite3_prepare_v3(db_, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr);
    if (rc != SQLITE_OK) return ERROR_REGISTRY_CORRUPT;
  }
  for (int i = 0; i < kTxStmtCount; ++i) {
    rc = sqlite3_prepare_v3(db_, kTxStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &tx_stmts_[i], nullptr);
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
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
LONG Registry::CreateSchema() {
  // Rows are small (a name and a short value), and every change writes each
  // page it touches to the WAL, checksummed: small pages make that cheap.
  // Only a file still empty takes it; a file made before keeps its own.
  Exec("PRAGMA page_size=1024");
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
int Registry::FindRow(Id parent, const char* name, Id* out) {
  sqlite3_stmt* s = stmts_[kFindKey];
  StmtUse use(s);
  sqlite3_bind_int64(s, 1, parent);
  const std::string f = Fold(name, std::strlen(name));
  sqlite3_bind_blob(s, 2, f.data(), static_cast<int>(f.size()), SQLITE_TRANSIENT);
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) *out = sqlite3_column_int64(s, 0);
  return rc;
}

int Registry::QueryInt(const char* sql, int* out) {
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

LONG Registry::ErrorFromSqlite(int rc) {
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

}  // namespace reg

void CloseRegistryDatabase() { reg::Reg().Close(); }

std::vector<std::string> RegistryStatementSql() {
  return {std::begin(reg::kStmtSql), std::end(reg::kStmtSql)};
}

}  // namespace winhost
