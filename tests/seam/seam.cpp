#include "seam.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "hooks.h"
#include "winapi.h"

namespace seam {
namespace {

struct Failure {
  std::string op;
  std::string match;
  long error;
  int nth;
  int seen = 0;
};

struct State {
  std::vector<int> answers;
  size_t next_answer = 0;
  std::vector<Question> questions;
  std::vector<Call> calls;
  std::vector<Failure> failures;
  int die_after = -1;  // writes left before death; -1: never
  bool dead = false;
  int writes = 0;
  bool record_starts = true;
  bool real_message_box = false;
  std::vector<Start> starts;
  std::map<std::string, std::pair<bool, std::string>> saved_env;  // name -> (was set, value)
};

State& S() {
  static State state;
  return state;
}

bool IsWrite(const char* op) {
  return std::strcmp(op, "RegSetValueExA") == 0 || std::strcmp(op, "RegDeleteValueA") == 0 ||
         std::strcmp(op, "RegDeleteKeyA") == 0 || std::strcmp(op, "RegCreateKeyExA") == 0;
}

long BeforeCall(const char* op, const std::string& subject) {
  State& s = S();
  s.calls.emplace_back(op, subject);
  if (s.dead) return ERROR_REGISTRY_IO_FAILED;
  for (Failure& f : s.failures) {
    if (!f.op.empty() && f.op != op) continue;
    if (!f.match.empty() && subject.find(f.match) == std::string::npos) continue;
    ++f.seen;
    if (f.nth == 0 || f.seen == f.nth) return f.error;
  }
  if (IsWrite(op)) {
    ++s.writes;
    if (s.die_after >= 0) {
      if (s.die_after == 0) {
        s.dead = true;
        return ERROR_REGISTRY_IO_FAILED;
      }
      --s.die_after;
    }
  }
  return 0;
}

int MessageBox(const char* text, const char* caption, unsigned style) {
  State& s = S();
  s.questions.push_back({caption, style, text});
  if (s.next_answer >= s.answers.size()) return 0;
  return s.answers[s.next_answer++];
}

bool StartProcess(const char* op, const std::string& line, const std::vector<std::string>& argv) {
  State& s = S();
  s.starts.push_back({op, line, argv});
  return true;
}

void Install() {
  winhost::Hooks& h = winhost::GetHooks();
  h.before_call = BeforeCall;
  h.message_box = S().real_message_box ? nullptr : MessageBox;
  h.start_process = S().record_starts ? StartProcess : nullptr;
}

void Remember(const std::string& name) {
  State& s = S();
  if (s.saved_env.count(name)) return;
  const char* v = std::getenv(name.c_str());
  s.saved_env[name] = {v != nullptr, v ? v : ""};
}

}  // namespace

void Reset() {
  State& s = S();
  for (const auto& [name, saved] : s.saved_env) {
    if (saved.first) setenv(name.c_str(), saved.second.c_str(), 1);
    else unsetenv(name.c_str());
  }
  s = State();
  for (const char* name : {"WINHOST_ANSWERS", "WINHOST_QUESTION_LOG", "WINHOST_PLATFORM", "WINHOST_CODEPAGE"}) {
    Remember(name);
    unsetenv(name);
  }
  Remember("WINHOST_REGISTRY");
  setenv("WINHOST_REGISTRY", ":memory:", 1);
  winhost::ResetRegistry();
  winhost::ResetEnvironment();
  Install();
}

void Answers(std::initializer_list<int> answers) {
  S().answers.assign(answers);
  S().next_answer = 0;
}

const std::vector<Question>& Questions() { return S().questions; }
const std::vector<Call>& Calls() { return S().calls; }

std::vector<Call> RegistryCalls() {
  std::vector<Call> out;
  for (const Call& c : S().calls) {
    if (c.first.compare(0, 3, "Reg") == 0) out.push_back(c);
  }
  return out;
}

void ClearCalls() { S().calls.clear(); }

void Fail(const std::string& op, const std::string& match, long error, int nth) {
  S().failures.push_back({op, match, error, nth});
}

void ClearFailures() { S().failures.clear(); }

void DieAfterWrites(int n) {
  S().die_after = n < 0 ? -1 : n;
  S().dead = false;
}

int Writes() { return S().writes; }

void RecordStarts(bool on) {
  S().record_starts = on;
  Install();
}

void RealMessageBox(bool on) {
  S().real_message_box = on;
  Install();
}

const std::vector<Start>& Starts() { return S().starts; }

int OpenHandles() { return winhost::OpenHandleCount(); }

void SetEnv(const std::string& name, const std::string& value) {
  Remember(name);
  setenv(name.c_str(), value.c_str(), 1);
  winhost::ResetEnvironment();
}

void UnsetEnv(const std::string& name) {
  Remember(name);
  unsetenv(name.c_str());
  winhost::ResetEnvironment();
}

}  // namespace seam
