#include "change_journal.h"

const char kChangeJournalKey[] = "Software\\Norvale\\ravmo\\OldRegs";

// Filled in with the change journal's own work.
bool RecordOldValue(HKEY, const Text&, const Text&) { return false; }
void RestoreOldValues() {}
