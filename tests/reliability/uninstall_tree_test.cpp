// The built setup tool's uninstall on a real tree: it removes the product's
// named folders and files and nothing else. Everything around them (sibling
// folders, look-alike names, what links lead to) stays byte for byte, with
// its mode, attributes and link targets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "install_fixtures.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Every entry below `root` by its relative path: kind, mode, content or link
// target, and stored attributes. Links are never followed.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string p = it->path();
    struct stat st;
    lstat(p.c_str(), &st);
    std::string d = std::to_string(st.st_mode) + " ";
    if (S_ISLNK(st.st_mode)) d += "-> " + fs::read_symlink(p).string();
    else if (S_ISREG(st.st_mode)) d += testsupport::ReadBytes(p);
    char attr[64];
    const ssize_t n = lgetxattr(p.c_str(), "user.DOSATTRIB", attr, sizeof attr);
    if (n > 0) d += " dos=" + std::string(attr, n);
    out[p.substr(root.size() + 1)] = d;
  }
  return out;
}

class UninstallTree : public ::testing::Test {
 protected:
  void File(const std::string& rel, const std::string& content = "x", mode_t mode = 0644) {
    const std::string p = dir_.File(rel);
    fs::create_directories(fs::path(p).parent_path());
    testsupport::WriteBytes(p, content + " " + rel);
    chmod(p.c_str(), mode);
  }
  void Link(const std::string& rel, const std::string& target) {
    fs::create_directories(fs::path(dir_.File(rel)).parent_path());
    ASSERT_EQ(symlink(target.c_str(), dir_.File(rel).c_str()), 0) << rel;
  }
  void Registry() {
    const std::string reg = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::vector<std::vector<std::string>> adds = {
        {"HKCU\\Software\\Norvale\\Ravmo", "InstalledDir", "C:\\Program Files\\Quillon"},
        {reg, "Desktop", "C:\\Users\\me\\Desktop"},
        {reg, "Programs", "C:\\Users\\me\\Start Menu\\Programs"},
    };
    for (const auto& a : adds)
      ASSERT_EQ(testsupport::RunProgram({WINHOST_REG_PROGRAM, "add", a[0], "/v", a[1], "/d", a[2], "/f"},
                                        {{"WINHOST_REGISTRY", registry_}}, scratch_.path())
                    .exit_code,
                0);
  }
  void Uninstall() {
    auto env = reliability::RegistryEnv(registry_);
    env.push_back({"WINHOST_DRIVES", dir_.path()});
    EXPECT_EQ(testsupport::RunProgram({RAVMOSETUP_PROGRAM, "Uninstall /bin/true"}, env, scratch_.path()).exit_code,
              0);
  }

  testsupport::TempDir dir_;      // holds c/ (the drive C:) and outside/
  testsupport::TempDir scratch_;  // the registry and captured output
  std::string registry_ = scratch_.File("registry.db");
};

TEST_F(UninstallTree, RemovesOnlyTheNamedItems) {
  const std::string product = "c/Program Files/Quillon/";
  const std::string outside = dir_.File("outside");
  struct Row {
    const char* what;
    bool tempIsALink;  // "temp" a link to a folder outside instead of a folder
  };
  for (const Row row : {Row{"temp a folder", false}, Row{"temp a link to a folder outside", true}}) {
    SCOPED_TRACE(row.what);
    fs::remove_all(dir_.File("c"));
    fs::remove_all(outside);
    File("outside/folder/secret");
    File("outside/file.dat", "precious", 0444);
    File("outside/ravmodat.clt", "target of the data file link", 0444);
    if (row.tempIsALink) {
      Link(product + "temp", outside + "/folder");
    } else {
      File(product + "temp/session.tmp");
      File(product + "temp/plain");
      Link(product + "temp/escape", outside + "/folder");
    }
    File(product + "data/index.dat");
    Link(product + "data/outside.dat", outside + "/file.dat");
    File(product + "data/cache/keep");
    Link(product + "ravmodat.clt", outside + "/ravmodat.clt");
    File(product + "veskdata.clt", "x", 0444);
    // Look-alikes and neighbours.
    for (const char* kept : {"quillon.exe", "temp2/x", "data.bak/y", "ravmodat.clt.bak", "veskdata.clt2"})
      File(product + kept);
    File("c/Program Files/Other/temp/z");
    File("c/Program Files/Quillon2/data/w");
    File("c/Users/me/Desktop/Quillon.lnk");
    File("c/Users/me/Desktop/Quillon.lnk.bak");
    File("c/Users/me/Desktop/Other.lnk");
    File("c/Users/me/Start Menu/Programs/Quillon/Quillon.lnk");
    File("c/Users/me/Start Menu/Programs/Quillon Tools/Tools.lnk");
    Registry();
    const auto before = Tree(dir_.path());

    Uninstall();

    std::set<std::string> removed = {product + "data/index.dat",
                                     product + "ravmodat.clt",
                                     product + "veskdata.clt",
                                     "c/Users/me/Desktop/Quillon.lnk",
                                     "c/Users/me/Start Menu/Programs/Quillon",
                                     "c/Users/me/Start Menu/Programs/Quillon/Quillon.lnk"};
    if (!row.tempIsALink) removed.insert({product + "temp/session.tmp", product + "temp/plain"});
    auto expected = before;
    for (const std::string& r : removed) ASSERT_EQ(expected.erase(r), 1u) << r;
    const auto after = Tree(dir_.path());
    for (const auto& [path, d] : expected) {
      const auto it = after.find(path);
      EXPECT_TRUE(it != after.end() && it->second == d) << path << (it == after.end() ? " is gone" : " changed");
    }
    for (const auto& [path, d] : after) EXPECT_TRUE(expected.count(path)) << path << " was not removed";
    fs::remove(registry_);
  }
}

}  // namespace
