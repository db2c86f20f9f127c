// Helpers of the registry tool's tests: building .reg inputs in each
// encoding, and a readable dump of registry content.
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

}  // namespace tools_test

#endif  // QUILLON_TESTS_TOOLS_UTIL_H
