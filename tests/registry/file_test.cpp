// The registry file: where it is, files that are not a registry, a read-only
// registry, and the query plans of the registry's statements.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hooks.h"
#include "internal.h"
#include "registry_helpers.h"
#include "seam.h"
#include "support/file_bytes.h"
#include "support/registry_file_test.h"
#include "winapi.h"

using regtest::Create;
using regtest::Key;
using testsupport::Exists;
using testsupport::RandomBytes;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

class RegistryFile : public RegistryFileTest {
 public:
  // A registry file with some keys and values, closed again.
  std::string MakeRegistry(const std::string& name, int keys) {
    const std::string path = dir_.File(name);
    UseFile(path);
    for (int i = 0; i < keys; ++i) {
      Key k;
      const std::string sub = "Software\\Made\\K" + std::to_string(i);
      EXPECT_EQ(Create(HKEY_CURRENT_USER, sub.c_str(), &k), 0);
      EXPECT_EQ(regtest::SetString(k.h, "Value", std::string(200, 'v')), 0);
    }
    winhost::ResetRegistry();
    return path;
  }
};

TEST_F(RegistryFile, TheVariableChoosesTheFile) {
  const std::string a = dir_.File("a.db"), b = dir_.File("b.db");
  UseFile(a);
  ASSERT_EQ(regtest::SetString(HKEY_CURRENT_USER, "Where", "in a"), 0);
  UseFile(b);
  EXPECT_EQ(regtest::Query(HKEY_CURRENT_USER, "Where").error, ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(regtest::SetString(HKEY_CURRENT_USER, "Where", "in b"), 0);
  UseFile(a);
  EXPECT_EQ(regtest::Query(HKEY_CURRENT_USER, "Where").data, std::string("in a", 5));
  UseFile(b);
  EXPECT_EQ(regtest::Query(HKEY_CURRENT_USER, "Where").data, std::string("in b", 5));
}

struct DefaultCase {
  const char* xdg;   // XDG_DATA_HOME below the temporary folder, or nullptr for unset
  const char* home;  // HOME below the temporary folder
  const char* file;  // where the registry must appear
};

class DefaultPath : public RegistryFile, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(DefaultPath, CreatedOnFirstUse) {
  const DefaultCase& c = GetParam();
  seam::UnsetEnv("WINHOST_REGISTRY");
  if (c.xdg) {
    seam::SetEnv("XDG_DATA_HOME", dir_.File(c.xdg));
  } else {
    seam::UnsetEnv("XDG_DATA_HOME");
  }
  seam::SetEnv("HOME", dir_.File(c.home));
  winhost::ResetRegistry();
  const std::string file = dir_.File(c.file);
  EXPECT_FALSE(Exists(file));
  ASSERT_EQ(regtest::SetString(HKEY_CURRENT_USER, "Kept", "yes"), 0);
  EXPECT_TRUE(Exists(file));
  winhost::ResetRegistry();
  EXPECT_EQ(regtest::Query(HKEY_CURRENT_USER, "Kept").data, std::string("yes", 4));
}

INSTANTIATE_TEST_SUITE_P(Cases, DefaultPath,
                         ::testing::Values(
                             // Under XDG_DATA_HOME, made with the folders above it.
                             DefaultCase{"xdg/data", "home", "xdg/data/winhost/registry.db"},
                             // Without it, under the home folder.
                             DefaultCase{nullptr, "home", "home/.local/share/winhost/registry.db"}));

// A database of some other program, made with SQLite directly.
std::string ForeignDatabase(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
  return ReadBytes(path);
}

struct NotARegistryCase {
  const char* what;
  // Writes the file at the path; may use the fixture to make a registry first.
  std::function<void(RegistryFile*, const std::string&)> make;
};

class NotARegistry : public RegistryFile, public ::testing::WithParamInterface<NotARegistryCase> {};

// A registry of 40 keys cut to `size` bytes (negative: that many bytes short).
std::function<void(RegistryFile*, const std::string&)> Truncated(long size) {
  return [size](RegistryFile* t, const std::string& path) {
    const std::string whole = ReadBytes(t->MakeRegistry("whole.db", 40));
    ASSERT_GT(whole.size(), 4 * 4096u);
    WriteBytes(path, whole.substr(0, size >= 0 ? size : whole.size() + size));
  };
}

TEST_P(NotARegistry, EveryCallFailsAndTheFileStaysAsItWas) {
  const std::string path = dir_.File("registry.db");
  GetParam().make(this, path);
  if (HasFatalFailure()) return;
  const std::string before = ReadBytes(path);
  ASSERT_FALSE(before.empty());
  UseFile(path);

  HKEY k = nullptr;
  DWORD disposition = 0;
  char name[300];
  DWORD len = sizeof name;
  const BYTE data[] = "x";
  const LONG results[] = {
      RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition),
      RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_ALL_ACCESS, &k),
      RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_ALL_ACCESS, &k),
      RegQueryValueExA(HKEY_CURRENT_USER, "Value", nullptr, nullptr, nullptr, nullptr),
      RegSetValueExA(HKEY_CURRENT_USER, "Value", 0, REG_SZ, data, 2),
      RegDeleteValueA(HKEY_CURRENT_USER, "Value"),
      RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Made\\K1"),
      RegEnumValueA(HKEY_CURRENT_USER, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
      RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
      // Asked again, it still fails.
      RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_ALL_ACCESS, &k),
  };
  for (LONG err : results) EXPECT_EQ(err, ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(k, nullptr);
  winhost::ResetRegistry();

  EXPECT_TRUE(ReadBytes(path) == before) << "the file was changed";
  for (const char* side : {"-wal", "-shm", "-journal"}) EXPECT_FALSE(Exists(path + side)) << side;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotARegistry,
    ::testing::Values(
        NotARegistryCase{"random bytes",
                         [](RegistryFile*, const std::string& p) { WriteBytes(p, RandomBytes(3 * 4096, 7)); }},
        NotARegistryCase{"a few random bytes",
                         [](RegistryFile*, const std::string& p) { WriteBytes(p, RandomBytes(37, 11)); }},
        NotARegistryCase{"text", [](RegistryFile*,
                                    const std::string& p) {
                           WriteBytes(p, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\"a\"=\"b\"\r\n");
                         }},
        NotARegistryCase{"a database header and nothing behind it",
                         [](RegistryFile*, const std::string& p) {
                           WriteBytes(p, std::string("SQLite format 3\0", 16) + std::string(4080, '\0'));
                         }},
        NotARegistryCase{"a registry cut inside its header", Truncated(60)},
        NotARegistryCase{"a registry cut inside a page", Truncated(2 * 4096 + 1000)},
        NotARegistryCase{"a registry cut to its first page", Truncated(4096)},
        NotARegistryCase{"a registry without its last page", Truncated(-4096)},
        NotARegistryCase{"another program's database",
                         [](RegistryFile*, const std::string& p) {
                           ForeignDatabase(p, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT);"
                                              "INSERT INTO notes(text) VALUES('hello');");
                         }},
        NotARegistryCase{"another program's database in WAL mode",
                         [](RegistryFile*, const std::string& p) {
                           ForeignDatabase(p, "PRAGMA application_id=1234; CREATE TABLE keys(id, parent);"
                                              "PRAGMA journal_mode=WAL; INSERT INTO keys VALUES(1, 0);");
                         }},
        NotARegistryCase{"another program's database without tables",
                         [](RegistryFile*, const std::string& p) {
                           ForeignDatabase(p, "PRAGMA user_version=3;");
                         }}),
    [](const ::testing::TestParamInfo<NotARegistryCase>& info) {
      std::string n;
      for (const char* c = info.param.what; *c; ++c) n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return n;
    });

TEST_F(RegistryFile, ReadOnlyFileReadsButNeverChanges) {
  // A name that means something in a URI.
  const std::string path = MakeRegistry("read only?#%20.db", 3);
  const std::string before = ReadBytes(path);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  UseFile(path);

  // Reads work.
  EXPECT_EQ(regtest::ValueOf(HKEY_CURRENT_USER, "Software\\Made\\K1", "Value"), std::string(200, 'v') + '\0');
  Key made;
  ASSERT_EQ(regtest::Open(HKEY_CURRENT_USER, "Software\\Made", &made), 0);
  EXPECT_EQ(regtest::SubkeyNames(made.h), (std::vector<std::string>{"K0", "K1", "K2"}));
  Key k1;
  ASSERT_EQ(regtest::Open(made.h, "K1", &k1), 0);
  EXPECT_EQ(regtest::ValueNames(k1.h), std::vector<std::string>{"Value"});
  // Opening an existing key through RegCreateKeyExA writes nothing.
  Key again;
  DWORD disposition = 0;
  EXPECT_EQ(Create(made.h, "K2", &again, &disposition), 0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  // Writes fail.
  Key none;
  EXPECT_EQ(Create(made.h, "K9", &none), ERROR_ACCESS_DENIED);
  EXPECT_EQ(regtest::SetString(k1.h, "Value", "changed"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(regtest::SetString(k1.h, "Other", "new"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(k1.h, "Value"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(made.h, "K0"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(regtest::ValueOf(HKEY_CURRENT_USER, "Software\\Made\\K1", "Value"), std::string(200, 'v') + '\0');
  made.Close();
  k1.Close();
  again.Close();
  winhost::ResetRegistry();
  EXPECT_TRUE(ReadBytes(path) == before) << "the read-only file was changed";
  for (const char* side : {"-wal", "-shm", "-journal"}) EXPECT_FALSE(Exists(path + side)) << side;
}

// New files get small pages; files made by earlier builds have 4096-byte
// pages and must read and write alike.
TEST_F(RegistryFile, FileWithLargerPagesKeepsWorking) {
  const std::string path = MakeRegistry("pages.db", 3);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA page_size=4096; VACUUM; PRAGMA journal_mode=WAL",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  const std::string header = ReadBytes(path).substr(0, 18);
  ASSERT_EQ(header.size(), 18u);
  ASSERT_EQ((static_cast<unsigned char>(header[16]) << 8) | static_cast<unsigned char>(header[17]), 4096);

  UseFile(path);
  EXPECT_EQ(regtest::ValueOf(HKEY_CURRENT_USER, "Software\\Made\\K1", "Value"), std::string(200, 'v') + '\0');
  {
    Key k;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Made\\K1", &k), 0);
    EXPECT_EQ(regtest::SetString(k.h, "Second", "x"), 0);
    EXPECT_EQ(regtest::SetString(k.h, "VALUE", "changed"), 0);
    EXPECT_EQ(regtest::ValueNames(k.h), (std::vector<std::string>{"Value", "Second"}));
    EXPECT_EQ(RegDeleteValueA(k.h, "second"), 0);
    Key sub;
    EXPECT_EQ(Create(k.h, "Sub", &sub), 0);
  }
  winhost::ResetRegistry();
  UseFile(path);
  EXPECT_EQ(regtest::ValueOf(HKEY_CURRENT_USER, "Software\\Made\\K1", "Value"), std::string("changed") + '\0');
  Key sub;
  EXPECT_EQ(regtest::Open(HKEY_CURRENT_USER, "Software\\Made\\K1\\Sub", &sub), 0);
}

TEST_F(RegistryFile, EmptyReadOnlyFileFailsCleanly) {
  const std::string path = dir_.File("empty.db");
  WriteBytes(path, "");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  UseFile(path);
  Key k;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software", &k), ERROR_ACCESS_DENIED);
  EXPECT_EQ(regtest::Query(HKEY_CURRENT_USER, "V").error, ERROR_ACCESS_DENIED);
  winhost::ResetRegistry();
  EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(RegistryFile, FolderInsteadOfAFile) {
  const std::string path = dir_.File("folder.db");
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  UseFile(path);
  Key k;
  EXPECT_NE(Create(HKEY_CURRENT_USER, "Software", &k), 0);
  EXPECT_EQ(k.h, nullptr);
}

// Every statement the registry prepares is served by an index: no scan of
// keys or values, no sorting, so no call grows with the registry.
TEST_F(RegistryFile, EveryLookupUsesAnIndex) {
  const std::string path = MakeRegistry("plans.db", 1);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  const std::vector<std::string> statements = winhost::RegistryStatementSql();
  ASSERT_GT(statements.size(), 10u);
  for (const std::string& sql : statements) {
    SCOPED_TRACE(sql);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (sqlite3_step(s) == SQLITE_ROW) {
      const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(s, 3));
      // Scanning the one-row seed or the recursive list of a subtree is fine.
      const bool scan = detail.compare(0, 5, "SCAN ") == 0 && detail != "SCAN CONSTANT ROW" && detail != "SCAN t";
      EXPECT_FALSE(scan) << detail;
      EXPECT_EQ(detail.find("TEMP B-TREE"), std::string::npos) << detail;
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
}

}  // namespace
