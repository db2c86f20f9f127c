// Whole files as bytes, for tests that prepare and inspect files directly.
#ifndef QUILLON_TESTS_SUPPORT_FILE_BYTES_H
#define QUILLON_TESTS_SUPPORT_FILE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// The whole file, or "<missing>" when it cannot be opened, so that a missing
// file never passes for an empty one.
std::string ReadBytes(const std::string& path);

// Writes the file in place (through a link, into the same inode).
void WriteBytes(const std::string& path, const std::string& bytes);

// Puts a new file with these permission bits where `path` was: the old one is
// unlinked first, so a program still running from it keeps its own copy.
void WriteNewFile(const std::string& path, const std::string& bytes, unsigned mode = 0644);

// lstat: a link counts as itself, dangling or not.
bool Exists(const std::string& path);

// Waits, with a bound of a minute so that a fault cannot hang the run, until
// the file exists; true when it does.
bool WaitForFile(const std::string& path);

// `n` bytes of noise, the same for the same seed.
std::string RandomBytes(size_t n, uint32_t seed);

}  // namespace testsupport

#endif  // QUILLON_TESTS_SUPPORT_FILE_BYTES_H
