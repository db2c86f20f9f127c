// The programs on a registry file that is not a registry, is cut short or is
// read-only: the setup tool and the updater change nothing and exit 0; the
// registry tool says what is wrong and exits non-zero. Nothing is left
// beside the file either.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "install_fixtures.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Env;
using testsupport::RunProgram;

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class HostileRegistry : public ::testing::Test {
 protected:
  // A real registry with the product installed, made by the programs.
  std::string MakeRegistry() {
    const std::string made = scratch_.File("made.db");
    const auto env = reliability::RegistryEnv(made);
    EXPECT_EQ(RunProgram({RAVMOSETUP_PROGRAM, "Install C:\\Q\\quillon.exe \"%1\""}, env, scratch_.path()).exit_code, 0);
    for (int i = 0; i < 40; ++i) {
      EXPECT_EQ(RunProgram({WINHOST_REG_PROGRAM, "add", "HKCU\\Software\\Filler\\K" + std::to_string(i), "/v", "v", "/d",
                     std::string(300, 'f'), "/f"},
                    {{"WINHOST_REGISTRY", made}}, scratch_.path())
                    .exit_code,
                0);
    }
    return testsupport::ReadBytes(made);
  }

  testsupport::TempDir scratch_;
  testsupport::TempDir dir_;
};

TEST_F(HostileRegistry, NothingChangesAndOnlyTheToolComplains) {
  const std::string registry = MakeRegistry();
  // The page size stands in the database header (bytes 16-17, big-endian).
  ASSERT_GT(registry.size(), 100u);
  const size_t page = (static_cast<unsigned char>(registry[16]) << 8) | static_cast<unsigned char>(registry[17]);
  ASSERT_GE(page, 512u);
  ASSERT_GT(registry.size(), 8 * page);

  struct Case {
    const char* what;
    std::string bytes;
    bool readOnly;
    const char* complaint;  // what the registry tool's message says
  };
  const Case cases[] = {
      {"random bytes", testsupport::RandomBytes(5 * 4096, 3), false, "not a registry"},
      {"a text file", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n", false, "not a registry"},
      {"cut inside its header", registry.substr(0, 60), false, "not a registry"},
      {"cut inside a page", registry.substr(0, 3 * page + 100), false, "not a registry"},
      {"its last page missing", registry.substr(0, registry.size() - page), false, "not a registry"},
      {"read-only", registry, true, "denied"},
  };
  
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_.File("registry.db");
    testsupport::WriteBytes(path, c.bytes);
    if (c.readOnly) chmod(path.c_str(), 0444);
    const std::vector<std::string> around = Listing(dir_.path());
    const std::vector<Env> env = reliability::RegistryEnv(path);

    EXPECT_EQ(RunProgram({RAVMOSETUP_PROGRAM, "Install C:\\Other\\quillon.exe \"%1\""}, env, scratch_.path()).exit_code, 0);
    EXPECT_EQ(RunProgram({RAVMOSETUP_PROGRAM, "Uninstall /bin/true"}, env, scratch_.path()).exit_code, 0);
    EXPECT_EQ(RunProgram({UPDATER_PROGRAM, "0 " + dir_.File("none") + " " + dir_.File("none2")}, env, scratch_.path())
                  .exit_code,
              0);

    const testsupport::Result add =
        RunProgram({WINHOST_REG_PROGRAM, "add", "HKCU\\Software\\New", "/v", "a", "/d", "b", "/f"}, env, scratch_.path());
    EXPECT_NE(add.exit_code, 0);
    EXPECT_EQ(add.err.compare(0, 20, "winhost-reg: ERROR: "), 0) << add.err;
    EXPECT_NE(add.err.find(c.complaint), std::string::npos) << add.err;
    const testsupport::Result query = RunProgram({WINHOST_REG_PROGRAM, "query", "HKCU\\Software\\Norvale", "/s"}, env,
                                          scratch_.path());
    // A read-only registry still reads; the others cannot be read at all.
    if (c.readOnly) {
      EXPECT_EQ(query.exit_code, 0) << query.err;
      EXPECT_NE(query.out.find("OldRegs"), std::string::npos) << query.out;
    } else {
      EXPECT_NE(query.exit_code, 0);
      EXPECT_NE(query.err.find(c.complaint), std::string::npos) << query.err;
    }

    EXPECT_TRUE(testsupport::ReadBytes(path) == c.bytes) << "the registry file was changed";
    EXPECT_EQ(Listing(dir_.path()), around) << "something was left beside the file";
    chmod(path.c_str(), 0644);
    std::filesystem::remove(path);
  }
}

}  // namespace
