// Helpers of the registry tool's tests: building .reg inputs in each
// encoding, a readable dump of registry content, and a temporary folder.
#ifndef QUILLON_TESTS_TOOLS_UTIL_H
#define QUILLON_TESTS_TOOLS_UTIL_H

#include <string>
#include <vector>

#include "regfile_keypath.h"
#include "regfile_write.h"

namespace tools_test {

// UTF-8 text as UTF-16LE bytes with a byte-order mark.
std::string Utf16WithBom(const std::string& utf8);

// One line per key and value (data in hex), to compare whole trees.
std::string Dump(const std::vector<regfile::Key>& keys);

// The dump of root\subkey with its subtree; "" when it does not exist.
std::string DumpTree(regfile::Root root, const std::string& subkey);

// Everything under the four stored roots.
std::string DumpAll();

// A folder of its own, removed with its content at scope exit.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace tools_test

#endif  // QUILLON_TESTS_TOOLS_UTIL_H
