/* started.exe: the recorder, the follow-up program of the scenarios on Wine
 * (laid as C:\probe\started.exe, and wherever a fixture says @recorder). Each
 * start appends one line to C:\probe\started.log: "started", TAB, its own
 * path, then a TAB and each argument (split by the runtime's Windows rules),
 * with "\\" for a backslash and "\n" for a line feed. probe/started is the
 * same for the hosted lane. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static size_t Append(char* line, size_t n, size_t size, const char* arg) {
  line[n++] = '\t';
  for (const char* c = arg; *c && n + 4 < size; ++c) {
    if (*c == '\\' || *c == '\n') {
      line[n++] = '\\';
      line[n++] = *c == '\n' ? 'n' : '\\';
    } else {
      line[n++] = *c;
    }
  }
  return n;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char own[MAX_PATH + 1];
  char line[8192];
  size_t n = 0;
  int i;
  (void)instance, (void)previous, (void)command_line, (void)show;
  DWORD len = GetModuleFileNameA(NULL, own, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return 1;

  n += (size_t)snprintf(line, sizeof line, "started");
  n = Append(line, n, sizeof line, own);
  for (i = 1; i < __argc && n + 8 < sizeof line; ++i) n = Append(line, n, sizeof line, __argv[i]);
  line[n++] = '\n';
  /* One append of the whole line, as the hosted recorder does. */
  HANDLE f = CreateFileA("C:\\probe\\started.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(f, line, (DWORD)n, &written, NULL);
  CloseHandle(f);
  return 0;
}
