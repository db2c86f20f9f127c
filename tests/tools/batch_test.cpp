// winhost's batches: many registry calls as one transaction.
#include <cstring>

#include "batch.h"
#include "cli_process.h"
#include "hooks.h"
#include "seam.h"
#include "support/temp_dir.h"
#include "tools_test_util.h"
#include "winapi.h"

namespace {

class Batch : public SeamTest {
 protected:
  LONG SetString(const char* key, const char* name, const char* text) {
    HKEY k = nullptr;
    LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    if (err != ERROR_SUCCESS) return err;
    err = RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                         static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(k);
    return err;
  }
  std::string Dump() { return tools_test::DumpTree(regfile::Root::kCurrentUser, "Software"); }
};

TEST_F(Batch, CommitKeepsAndRollbackUndoesEveryCall) {
  ASSERT_EQ(SetString("Software\\Base", "v", "0"), 0);
  const std::string before = Dump();

  ASSERT_EQ(winhost::BeginBatch(), 0);
  ASSERT_EQ(SetString("Software\\New\\Deep", "a", "1"), 0);
  ASSERT_EQ(SetString("Software\\Base", "v", "changed"), 0);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\New\\Deep"), 0);
  ASSERT_EQ(SetString("Software\\New", "b", "2"), 0);
  const std::string inside = Dump();
  EXPECT_NE(inside.find("\"b\""), std::string::npos);  // the batch sees its own changes
  EXPECT_NE(inside.find("63 68 61 6e 67 65 64"), std::string::npos);  // "changed"
  ASSERT_EQ(winhost::RollbackBatch(), 0);
  EXPECT_EQ(Dump(), before);

  ASSERT_EQ(winhost::BeginBatch(), 0);
  ASSERT_EQ(SetString("Software\\New\\Deep", "a", "1"), 0);
  ASSERT_EQ(SetString("Software\\Base", "v", "changed"), 0);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\New\\Deep"), 0);
  ASSERT_EQ(SetString("Software\\New", "b", "2"), 0);
  ASSERT_EQ(winhost::CommitBatch(), 0);
  EXPECT_EQ(Dump(), inside);
  // After a batch, calls commit on their own again.
  ASSERT_EQ(SetString("Software\\Base", "w", "after"), 0);
  EXPECT_NE(Dump().find("\"w\""), std::string::npos);
}

TEST_F(Batch, MisuseIsRefused) {
  EXPECT_EQ(winhost::CommitBatch(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(winhost::RollbackBatch(), ERROR_INVALID_FUNCTION);
  ASSERT_EQ(winhost::BeginBatch(), 0);
  EXPECT_EQ(winhost::BeginBatch(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(winhost::CommitBatch(), 0);
  EXPECT_EQ(winhost::CommitBatch(), ERROR_INVALID_FUNCTION);
  // A registry reset in the middle of a batch ends it.
  ASSERT_EQ(winhost::BeginBatch(), 0);
  ASSERT_EQ(SetString("Software\\Lost", "v", "1"), 0);
  winhost::ResetRegistry();
  EXPECT_EQ(winhost::CommitBatch(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(winhost::BeginBatch(), 0);
  EXPECT_EQ(winhost::RollbackBatch(), 0);
}

// A call that fails inside a batch leaves the batch's earlier work intact.
TEST_F(Batch, FailedCallDoesNotSpoilTheBatch) {
  ASSERT_EQ(winhost::BeginBatch(), 0);
  ASSERT_EQ(SetString("Software\\P\\Child", "v", "1"), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\P"), ERROR_ACCESS_DENIED);  // has a subkey
  seam::Fail("RegSetValueExA", "refused", ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetString("Software\\P", "refused", "x"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(winhost::CommitBatch(), 0);
  EXPECT_EQ(Dump(),
            "[HKEY_CURRENT_USER\\Software]\n[HKEY_CURRENT_USER\\Software\\P]\n"
            "[HKEY_CURRENT_USER\\Software\\P\\Child]\n  \"v\" type 1: 31 00\n");
}

// Other processes see nothing of a batch until it is committed.
TEST_F(Batch, OtherProcessesSeeOnlyTheCommit) {
  testsupport::TempDir dir;
  const std::string registry = dir.File("registry.db");
  seam::SetEnv("WINHOST_REGISTRY", registry);
  winhost::ResetRegistry();
  ASSERT_EQ(SetString("Software\\Shared", "before", "1"), 0);
  ASSERT_EQ(winhost::BeginBatch(), 0);
  ASSERT_EQ(SetString("Software\\Shared", "inside", "2"), 0);
  const std::vector<std::string> query{"query", "HKCU\\Software\\Shared"};
  const tools_test::RunResult during = tools_test::RunTool(registry, dir.path(), query);
  EXPECT_EQ(during.exit_code, 0) << during.err;
  EXPECT_NE(during.out.find("before"), std::string::npos);
  EXPECT_EQ(during.out.find("inside"), std::string::npos);
  ASSERT_EQ(winhost::CommitBatch(), 0);
  const tools_test::RunResult after = tools_test::RunTool(registry, dir.path(), query);
  EXPECT_NE(after.out.find("inside"), std::string::npos) << after.err;
  winhost::ResetRegistry();
}

}  // namespace
