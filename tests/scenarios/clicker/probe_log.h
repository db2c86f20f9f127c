/* The probe log that the scenario programs on Wine write to,
 * C:\probe\started.log, in the same form as the hosted lane's probes. */
#ifndef QUILLON_SCENARIOS_PROBE_LOG_H
#define QUILLON_SCENARIOS_PROBE_LOG_H

#include <windows.h>

#include <stddef.h>

/* Appends `len` bytes of `text` to line[n..], "\\" for a backslash and "\n"
 * for a line feed, stopping short of `size` with room for the line's end.
 * Returns the new length. */
static size_t AppendEscaped(char* line, size_t n, size_t size, const char* text, size_t len) {
  size_t i;
  for (i = 0; i < len && n + 4 < size; ++i) {
    if (text[i] == '\\' || text[i] == '\n') {
      line[n++] = '\\';
      line[n++] = text[i] == '\n' ? 'n' : '\\';
    } else {
      line[n++] = text[i];
    }
  }
  return n;
}

/* Appends the whole line in one write, so that lines of several processes
 * never interleave. 0 on success. */
static int AppendProbeLine(const char* line, size_t n) {
  DWORD written = 0;
  HANDLE f = CreateFileA("C:\\probe\\started.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (f == INVALID_HANDLE_VALUE) return 1;
  WriteFile(f, line, (DWORD)n, &written, NULL);
  CloseHandle(f);
  return 0;
}

#endif
