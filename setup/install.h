// The install sequence.
#ifndef QUILLON_SETUP_INSTALL_H
#define QUILLON_SETUP_INSTALL_H

#include "text.h"
#include "winapi.h"

// "Win95" or "WinNT", from GetVersionExA; "Win95" when the query fails or
// names another platform.
Text GetPlatformName();

// Runs the whole install for the product command line `installText`.
void DoInstall(HINSTANCE hInstance, HINSTANCE hPrevInstance, const Text& installText, int nCmdShow);

#endif  // QUILLON_SETUP_INSTALL_H
