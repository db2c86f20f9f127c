// The uninstall sequence.
#ifndef QUILLON_SETUP_UNINSTALL_H
#define QUILLON_SETUP_UNINSTALL_H

#include "text.h"
#include "winapi.h"

// Deletes the plain files of `directory` (not descending into subfolders),
// then tries to remove the folder. Always true.
bool RemoveDirFiles(Text directory);

// Runs the whole uninstall. Reads none of its arguments.
void DoUninstall(HINSTANCE hInstance, HINSTANCE hPrevInstance, const Text& rest, int nCmdShow);

#endif  // QUILLON_SETUP_UNINSTALL_H
