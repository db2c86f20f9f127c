// A private folder tree for file tests: a temporary folder that stands for
// the drive C: (WINHOST_DRIVES points at it), with helpers that make files,
// folders, links and stored attributes on the host side, and look at them
// there, without going through winhost.
#ifndef QUILLON_TESTS_HOST_TREE_H
#define QUILLON_TESTS_HOST_TREE_H

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "seam.h"
#include "support/temp_dir.h"

class HostTree {
 public:
  HostTree() : root_(dir_.path()) { std::filesystem::create_directory(root_ + "/c"); }
  HostTree(const HostTree&) = delete;
  HostTree& operator=(const HostTree&) = delete;

  // Makes C: lead into this tree for the rest of the test.
  void MapDrive() const { seam::SetEnv("WINHOST_DRIVES", root_); }

  // "a/b" on C: as the Windows path "C:\a\b" and as its host path.
  static std::string Win(const std::string& rel) {
    std::string p = "C:\\" + rel;
    for (char& ch : p) {
      if (ch == '/') ch = '\\';
    }
    return p;
  }
  std::string Host(const std::string& rel) const { return root_ + "/c/" + rel; }
  // A place outside C:, for link targets.
  std::string Outside(const std::string& rel) const { return root_ + "/" + rel; }

  void File(const std::string& host, const std::string& content = "x", mode_t mode = 0644) const {
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << content;
    chmod(host.c_str(), mode);
  }
  void Dir(const std::string& host) const { std::filesystem::create_directories(host); }
  void Link(const std::string& host, const std::string& target) const {
    if (symlink(target.c_str(), host.c_str()) != 0) ADD_FAILURE() << "symlink " << host;
  }
  void SetDos(const std::string& host, const std::string& bytes) const {
    if (lsetxattr(host.c_str(), "user.DOSATTRIB", bytes.data(), bytes.size(), 0) != 0)
      ADD_FAILURE() << "setxattr " << host;
  }
  static std::optional<std::string> Dos(const std::string& host) {
    char buf[256];
    const ssize_t n = lgetxattr(host.c_str(), "user.DOSATTRIB", buf, sizeof buf);
    if (n < 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
  }
  static mode_t Mode(const std::string& host) {
    struct stat st;
    return lstat(host.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }

 private:
  testsupport::TempDir dir_;
  std::string root_;
};

#endif  // QUILLON_TESTS_HOST_TREE_H
