// The process id of the updater's first position.
#ifndef QUILLON_UPDATER_PROCESS_ID_H
#define QUILLON_UPDATER_PROCESS_ID_H

#include "text.h"
#include "winapi.h"

// Reads a decimal number the way the C runtime's atoi does on a 32-bit
// system, but without undefined overflow: leading white space (blank, tab,
// line feed, vertical tab, form feed, carriage return), one optional sign,
// then digits up to the first non-digit, computed modulo 2^32; "-" negates
// the result. No digits gives 0. The 32-bit pattern is the id.
DWORD ProcessIdFromText(const Text& text);

#endif  // QUILLON_UPDATER_PROCESS_ID_H
