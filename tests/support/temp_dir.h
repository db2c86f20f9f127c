// A private folder for one test, removed with everything in it at the end.
#ifndef QUILLON_TESTS_SUPPORT_TEMP_DIR_H
#define QUILLON_TESTS_SUPPORT_TEMP_DIR_H

#include <string>

namespace testsupport {

// A fresh folder below $TMPDIR (or /tmp). Removing it never follows links,
// and folders a test left without permissions are opened up first so that
// nothing stays behind.
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

}  // namespace testsupport

#endif  // QUILLON_TESTS_SUPPORT_TEMP_DIR_H
