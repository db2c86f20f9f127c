// Each program defines WinMain in one of its libraries. The C runtime calls it
// from its own library, which the linker reads after the program's, so without
// a reference from the executable itself WinMain would not be found.
#include "winapi.h"

extern "C" __attribute__((used)) int(WINAPI* const quillon_program_entry)(HINSTANCE, HINSTANCE,
                                                                           LPSTR, int) = WinMain;
