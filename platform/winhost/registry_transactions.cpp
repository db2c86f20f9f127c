// The transactions of the registry calls (registry_internal.h).
#include "registry_internal.h"

namespace winhost {
namespace reg {

Transaction::Transaction(Registry& r) : r_(r), in_batch_(r.batch_open) {
  if (!in_batch_) {
    rc_ = r_.Run(kBeginImmediate);
  } else if (sqlite3_get_autocommit(r_.db())) {
    rc_ = SQLITE_ABORT;
  } else {
    rc_ = r_.Run(kSavepoint);
  }
}

Transaction::~Transaction() {
  if (rc_ != SQLITE_OK || done_) return;
  if (in_batch_) {
    r_.Run(kRollbackTo);
    r_.Run(kRelease);
  } else {
    r_.Run(kRollback);
  }
}

LONG Transaction::Commit() {
  const int rc = r_.Run(in_batch_ ? kRelease : kCommit);
  if (rc == SQLITE_OK) {
    done_ = true;
    r_.Changed();
  }
  return Registry::ErrorFromSqlite(rc);
}

ReadTransaction::ReadTransaction(Registry& r) : r_(r), own_(!r.batch_open) {
  rc_ = own_ ? r_.Run(kBegin) : SQLITE_OK;
}

ReadTransaction::~ReadTransaction() {
  if (own_ && rc_ == SQLITE_OK) r_.Run(kRollback);
}

}  // namespace reg
}  // namespace winhost
