// Values: reading into buffers of every size, writing, replacing, deleting.
#include <cstring>
#include <string>
#include <vector>

#include "registry_helpers.h"
#include "seam.h"
#include "winapi.h"

using regtest::Create;
using regtest::Key;
using regtest::Query;
using regtest::Read;
using regtest::SetBytes;

namespace {

class Values : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\V", &key_), 0);
  }
  void TearDown() override {
    key_.Close();
    SeamTest::TearDown();
  }
  Key key_;
};

std::string Z(const char* bytes, size_t n) { return std::string(bytes, n); }
std::string Chars(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

struct QueryCase {
  DWORD type;
  std::string stored;
  DWORD buffer;
  LONG error;
  DWORD size;  // reported size
};

class QueryValue : public Values, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryValue, SizesTypesAndBytes) {
  const QueryCase& c = GetParam();
  ASSERT_EQ(SetBytes(key_.h, "Val", c.type, c.stored), 0);
  const Read r = Query(key_.h, "Val", c.buffer);
  EXPECT_EQ(r.error, c.error);
  EXPECT_EQ(r.size, c.size);
  EXPECT_EQ(r.type, c.type);
  if (c.error == ERROR_SUCCESS) {
    EXPECT_EQ(r.data, c.stored);
  } else {
    EXPECT_EQ(r.data, std::string(c.buffer, '\xCC')) << "the buffer must stay untouched";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryValue,
    ::testing::Values(
        // 259 characters and their zero fill a 260-byte buffer exactly.
        QueryCase{REG_SZ, Chars(259) + '\0', 260, 0, 260},
        // 260 characters need 261 bytes.
        QueryCase{REG_SZ, Chars(260) + '\0', 260, ERROR_MORE_DATA, 261},
        // 300 characters need 301.
        QueryCase{REG_SZ, Chars(300) + '\0', 260, ERROR_MORE_DATA, 301},
        // A short string in a large buffer reports its own size.
        QueryCase{REG_SZ, Z("hi\0", 3), 260, 0, 3},
        // A DWORD is 4 bytes, as stored.
        QueryCase{REG_DWORD, Z("\x01\x00\x00\x80", 4), 260, 0, 4},
        // Binary data with zeros inside and at the end comes back exactly.
        QueryCase{REG_BINARY, Z("\x00\x01\x00\x00\xff\x00", 6), 260, 0, 6},
        // The empty string set with size 1 is one zero byte.
        QueryCase{REG_SZ, Z("\0", 1), 260, 0, 1},
        // Set with size 0 it is nothing at all.
        QueryCase{REG_SZ, "", 260, 0, 0},
        // A zero-byte buffer is too small for one byte.
        QueryCase{REG_BINARY, Z("\x07", 1), 0, ERROR_MORE_DATA, 1},
        // Types the system never uses are kept as well.
        QueryCase{REG_MULTI_SZ, Z("a\0b\0\0", 5), 4, ERROR_MORE_DATA, 5}));

TEST_F(Values, QueryWithoutABuffer) {
  ASSERT_EQ(regtest::SetString(key_.h, "S", "four"), 0);
  DWORD type = 0, size = 1;
  // No data pointer: success, and the size the data needs.
  EXPECT_EQ(RegQueryValueExA(key_.h, "S", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, REG_SZ);
  // Neither data nor size: only whether it is there.
  EXPECT_EQ(RegQueryValueExA(key_.h, "S", nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(RegQueryValueExA(key_.h, "T", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  // A buffer without its size is refused.
  BYTE buffer[8];
  EXPECT_EQ(RegQueryValueExA(key_.h, "S", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Values, MissingValues) {
  ASSERT_EQ(regtest::SetString(key_.h, "Here", "x"), 0);
  EXPECT_EQ(Query(key_.h, "There").error, ERROR_FILE_NOT_FOUND);
  // The default value is a value like the others: absent until set.
  EXPECT_EQ(Query(key_.h, "").error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(key_.h, nullptr).error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "").error, ERROR_FILE_NOT_FOUND);
}

TEST_F(Values, NamesIgnoreCaseAndKeepTheFirstSpelling) {
  ASSERT_EQ(regtest::SetString(key_.h, "First", "1"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "MyValue", "old"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "Last", "3"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "MYVALUE", "new"), 0);
  EXPECT_EQ(Query(key_.h, "myvalue").data, Z("new", 4));
  // The first spelling, in its first place.
  EXPECT_EQ(regtest::ValueNames(key_.h), (std::vector<std::string>{"First", "MyValue", "Last"}));
  // The null name and "" are the same default value.
  ASSERT_EQ(regtest::SetString(key_.h, nullptr, "default"), 0);
  EXPECT_EQ(Query(key_.h, "").data, Z("default", 8));
  // Only ASCII letters fold: these are two values.
  ASSERT_EQ(regtest::SetString(key_.h, "\xC4", "upper"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "\xE4", "lower"), 0);
  EXPECT_EQ(Query(key_.h, "\xC4").data, Z("upper", 6));
}

struct ReplaceCase {
  DWORD first_type;
  std::string first;
  DWORD second_type;
  std::string second;
};

class ReplaceValue : public Values, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceValue, AnyTypeReplacesAnyType) {
  const ReplaceCase& c = GetParam();
  ASSERT_EQ(SetBytes(key_.h, "X", c.first_type, c.first), 0);
  ASSERT_EQ(SetBytes(key_.h, "x", c.second_type, c.second), 0);
  const Read r = Query(key_.h, "X");
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.type, c.second_type);
  EXPECT_EQ(r.data, c.second);
  EXPECT_EQ(regtest::ValueNames(key_.h), std::vector<std::string>{"X"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceValue,
    ::testing::Values(
        // A string by a DWORD.
        ReplaceCase{REG_SZ, Z("text\0", 5), REG_DWORD, Z("\x05\x00\x00\x00", 4)},
        // A DWORD by binary data.
        ReplaceCase{REG_DWORD, Z("\x05\x00\x00\x00", 4), REG_BINARY, Z("\x00\x00", 2)},
        // A long value by a shorter string.
        ReplaceCase{REG_BINARY, std::string(5000, 'b'), REG_SZ, Z("s\0", 2)},
        // A string by nothing at all.
        ReplaceCase{REG_SZ, Z("text\0", 5), REG_NONE, ""}));

TEST_F(Values, SetRefusesDataWithoutAPointer) {
  EXPECT_EQ(RegSetValueExA(key_.h, "P", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Query(key_.h, "P").error, ERROR_FILE_NOT_FOUND);
  // A null pointer with size 0 is an empty value.
  EXPECT_EQ(RegSetValueExA(key_.h, "P", 0, REG_BINARY, nullptr, 0), 0);
  EXPECT_EQ(Query(key_.h, "P").size, 0u);
}

TEST_F(Values, DeleteValue) {
  ASSERT_EQ(regtest::SetString(key_.h, "A", "1"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "B", "2"), 0);
  ASSERT_EQ(regtest::SetString(key_.h, "C", "3"), 0);
  // In any case of letters.
  EXPECT_EQ(RegDeleteValueA(key_.h, "a"), 0);
  EXPECT_EQ(Query(key_.h, "A").error, ERROR_FILE_NOT_FOUND);
  // Gone already, or never there.
  EXPECT_EQ(RegDeleteValueA(key_.h, "A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key_.h, "Never"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key_.h, ""), ERROR_FILE_NOT_FOUND);
  // Made again, it comes last.
  ASSERT_EQ(regtest::SetString(key_.h, "A", "again"), 0);
  EXPECT_EQ(regtest::ValueNames(key_.h), (std::vector<std::string>{"B", "C", "A"}));
  // Through HKEY_CLASSES_ROOT as through any key.
  ASSERT_EQ(regtest::SetString(HKEY_CLASSES_ROOT, "", "root default"), 0);
  EXPECT_EQ(regtest::ValueOf(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes", ""), Z("root default", 13));
  EXPECT_EQ(RegDeleteValueA(HKEY_CLASSES_ROOT, nullptr), 0);
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "").error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
