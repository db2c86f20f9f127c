// The test seam over winhost: a private registry per test, scripted answers,
// a record of the questions, of the calls and of the processes started,
// injected failures, and the count of open handles. Linked into tests only.
#ifndef QUILLON_TESTS_SEAM_H
#define QUILLON_TESTS_SEAM_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace seam {

// Fresh state: a new private registry (":memory:"), no answers, no recorded
// questions, calls or starts, no injected failures, starts recorded instead
// of performed, and the WINHOST_* variables that change behaviour unset.
void Reset();

// Answers for the next MessageBoxA calls, in order (IDYES, IDNO, or 0 for a
// box that fails). When they run out, MessageBoxA fails (returns 0).
void Answers(std::initializer_list<int> answers);

struct Question {
  std::string caption;
  unsigned style;
  std::string text;
};
const std::vector<Question>& Questions();

// Every winhost call since Reset(): the operation and its subject (full key
// path with the value name after a backslash, a file path, a command line).
using Call = std::pair<std::string, std::string>;
const std::vector<Call>& Calls();
// The calls whose operation starts with "Reg".
std::vector<Call> RegistryCalls();
void ClearCalls();

// Makes calls of `op` ("" for any) whose subject contains `match` ("" for
// any) fail with `error`. nth 0: every such call; nth k: only the k-th.
void Fail(const std::string& op, const std::string& match, long error, int nth = 0);

// Lifts every failure injected with Fail(); the registry and the records stay.
void ClearFailures();

// After `n` more registry writes (calls of RegSetValueExA, RegDeleteValueA,
// RegDeleteKeyA and RegCreateKeyExA, which may create keys) every later call
// fails, as if the process had died. A negative n turns this off.
void DieAfterWrites(int n);
// Registry writes seen since Reset(), counted the same way.
int Writes();

// Process starts (WinExec, CreateProcessA) are recorded instead of performed
// while this is on (the default after Reset()).
void RecordStarts(bool on);
struct Start {
  std::string op;
  std::string command_line;
  std::vector<std::string> argv;
};
const std::vector<Start>& Starts();

// While on, MessageBoxA runs its real code ($WINHOST_ANSWERS, the dialog, the
// terminal) instead of the seam's answers. Off after Reset().
void RealMessageBox(bool on);

// Registry, search and process handles open right now.
int OpenHandles();

// Sets or unsets an environment variable for the rest of the test and makes
// winhost read its environment again. Reset() undoes every such change.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace seam

// A fixture that gives every test a fresh seam and checks afterwards that no
// handle was left open.
class SeamTest : public ::testing::Test {
 protected:
  void SetUp() override { seam::Reset(); }
  void TearDown() override { EXPECT_EQ(seam::OpenHandles(), 0) << "a handle was left open"; }
};

#endif  // QUILLON_TESTS_SEAM_H
