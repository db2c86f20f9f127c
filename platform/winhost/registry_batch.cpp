// Batches (batch.h): one transaction around many calls.
#include "batch.h"
#include "registry_internal.h"

namespace winhost {

using reg::Registry;

LONG BeginBatch() {
  Registry& r = reg::Reg();
  const LONG err = r.Ready();
  if (err != ERROR_SUCCESS) return err;
  if (r.batch_open) return ERROR_INVALID_FUNCTION;
  const int rc = sqlite3_exec(r.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return Registry::ErrorFromSqlite(rc);
  r.batch_open = true;
  return ERROR_SUCCESS;
}

LONG CommitBatch() {
  Registry& r = reg::Reg();
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
  Registry& r = reg::Reg();
  if (!r.batch_open) return ERROR_INVALID_FUNCTION;
  r.batch_open = false;
  r.Changed();
  if (!sqlite3_get_autocommit(r.db())) sqlite3_exec(r.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  return ERROR_SUCCESS;
}

}  // namespace winhost
