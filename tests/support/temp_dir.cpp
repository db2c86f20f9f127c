#include "temp_dir.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/quillon-test-XXXXXX";
  // Without a folder of its own a test would write to paths below "/".
  if (mkdtemp(&templ[0]) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = templ;
}

TempDir::~TempDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  chmod(path_.c_str(), 0700);
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  }
  fs::remove_all(path_, ec);
}

}  // namespace testsupport
