// MessageBoxA: scripted answers ($WINHOST_ANSWERS), a record of every question
// ($WINHOST_QUESTION_LOG), a desktop dialog (zenity) or the terminal.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "internal.h"

extern char** environ;

namespace winhost {
namespace {

struct Answers {
  bool loaded = false;
  bool scripted = false;
  std::vector<int> list;
  size_t next = 0;
};
Answers g_answers;

void LoadAnswers() {
  if (g_answers.loaded) return;
  g_answers.loaded = true;
  const char* env = std::getenv("WINHOST_ANSWERS");
  if (!env) return;
  g_answers.scripted = true;
  std::string item;
  const std::string all = env;
  for (size_t i = 0; i <= all.size(); ++i) {
    if (i == all.size() || all[i] == ',') {
      // Anything but yes and no (fail, or a word we do not know) fails the call.
      g_answers.list.push_back(item == "yes" ? IDYES : item == "no" ? IDNO : 0);
      item.clear();
    } else if (all[i] != ' ') {
      item += all[i];
    }
  }
  if (all.empty()) g_answers.list.clear();
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

void LogQuestion(const char* caption, unsigned style, const std::string& text) {
  const std::string path = GetEnv("WINHOST_QUESTION_LOG");
  if (path.empty()) return;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", style);
  const std::string line = std::string(caption) + "\t" + hex + "\t" + Escape(text) + "\n";
  // One write of the whole line, appended, so that processes do not interleave.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = write(fd, line.data(), line.size());
  (void)ignored;
  close(fd);
}

bool OnPath(const char* program) {
  const std::string path = GetEnv("PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// 0 when the dialog could not be shown.
int AskDesktop(const std::string& text, const char* caption) {
  if (GetEnv("DISPLAY").empty() && GetEnv("WAYLAND_DISPLAY").empty()) return 0;
  if (!OnPath("zenity")) return 0;
  std::string title = std::string("--title=") + caption;
  std::string body = "--text=" + text;
  std::vector<char*> argv = {const_cast<char*>("zenity"), const_cast<char*>("--question"),
                             const_cast<char*>("--no-markup"), &title[0], &body[0], nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "zenity", nullptr, nullptr, argv.data(), environ) != 0) return 0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 0;
  }
  if (!WIFEXITED(status)) return 0;
  if (WEXITSTATUS(status) == 0) return IDYES;
  if (WEXITSTATUS(status) == 1) return IDNO;
  return 0;
}

int AskTerminal(const std::string& text, const char* caption) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return 0;
  const std::string prompt = std::string("[") + caption + "] " + text + " [y/n] ";
  int answer = 0;
  for (;;) {
    if (write(fd, prompt.data(), prompt.size()) < 0) break;
    std::string line;
    char c;
    ssize_t n;
    while ((n = read(fd, &c, 1)) == 1 && c != '\n') line += c;
    if (n <= 0 && line.empty()) break;  // end of input: no answer
    for (char& ch : line) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    if (line == "y" || line == "yes") { answer = IDYES; break; }
    if (line == "n" || line == "no") { answer = IDNO; break; }
  }
  close(fd);
  return answer;
}

}  // namespace

void ResetAnswers() { g_answers = Answers(); }

}  // namespace winhost

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  using namespace winhost;
  const std::string text = lpText ? lpText : "";
  const char* caption = lpCaption ? lpCaption : "Error";
  const long hooked = CallHook("MessageBoxA", text);
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return 0;
  }
  LogQuestion(caption, uType, text);
  Hooks& h = GetHooks();
  if (h.message_box) return h.message_box(text.c_str(), caption, uType);

  LoadAnswers();
  if (g_answers.scripted) {
    if (g_answers.next >= g_answers.list.size()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    const int answer = g_answers.list[g_answers.next++];
    if (answer == 0) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return answer;
  }
  int answer = AskDesktop(text, caption);
  if (answer == 0) answer = AskTerminal(text, caption);
  if (answer == 0) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return answer;
}
