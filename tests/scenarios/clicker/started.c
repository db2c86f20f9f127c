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

#include "probe_log.h"

static size_t Append(char* line, size_t n, size_t size, const char* arg) {
  line[n++] = '\t';
  return AppendEscaped(line, n, size, arg, strlen(arg));
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
  return AppendProbeLine(line, n);
}
