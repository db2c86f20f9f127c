// CopyFileA on the hosted layer.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "seam.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "test_support.h"
#include "winapi.h"

namespace {

class CopyFile : public SeamTest {
 protected:
  testsupport::TempDir dir;
  std::string src = dir.File("new.bin");
  std::string dst = dir.File("target.bin");
};

// Content of n bytes that differs from position to position.
std::string Pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 31 + i / 4099);
  return s;
}

TEST_F(CopyFile, CopiesContentAndModeBits) {
  // Sizes: empty, one byte, and more than one chunk of any fallback buffer.
  for (size_t size : {size_t{0}, size_t{1}, size_t{3 * 1024 * 1024 + 7}}) {
    SCOPED_TRACE(size);
    const std::string content = Pattern(size, 'a');
    testsupport::WriteNewFile(src, content, 0750);
    testsupport::WriteNewFile(dst, "old", 0644);
    ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
    EXPECT_EQ(testsupport::ReadBytes(dst), content);
    EXPECT_EQ(ModeOf(dst), 0750u) << "an executable stays executable";
    EXPECT_EQ(testsupport::ReadBytes(src), content);
  }
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"new.bin", "target.bin"})) << "no leftovers";
}

TEST_F(CopyFile, WindowsPathsWithBackslashes) {
  testsupport::WriteNewFile(src, "new");
  std::string wsrc = src, wdst = dir.File("created.bin");
  for (char& c : wsrc) c = c == '/' ? '\\' : c;
  for (char& c : wdst) c = c == '/' ? '\\' : c;
  ASSERT_TRUE(CopyFileA(wsrc.c_str(), wdst.c_str(), FALSE));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("created.bin")), "new");
}

TEST_F(CopyFile, ReplacesTheTargetWholeInsteadOfWritingIntoIt) {
  testsupport::WriteNewFile(src, Pattern(1 << 20, 'n'));
  const std::string old = Pattern(1 << 20, 'o');
  testsupport::WriteNewFile(dst, old);
  // A reader that has the old target open keeps seeing the whole old file: the
  // new content arrived under the name, not inside the old file.
  const int fd = ::open(dst.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
  std::string seen(old.size() + 1, '\0');
  const ssize_t n = ::pread(fd, &seen[0], seen.size(), 0);
  ::close(fd);
  seen.resize(n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_TRUE(seen == old);
  EXPECT_TRUE(testsupport::ReadBytes(dst) == testsupport::ReadBytes(src));
}

TEST_F(CopyFile, RefusalsLeaveTheTargetAsItWas) {
  const struct {
    const char* why;
    bool make_source;
    unsigned target_mode;  // 0: no target
    BOOL fail_if_exists;
    DWORD error;
  } cases[] = {
      {"read-only target", true, 0444, FALSE, ERROR_ACCESS_DENIED},
      {"read-only executable target", true, 0555, FALSE, ERROR_ACCESS_DENIED},
      {"missing source", false, 0644, FALSE, ERROR_FILE_NOT_FOUND},
      {"existing target with fail-if-exists", true, 0644, TRUE, ERROR_FILE_EXISTS},
      {"read-only target with fail-if-exists", true, 0444, TRUE, ERROR_FILE_EXISTS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ::unlink(src.c_str());
    if (c.make_source) testsupport::WriteNewFile(src, "new", 0755);
    testsupport::WriteNewFile(dst, "old", c.target_mode);
    SetLastError(0);
    EXPECT_FALSE(CopyFileA(src.c_str(), dst.c_str(), c.fail_if_exists));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(testsupport::ReadBytes(dst), "old");
    EXPECT_EQ(ModeOf(dst), c.target_mode);
    std::vector<std::string> expected = {"target.bin"};
    if (c.make_source) expected.insert(expected.begin(), "new.bin");
    EXPECT_EQ(ListDir(dir.path()), expected) << "no temporary file is left";
  }
}

TEST_F(CopyFile, FailIfExistsCopiesToAMissingTarget) {
  testsupport::WriteNewFile(src, "new");
  ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), TRUE));
  EXPECT_EQ(testsupport::ReadBytes(dst), "new");
}

TEST_F(CopyFile, SourcesThatAreNotFilesAreRefused) {
  testsupport::WriteNewFile(dst, "old");
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0644), 0);
  for (const char* name : {"folder", "fifo"}) {
    SCOPED_TRACE(name);
    // A FIFO without a writer must not block the copy.
    EXPECT_FALSE(CopyFileA(dir.File(name).c_str(), dst.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(testsupport::ReadBytes(dst), "old");
  }
}

TEST_F(CopyFile, MissingTargetFolder) {
  testsupport::WriteNewFile(src, "new");
  EXPECT_FALSE(CopyFileA(src.c_str(), dir.File("no-folder/target").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(CopyFile, TargetThatIsALinkIsReplacedNotWrittenThrough) {
  testsupport::WriteNewFile(src, "new");
  testsupport::WriteNewFile(dir.File("elsewhere"), "keep", 0444);
  ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), dst.c_str()), 0);
  ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("elsewhere")), "keep");
  struct stat st;
  ASSERT_EQ(::lstat(dst.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(testsupport::ReadBytes(dst), "new");
}

TEST_F(CopyFile, KeepsStoredAttributes) {
  testsupport::WriteNewFile(src, "new");
  if (::setxattr(src.c_str(), "user.DOSATTRIB", "0x22", 4, 0) != 0)
    GTEST_SKIP() << "no user extended attributes on this file system";
  testsupport::WriteNewFile(dst, "old");
  ASSERT_TRUE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
  char value[16] = {};
  EXPECT_EQ(::getxattr(dst.c_str(), "user.DOSATTRIB", value, sizeof value), 4);
  EXPECT_STREQ(value, "0x22");
}

TEST_F(CopyFile, InjectedFailureNamesTheTarget) {
  testsupport::WriteNewFile(src, "new");
  testsupport::WriteNewFile(dst, "old");
  seam::Fail("CopyFileA", "target.bin", ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(CopyFileA(src.c_str(), dst.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(testsupport::ReadBytes(dst), "old");
}

}  // namespace
