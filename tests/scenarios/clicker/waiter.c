/* waiter.exe SECONDS PATH: the process that an updater scenario waits for,
 * on Wine (the clicker starts it and puts its id into the command). It lives
 * SECONDS, then appends "ended", TAB and what the file PATH holds at that
 * moment to C:\probe\started.log, and exits. probe/waiter is the same for the
 * hosted lane. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "probe_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char data[66];
  char line[256];
  DWORD got = 0, i;
  size_t n;
  (void)instance, (void)previous, (void)command_line, (void)show;
  if (__argc != 3) return 1;
  Sleep((DWORD)(atof(__argv[1]) * 1000));

  n = (size_t)snprintf(line, sizeof line, "ended\t");
  HANDLE in = CreateFileA(__argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (in == INVALID_HANDLE_VALUE) {
    n += (size_t)snprintf(line + n, sizeof line - n, "(missing)");
  } else {
    int text = ReadFile(in, data, 65, &got, NULL) && got <= 64;
    CloseHandle(in);
    for (i = 0; text && i < got; ++i) text = (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\n';
    if (text) n = AppendEscaped(line, n, sizeof line, data, got);
    else n += (size_t)snprintf(line + n, sizeof line - n, "(binary)");
  }
  line[n++] = '\n';
  return AppendProbeLine(line, n);
}
