// The four registry operations of the setup tool, and RegPath texts.
//
// Each operation opens one key with KEY_ALL_ACCESS, does one thing, closes
// the key and answers true only when every step succeeded. On false, every
// output is left as it was.
#ifndef QUILLON_SETUP_REGISTRY_ACCESS_H
#define QUILLON_SETUP_REGISTRY_ACCESS_H

#include "text.h"
#include "winapi.h"

// Bytes that QueryRegString reads at most: 259 characters and the zero.
constexpr DWORD kRegReadLimit = 260;

// Reads a value as text (its bytes up to the first zero byte, whatever its
// type). createKey false: a missing key is not created. createKey true: a
// missing key is created, and the answer is then false without a read.
bool QueryRegString(HKEY hive, const Text& keyPath, const Text& valueName, Text& text, bool createKey);

// Reads a value as text like QueryRegString, but whole, whatever its size,
// and never creating a key. Callers use it where QueryRegString failed, to
// tell a value too long for the 260-byte read from one that is absent.
bool QueryRegStringWhole(HKEY hive, const Text& keyPath, const Text& valueName, Text& text);

// Reads a value of an open key whole, as text: first into `firstSize` bytes,
// then, while the registry answers ERROR_MORE_DATA, again with the size it
// reports (a few times at most, for a value that keeps growing). Returns the
// last RegQueryValueExA status, or ERROR_NOT_ENOUGH_MEMORY when no buffer
// could be had; `text` is set only on ERROR_SUCCESS.
LONG ReadValueText(HKEY key, const Text& valueName, DWORD firstSize, Text& text);

// The bytes read into a buffer of `capacity` bytes, of which the registry
// reported `size`, as text: up to the first zero byte, never past either.
Text TextOfBytes(const void* bytes, DWORD size, DWORD capacity);

// Stores `data` as REG_SZ with its terminating zero, creating the key and any
// missing keys above it.
bool WriteRegString(HKEY hive, const Text& keyPath, const Text& valueName, const Text& data);

// Deletes one value. The key is created when missing (and stays, empty).
bool DeleteRegValue(HKEY hive, const Text& keyPath, const Text& valueName);

// Deletes the subkey `subKey` directly below the key. The key is created when
// missing.
bool DeleteRegSubKey(HKEY hive, const Text& keyPath, const Text& subKey);

// "HIVE\key path\value name"; handles other than HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are written as "HKEY_USERS".
Text FormatRegPath(HKEY hive, const Text& keyPath, const Text& valueName);

// The reverse of FormatRegPath. A text without a backslash, or one that starts
// with one, assigns nothing.
void ParseRegPath(Text text, HKEY& hive, Text& keyPath, Text& valueName);

#endif  // QUILLON_SETUP_REGISTRY_ACCESS_H
