// Processes (to be filled in).
#include "internal.h"

namespace winhost {
int ProcessHandleCount() { return 0; }
}  // namespace winhost
