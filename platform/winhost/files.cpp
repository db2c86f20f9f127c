// Files and folders (to be filled in).
#include "internal.h"

namespace winhost {
int FindHandleCount() { return 0; }
}  // namespace winhost
