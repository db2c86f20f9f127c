// The registry side of the tool: opening keys by root and path, reading a
// key's values and whole subtrees, deleting subtrees, and applying a parsed
// .reg file, all through the Win32-shaped calls of winapi.h.
#ifndef QUILLON_TOOLS_REG_KEYS_H
#define QUILLON_TOOLS_REG_KEYS_H

#include <string>
#include <vector>

#include "regfile_parse.h"
#include "regfile_write.h"
#include "winapi.h"

namespace regtool {

HKEY RootHandle(regfile::Root root);

// A short English text for a Win32 error code, with the code.
std::string ErrorText(LONG error);

// An open key, closed when it goes out of scope.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() { Close(); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  // RegOpenKeyExA (or RegCreateKeyExA when `create`) of root\subkey.
  LONG Open(regfile::Root root, const std::string& subkey, bool create = false);
  void Close();
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The key's values in enumeration order.
LONG ReadValues(HKEY key, std::vector<regfile::Value>* values);

// The names of the key's subkeys in enumeration order.
LONG ReadSubkeyNames(HKEY key, std::vector<std::string>* names);

// The key's path ("HKEY_CURRENT_USER\Software\...") with each name spelt as
// stored, whatever case the caller used.
LONG StoredPath(regfile::Root root, const std::string& subkey, std::string* path);

// The key and its whole subtree, each key with its values, parents before
// children, subkeys in enumeration order. Paths start with the stored
// spelling of root\subkey.
LONG ReadTree(regfile::Root root, const std::string& subkey, std::vector<regfile::Key>* keys);

// Deletes the key with its whole subtree, deepest keys first.
LONG DeleteTree(regfile::Root root, const std::string& subkey);

// Applies a parsed file as one batch: all of it or, on an error, nothing.
// On failure *failed_line is the line of the entry that failed (0 when the
// batch itself failed).
LONG ApplyEntries(const std::vector<regfile::Entry>& entries, int* failed_line);

}  // namespace regtool

#endif  // QUILLON_TOOLS_REG_KEYS_H
