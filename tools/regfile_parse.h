// Reading .reg files: "Windows Registry Editor Version 5.00" (UTF-16LE with a
// byte-order mark, or UTF-8 with or without one) and "REGEDIT4" (ANSI).
//
// The parser only reads bytes and produces a list of entries; it touches no
// registry, so a whole file can be checked before anything is applied. It is
// safe on any input: memory stays proportional to the input's size, and every
// fault is reported with its line number.
#ifndef QUILLON_TOOLS_REGFILE_PARSE_H
#define QUILLON_TOOLS_REGFILE_PARSE_H

#include <cstdint>
#include <string>
#include <vector>

#include "regfile_keypath.h"

namespace regfile {

struct Entry {
  enum Kind {
    kCreateKey,    // [KEY]: create the key (values that follow go to it)
    kDeleteKey,    // [-KEY]: delete the key with its subtree, if it exists
    kSetValue,     // "name"=...: set a value of the key of the last kCreateKey
    kDeleteValue,  // "name"=-: delete a value of that key, if it exists
  };
  Kind kind = kCreateKey;
  int line = 0;  // the line the entry starts on
  // The key of kCreateKey and kDeleteKey; values name no key of their own,
  // so that memory stays proportional to the file.
  Root root = Root::kCurrentUser;
  std::string subkey;  // ANSI; "" is the root itself
  std::string name;    // ANSI value name; "" is the default value (@)
  uint32_t type = 0;   // REG_* of a kSetValue
  std::string data;    // the bytes a kSetValue stores, as the ANSI registry holds them
};

struct ParseError {
  int line = 0;
  std::string message;
};

// Parses a whole file. On a fault returns false with *error set; *entries
// then holds what came before the fault and must not be applied.
//
// Text is converted to the registry's ANSI code page (Windows-1252); a
// character it cannot hold is a fault. In the Unicode format the data of
// hex(1), hex(2) and hex(7) (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is UTF-16LE
// and is converted the same way; in REGEDIT4 it is taken as ANSI bytes.
bool ParseRegFile(const std::string& bytes, std::vector<Entry>* entries, ParseError* error);

}  // namespace regfile

#endif  // QUILLON_TOOLS_REGFILE_PARSE_H
