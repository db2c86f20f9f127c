#include <filesystem>
#include <string>
#include <vector>

#include "internal.h"
#include "seam.h"
#include "support/temp_dir.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, FollowsTheWindowsRules) {
  struct Case {
    const char* why;
    std::string line;
    Args args;
  } cases[] = {
      {"empty", "", {}},
      {"blanks only", " \t  ", {}},
      {"program alone", "prog", {"prog"}},
      {"blanks and tabs separate", "\tprog  a\t\tb ", {"prog", "a", "b"}},
      {"quotes group", "prog \"a b\" c", {"prog", "a b", "c"}},
      {"quotes inside a word", "prog a\"b c\"d", {"prog", "ab cd"}},
      {"empty quoted argument", "prog \"\" x", {"prog", "", "x"}},
      {"unterminated quote", "prog \"a b", {"prog", "a b"}},
      {"backslashes alone are kept", "prog a\\\\b\\ c\\", {"prog", "a\\\\b\\", "c\\"}},
      {"1 backslash before a quote", "prog \\\"a", {"prog", "\"a"}},
      {"2 backslashes before a quote", "prog \\\\\"a b\"", {"prog", "\\a b"}},
      {"3 backslashes before a quote", "prog \\\\\\\"a b", {"prog", "\\\"a", "b"}},
      {"4 backslashes before a quote", "prog \\\\\\\\\"a b\"", {"prog", "\\\\a b"}},
      {"2 backslashes before the closing quote", "prog \"a\\\\\" b", {"prog", "a\\", "b"}},
      {"doubled quote inside quotes", "prog \"a\"\"b\" c", {"prog", "a\"b", "c"}},
      {"doubled quote keeps the group open", "prog \"a\"\" b\"", {"prog", "a\" b"}},
      {"quoted program name", "\"C:\\Program Files\\Q\\q.exe\" -x", {"C:\\Program Files\\Q\\q.exe", "-x"}},
      {"program name keeps its backslashes", "\"C:\\dir\\\\\" x", {"C:\\dir\\\\", "x"}},
      {"unquoted program name keeps its backslashes", "C:\\dir\\\"x y", {"C:\\dir\\\"x", "y"}},
      {"shell characters are plain", "prog a;b $(c) `d` |e", {"prog", "a;b", "$(c)", "`d`", "|e"}},
  };
  for (const Case& c : cases) EXPECT_EQ(winhost::SplitCommandLine(c.line), c.args) << c.why;
}

class HostPathTest : public SeamTest {};

TEST_F(HostPathTest, DriveLettersLandBelowTheDrivesFolder) {
  seam::SetEnv("WINHOST_DRIVES", "/drives");
  struct Case {
    std::string windows;
    std::string host;
  } cases[] = {
      {"C:\\Program Files\\Q\\q.exe", "/drives/c/Program Files/Q/q.exe"},
      {"d:\\", "/drives/d/"},
      {"Z:", "/drives/z"},
      {"z:rel\\f", "/drives/z/rel/f"},
      {"C:/mixed\\seps", "/drives/c/mixed/seps"},
      {"\\tmp\\a", "/tmp/a"},
      {"rel\\a\\b", "rel/a/b"},
      {"/already/host", "/already/host"},
      {"1:\\x", "1:/x"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(winhost::HostPath(c.windows), c.host) << c.windows;
}

TEST_F(HostPathTest, DrivesFolderDefaultsToTheDataHome) {
  seam::UnsetEnv("WINHOST_DRIVES");
  seam::SetEnv("XDG_DATA_HOME", "/xdg");
  EXPECT_EQ(winhost::HostPath("C:\\a"), "/xdg/winhost/drives/c/a");
  seam::UnsetEnv("XDG_DATA_HOME");
  seam::SetEnv("HOME", "/home/q");
  EXPECT_EQ(winhost::HostPath("C:\\a"), "/home/q/.local/share/winhost/drives/c/a");
}

}  // namespace

namespace {

// Windows names compare without regard to case: a component that does not
// exist as spelled is found among its folder's entries; an exact match wins,
// and below the first missing component the rest is kept as given.
TEST_F(HostPathTest, LetterCaseOfExistingComponentsIsResolved) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.File("c/Quillon/temp"));
  std::filesystem::create_directories(dir.File("c/Same"));
  std::filesystem::create_directories(dir.File("c/SAME"));
  seam::SetEnv("WINHOST_DRIVES", dir.path());
  EXPECT_EQ(winhost::HostPath("C:\\QUILLON\\TEMP\\x.tmp"), dir.File("c/Quillon/temp/x.tmp"));
  EXPECT_EQ(winhost::HostPath("c:\\quillon\\New\\Deeper"), dir.File("c/Quillon/New/Deeper"));
  EXPECT_EQ(winhost::HostPath("C:\\SAME"), dir.File("c/SAME"));
  EXPECT_EQ(winhost::HostPath("C:\\Same"), dir.File("c/Same"));
  EXPECT_EQ(winhost::HostPath("C:\\quillon\\"), dir.File("c/Quillon/"));
}

}  // namespace
