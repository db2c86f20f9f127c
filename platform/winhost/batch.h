// Batches: many registry calls of this process as one transaction, so that a
// caller (the registry tool's import) changes all or nothing. Internal to the
// hosted layer and its tools; not part of the Win32-shaped outside.
//
// While a batch is open, every mutating registry call (RegCreateKeyExA when it
// creates, RegSetValueExA, RegDeleteValueA, RegDeleteKeyA) joins the batch's
// transaction instead of committing on its own; a call that fails leaves the
// batch as it was before that call. Calls see the batch's own changes; other
// processes see none of them until CommitBatch(), and wait for their own
// writes until the batch ends. Batches do not nest.
#ifndef QUILLON_WINHOST_BATCH_H
#define QUILLON_WINHOST_BATCH_H

#include "winapi.h"

namespace winhost {

// Opens a batch (taking the registry's write lock). Returns 0, the error that
// opening the registry gave, or ERROR_INVALID_FUNCTION when a batch is
// already open.
LONG BeginBatch();

// Makes every change since BeginBatch() permanent. On any error nothing of
// the batch is kept. ERROR_INVALID_FUNCTION: no batch was open.
LONG CommitBatch();

// Undoes every change since BeginBatch(). ERROR_INVALID_FUNCTION: no batch
// was open.
LONG RollbackBatch();

}  // namespace winhost

#endif  // QUILLON_WINHOST_BATCH_H
