// Writing .reg files in the "Windows Registry Editor Version 5.00" form:
// UTF-16LE with a byte-order mark and CRLF line ends, laid out the way the
// Windows registry editor writes them, so that its import and ours read the
// file back to the same content.
#ifndef QUILLON_TOOLS_REGFILE_WRITE_H
#define QUILLON_TOOLS_REGFILE_WRITE_H

#include <cstdint>
#include <string>
#include <vector>

namespace regfile {

struct Value {
  std::string name;  // ANSI; "" is the default value
  uint32_t type = 0;
  std::string data;  // the stored bytes
};

struct Key {
  std::string path;  // ANSI, "HKEY_CURRENT_USER\Software\..."
  std::vector<Value> values;
};

// The whole file for these keys, in the given order. A REG_SZ is written as
// "text" only when it is one zero-terminated string without inner zeros or
// line breaks, a REG_DWORD as dword: only when it has four bytes; everything
// else as hex(N): (REG_BINARY as hex:), string types as UTF-16LE. Fails with
// a message for a key or value name that holds a line break, which the
// format cannot carry.
bool WriteRegFile(const std::vector<Key>& keys, std::string* out, std::string* error);

}  // namespace regfile

#endif  // QUILLON_TOOLS_REGFILE_WRITE_H
