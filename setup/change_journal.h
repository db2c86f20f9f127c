// The change journal: old contents of the values that the install replaces,
// kept under HKEY_CURRENT_USER "Software\Norvale\ravmo\OldRegs" and put back
// at uninstall.
#ifndef QUILLON_SETUP_CHANGE_JOURNAL_H
#define QUILLON_SETUP_CHANGE_JOURNAL_H

#include "text.h"
#include "winapi.h"

extern const char kChangeJournalKey[];  // "Software\Norvale\ravmo\OldRegs"

// Records the value's current content before the caller replaces it, asking
// the user (ConfirmChange) when the value exists. True: go ahead and write.
// False: the user declined, or the old content could not be journalled;
// either way the caller leaves the value alone.
bool RecordOldValue(HKEY hive, const Text& keyPath, const Text& valueName);

// Puts every journalled value back, or deletes it where it did not exist.
void RestoreOldValues();

#endif  // QUILLON_SETUP_CHANGE_JOURNAL_H
