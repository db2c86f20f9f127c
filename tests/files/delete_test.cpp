// DeleteFileA and RemoveDirectoryA: the refusals that Windows makes, links
// removed themselves and never their targets, and the hook before each call.
#include "host_tree.h"
#include "support/file_bytes.h"
#include "winapi.h"

namespace {

class DeleteFiles : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    tree.MapDrive();
  }
  HostTree tree;
};

TEST_F(DeleteFiles, DeleteFileRefusesReadOnlyFilesAndFolders) {
  tree.File(tree.Host("plain"));
  tree.File(tree.Host("readonly"), "keep", 0444);
  tree.Dir(tree.Host("folder"));
  struct Case {
    const char* path;
    bool ok;
    DWORD error;
  };
  const Case cases[] = {
      {"C:\\plain", true, 0},
      // POSIX would unlink a read-only file; Windows refuses.
      {"C:\\readonly", false, ERROR_ACCESS_DENIED},
      {"C:\\folder", false, ERROR_ACCESS_DENIED},
      {"C:\\nothing", false, ERROR_FILE_NOT_FOUND},
      {"C:\\nofolder\\nothing", false, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(DeleteFileA(c.path) != FALSE, c.ok) << c.path;
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
  }
  EXPECT_FALSE(testsupport::Exists(tree.Host("plain")));
  EXPECT_TRUE(testsupport::Exists(tree.Host("readonly")));
  EXPECT_TRUE(testsupport::Exists(tree.Host("folder")));
}

TEST_F(DeleteFiles, RemoveDirectoryOnlyEmptiesFolders) {
  tree.File(tree.Host("full/a"));
  tree.Dir(tree.Host("empty"));
  tree.File(tree.Host("file"));
  EXPECT_FALSE(RemoveDirectoryA("C:\\full"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(testsupport::Exists(tree.Host("full/a")));
  EXPECT_FALSE(RemoveDirectoryA("C:\\file"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(testsupport::Exists(tree.Host("file")));
  EXPECT_FALSE(RemoveDirectoryA("C:\\nothing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(RemoveDirectoryA("C:\\empty\\"));
  EXPECT_FALSE(testsupport::Exists(tree.Host("empty")));
}

TEST_F(DeleteFiles, LinksAreRemovedThemselvesNeverTheirTargets) {
  tree.File(tree.Outside("target_file"), "precious", 0444);
  tree.File(tree.Outside("target_dir/inside"), "precious");
  tree.Link(tree.Host("to_file"), tree.Outside("target_file"));
  tree.Link(tree.Host("to_dir"), tree.Outside("target_dir"));
  tree.Link(tree.Host("to_dir2"), tree.Outside("target_dir"));
  tree.Link(tree.Host("dangling"), tree.Outside("nothing"));

  // A link to a read-only file is no read-only file itself.
  EXPECT_TRUE(DeleteFileA("C:\\to_file"));
  EXPECT_FALSE(testsupport::Exists(tree.Host("to_file")));
  EXPECT_TRUE(DeleteFileA("C:\\dangling"));
  EXPECT_FALSE(testsupport::Exists(tree.Host("dangling")));

  // A link to a folder reads as a folder: DeleteFileA refuses it, and
  // RemoveDirectoryA removes the link though the target is not empty.
  EXPECT_FALSE(DeleteFileA("C:\\to_dir"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(testsupport::Exists(tree.Host("to_dir")));
  EXPECT_TRUE(RemoveDirectoryA("C:\\to_dir"));
  EXPECT_FALSE(testsupport::Exists(tree.Host("to_dir")));
  EXPECT_TRUE(RemoveDirectoryA("C:\\to_dir2\\"));
  EXPECT_FALSE(testsupport::Exists(tree.Host("to_dir2")));

  EXPECT_TRUE(testsupport::Exists(tree.Outside("target_file")));
  EXPECT_EQ(HostTree::Mode(tree.Outside("target_file")), 0444u);
  EXPECT_TRUE(testsupport::Exists(tree.Outside("target_dir/inside")));
}

TEST_F(DeleteFiles, EveryCallAsksTheHookFirst) {
  tree.File(tree.Host("f"));
  tree.Dir(tree.Host("d"));
  seam::Fail("", "C:\\", ERROR_SHARING_VIOLATION);
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("C:\\d\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileAttributesA("C:\\f"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(SetFileAttributesA("C:\\f", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileA("C:\\f"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(RemoveDirectoryA("C:\\d"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Nothing was done.
  EXPECT_TRUE(testsupport::Exists(tree.Host("f")));
  EXPECT_EQ(HostTree::Mode(tree.Host("f")), 0644u);
  EXPECT_TRUE(testsupport::Exists(tree.Host("d")));
  const std::vector<seam::Call> expected = {
      {"FindFirstFileA", "C:\\d\\*.*"},   {"GetFileAttributesA", "C:\\f"}, {"SetFileAttributesA", "C:\\f"},
      {"DeleteFileA", "C:\\f"},           {"RemoveDirectoryA", "C:\\d"},
  };
  EXPECT_EQ(seam::Calls(), expected);
}

}  // namespace
