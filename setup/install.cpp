#include "install.h"

Text GetPlatformName() { return "Win95"; }

void DoInstall(HINSTANCE, HINSTANCE, const Text&, int) {}
