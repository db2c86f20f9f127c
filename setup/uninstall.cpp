#include "uninstall.h"

bool RemoveDirFiles(Text) { return true; }

void DoUninstall(HINSTANCE, HINSTANCE, const Text&, int) {}
