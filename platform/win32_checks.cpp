// The programs hand these structures to the system with fixed sizes (68 and
// 148 bytes, those of 32-bit Windows). The shipping 32-bit build checks that
// the toolchain's headers agree, so that a header change cannot slip through.
#include "winapi.h"

static_assert(sizeof(STARTUPINFOA) == 68, "GetStartupInfoA is called with cb = 68");
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA is called with a size of 148");
