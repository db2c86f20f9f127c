/* started.exe: the follow-up program of the scenarios on Wine. Each start
 * appends one line to started.log beside the program: "started", then a TAB
 * and each argument (split by the runtime's Windows rules), with "\\" for a
 * backslash and "\n" for a line feed. probe/started is the same for the
 * hosted lane. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char path[MAX_PATH + 16];
  char line[8192];
  size_t n = 0;
  int i;
  (void)instance, (void)previous, (void)command_line, (void)show;
  DWORD len = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return 1;
  char* slash = strrchr(path, '\\');
  strcpy(slash ? slash + 1 : path, "started.log");

  n += (size_t)snprintf(line, sizeof line, "started");
  for (i = 1; i < __argc && n + 8 < sizeof line; ++i) {
    line[n++] = '\t';
    for (const char* c = __argv[i]; *c && n + 4 < sizeof line; ++c) {
      if (*c == '\\' || *c == '\n') {
        line[n++] = '\\';
        line[n++] = *c == '\n' ? 'n' : '\\';
      } else {
        line[n++] = *c;
      }
    }
  }
  line[n++] = '\n';
  /* One append of the whole line, as the hosted recorder does. */
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(f, line, (DWORD)n, &written, NULL);
  CloseHandle(f);
  return 0;
}
