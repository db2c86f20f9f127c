// The transactions of the registry calls (registry_internal.h).
#include "registry_internal.h"

namespace winhost {
namespace reg {

Transaction::Transaction(Registry& r) : r_(r), in_batch_(r.batch_open) {
  if (!in_batch_) {
    rc_ = sqlite3_exec(r_.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  } else if (sqlite3_get_autocommit(r_.db())) {
    rc_ = SQLITE_ABORT;
  } else {
    rc_ = sqlite3_exec(r_.db(), "SAVEPOINT call", nullptr, nullptr, nullptr);
  }
}

Transaction::~Transaction() {
  if (rc_ == SQLITE_OK && !done_)
    sqlite3_exec(r_.db(), in_batch_ ? "ROLLBACK TO call; RELEASE call" : "ROLLBACK", nullptr, nullptr,
                 nullptr);
}

LONG Transaction::Commit() {
  const int rc = sqlite3_exec(r_.db(), in_batch_ ? "RELEASE call" : "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    done_ = true;
    r_.Changed();
  }
  return Registry::ErrorFromSqlite(rc);
}

ReadTransaction::ReadTransaction(Registry& r) : r_(r), own_(!r.batch_open) {
  rc_ = own_ ? sqlite3_exec(r_.db(), "BEGIN", nullptr, nullptr, nullptr) : SQLITE_OK;
}

ReadTransaction::~ReadTransaction() {
  if (own_ && rc_ == SQLITE_OK) sqlite3_exec(r_.db(), "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace reg
}  // namespace winhost
