// Folder searches: order, "." and "..", patterns, the end, missing folders,
// sizes and times, and the handle count.
#include <ctime>
#include <vector>

#include "host_tree.h"
#include "winapi.h"

namespace {

class FindFiles : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    tree.MapDrive();
  }

  // Every name that a search for `pattern` yields, in order; *end gets the
  // error that ended it.
  static std::vector<std::string> Search(const std::string& pattern, DWORD* end = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
      if (end) *end = GetLastError();
      return names;
    }
    do names.push_back(data.cFileName);
    while (FindNextFileA(h, &data));
    if (end) *end = GetLastError();
    EXPECT_TRUE(FindClose(h));
    return names;
  }

  HostTree tree;
};

using Names = std::vector<std::string>;

TEST_F(FindFiles, DotsFirstThenEveryNameWithOrWithoutADot) {
  tree.Dir(tree.Host("f/sub"));
  tree.File(tree.Host("f/b.txt"));
  tree.File(tree.Host("f/README"));
  tree.File(tree.Host("f/a"));
  tree.File(tree.Host("f/.hidden"));
  DWORD end = 0;
  const Names expected = {".", "..", ".hidden", "a", "b.txt", "README", "sub"};
  EXPECT_EQ(Search("C:\\f\\*.*", &end), expected);
  EXPECT_EQ(end, static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_EQ(Search("C:\\f\\*"), expected);
}

TEST_F(FindFiles, NamesWindowsCannotHoldAreNeverListed) {
  // "sub\..\..\x" joined to its folder by a caller would climb out of it.
  for (const char* bad : {"sub\\..\\..\\victim", "a:b", "a*", "a?", "a\"b", "a<b", "a>b", "a|b", "tab\tname",
                          "line\nfeed"})
    tree.File(tree.Host(std::string("f/") + bad));
  tree.File(tree.Host("f/plain.txt"));
  tree.Dir(tree.Host("f/sub"));
  EXPECT_EQ(Search("C:\\f\\*.*"), (Names{".", "..", "plain.txt", "sub"}));
}

TEST_F(FindFiles, DotEntriesReadAsFolders) {
  tree.Dir(tree.Host("f"));
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\f\\*.*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, ".");
  EXPECT_EQ(data.dwFileAttributes, 0x10u);
  ASSERT_TRUE(FindNextFileA(h, &data));
  EXPECT_STREQ(data.cFileName, "..");
  EXPECT_EQ(data.dwFileAttributes, 0x10u);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  // Asking again after the end still ends.
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_TRUE(FindClose(h));
}

TEST_F(FindFiles, DriveRootHasNoDotEntries) {
  tree.File(tree.Host("only"));
  EXPECT_EQ(Search("C:\\*.*"), (Names{"only"}));
}

TEST_F(FindFiles, PatternsMatchWithoutRegardToCase) {
  for (const char* name : {"b.txt", "X.TXT", "c", "ab.txt.bak", "abc", "a.t"}) tree.File(tree.Host(std::string("p/") + name));
  struct Case {
    const char* pattern;
    Names expected;
  };
  const Case cases[] = {
      {"*.txt", {"b.txt", "X.TXT"}},
      {"?.TXT", {"b.txt", "X.TXT"}},
      {"a*", {"a.t", "ab.txt.bak", "abc"}},
      {"*.t*", {"a.t", "ab.txt.bak", "b.txt", "X.TXT"}},
      {"a?c", {"abc"}},
      {"ABC", {"abc"}},
      {"*c", {"abc", "c"}},
      // "?" matches one character, so "." (one character) is a match too.
      {"?", {".", "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Search(std::string("C:\\p\\") + c.pattern), c.expected) << c.pattern;
}

TEST_F(FindFiles, NothingFoundAndMissingFolder) {
  tree.File(tree.Host("d/a"));
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA("C:\\d\\*.zip", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("C:\\missing\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A file where the folder should be.
  EXPECT_EQ(FindFirstFileA("C:\\d\\a\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA("C:\\d\\", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FindFiles, SizeAndTimesAreFilled) {
  tree.File(tree.Host("s/five"), "12345");
  tree.Dir(tree.Host("s/sub"));
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\s\\f*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FindClose(h);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_STREQ(data.cAlternateFileName, "");
  // 100 ns ticks since 1601 against the clock, within a day.
  const uint64_t written = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  const uint64_t now = (static_cast<uint64_t>(std::time(nullptr)) + 11644473600ull) * 10000000ull;
  EXPECT_LT(written > now ? written - now : now - written, 86400ull * 10000000ull);
  EXPECT_NE(data.ftCreationTime.dwHighDateTime, 0u);
  EXPECT_NE(data.ftLastAccessTime.dwHighDateTime, 0u);
}

TEST_F(FindFiles, DeletingWhileSearchingSkipsNothing) {
  for (const char* name : {"a", "b", "c", "d"}) tree.File(tree.Host(std::string("w/") + name));
  Names seen;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\w\\*.*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    seen.push_back(data.cFileName);
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      EXPECT_TRUE(DeleteFileA((std::string("C:\\w\\") + data.cFileName).c_str()));
    }
  } while (FindNextFileA(h, &data));
  FindClose(h);
  EXPECT_EQ(seen, (Names{".", "..", "a", "b", "c", "d"}));
  // An entry deleted by someone else before its turn is not handed out.
  tree.File(tree.Host("w/x"));
  tree.File(tree.Host("w/y"));
  h = FindFirstFileA("C:\\w\\*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  unlink(tree.Host("w/x").c_str());
  seen = {data.cFileName};
  while (FindNextFileA(h, &data)) seen.push_back(data.cFileName);
  FindClose(h);
  EXPECT_EQ(seen, (Names{".", "..", "y"}));
}

TEST_F(FindFiles, HandlesAreCountedAndCheckedAndHooked) {
  tree.File(tree.Host("h/a"));
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA("C:\\h\\*.*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(seam::OpenHandles(), 1);
  seam::Fail("FindNextFileA", "C:\\h\\", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(FindNextFileA(h, &data));  // the injected failure consumed nothing
  EXPECT_STREQ(data.cFileName, "..");
  EXPECT_TRUE(FindClose(h));
  EXPECT_EQ(seam::OpenHandles(), 0);
  EXPECT_FALSE(FindClose(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  seam::Fail("FindFirstFileA", "", ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA("C:\\h\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(seam::OpenHandles(), 0);
}

}  // namespace
