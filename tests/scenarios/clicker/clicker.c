/* clicker JOBFILE: starts one program, answers its "Quillon" message boxes
 * from a script and records each question, for the scenario runner's Wine
 * backend.
 *
 * The job file holds key=value lines:
 *   command=<the whole command line to start>
 *   answers=<comma list of yes/no>   (missing or used up: No)
 *   log=<question log, appended to>
 *   timeout=<seconds for the program and everything it starts>
 *   waiter=<command line of a process to start first>   (optional)
 *   waiter_ended=1   (optional: let that process end before the program)
 *
 * With a waiter, every %WAITPID% in the command becomes the waiter's process
 * id. The waiter runs in the same job as the program, so it is waited for
 * (or ended at the time-out) like everything the program starts.
 *
 * Each question is logged as the hosted layer logs it: caption, TAB, style
 * as 0x..., TAB, text with "\\" for a backslash and "\n" for a line feed.
 * The program runs in a job object, so the clicker returns only when the
 * program and every process it started (the follow-up command) have ended.
 * Exit code: the program's own, 124 on time-out, 125 when nothing could be
 * started. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "box_style.h"

#define TEXT_ID 0xFFFF /* the static control that holds a message box's text */
#define POLL_MS 20

struct Job {
  char command[4096];
  char waiter[1024];
  int waiter_ended;
  char answers[1024];
  char log[MAX_PATH];
  DWORD timeout_s;
};

static int ReadJob(const char* path, struct Job* job) {
  char line[4096 + 16];
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  memset(job, 0, sizeof *job);
  job->timeout_s = 60;
  while (fgets(line, sizeof line, f)) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
    char* eq = strchr(line, '=');
    if (!eq) continue;
    *eq = 0;
    const char* value = eq + 1;
    if (strcmp(line, "command") == 0) snprintf(job->command, sizeof job->command, "%s", value);
    else if (strcmp(line, "answers") == 0) snprintf(job->answers, sizeof job->answers, "%s", value);
    else if (strcmp(line, "log") == 0) snprintf(job->log, sizeof job->log, "%s", value);
    else if (strcmp(line, "timeout") == 0) job->timeout_s = (DWORD)strtoul(value, NULL, 10);
    else if (strcmp(line, "waiter") == 0) snprintf(job->waiter, sizeof job->waiter, "%s", value);
    else if (strcmp(line, "waiter_ended") == 0) job->waiter_ended = atoi(value);
  }
  fclose(f);
  return job->command[0] != 0;
}

/* The next scripted answer; anything but "yes" answers No, as a box that
 * cannot be shown counts as No for the programs. */
static int NextAnswer(const char** cursor) {
  const char* p = *cursor;
  while (*p == ' ') ++p;
  const char* end = strchr(p, ',');
  size_t len = end ? (size_t)(end - p) : strlen(p);
  *cursor = end ? end + 1 : p + len;
  while (len > 0 && p[len - 1] == ' ') --len;
  return (len == 3 && strncmp(p, "yes", 3) == 0) ? IDYES : IDNO;
}

static void LogQuestion(const char* path, const char* caption, UINT style, const char* text) {
  FILE* f = fopen(path, "ab");
  if (!f) return;
  fprintf(f, "%s\t0x%x\t", caption, style);
  for (const char* c = text; *c; ++c) {
    if (*c == '\\') fputs("\\\\", f);
    else if (*c == '\n') fputs("\\n", f);
    else fputc(*c, f);
  }
  fputc('\n', f);
  fclose(f);
}

struct Search {
  HWND skip;
  HWND found;
};

static BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
  struct Search* s = (struct Search*)param;
  char cls[16], caption[64];
  if (hwnd == s->skip || !IsWindowVisible(hwnd)) return TRUE;
  if (!GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0) return TRUE;
  if (!GetWindowTextA(hwnd, caption, sizeof caption) || strcmp(caption, "Quillon") != 0) return TRUE;
  s->found = hwnd;
  return FALSE;
}

static DWORD ActiveProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, NULL))
    return 0;
  return info.ActiveProcesses;
}

/* Starts the job's waiter in the job object and writes its id wherever the
 * command says %WAITPID%. */
static int StartWaiter(struct Job* job, HANDLE group) {
  static const char kMark[] = "%WAITPID%";
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  char id[16], out[sizeof job->command];
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  if (!CreateProcessA(NULL, job->waiter, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &si, &pi)) {
    fprintf(stderr, "clicker: cannot start the waiter %s (error %lu)\n", job->waiter, GetLastError());
    return 0;
  }
  AssignProcessToJobObject(group, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  if (job->waiter_ended) WaitForSingleObject(pi.hProcess, (DWORD)job->timeout_s * 1000);
  CloseHandle(pi.hProcess);

  snprintf(id, sizeof id, "%lu", pi.dwProcessId);
  size_t n = 0;
  for (const char* c = job->command; *c && n + sizeof id < sizeof out;) {
    if (strncmp(c, kMark, sizeof kMark - 1) == 0) {
      n += (size_t)snprintf(out + n, sizeof out - n, "%s", id);
      c += sizeof kMark - 1;
    } else {
      out[n++] = *c++;
    }
  }
  out[n] = 0;
  memcpy(job->command, out, n + 1);
  return 1;
}

int main(int argc, char** argv) {
  struct Job job;
  if (argc != 2 || !ReadJob(argv[1], &job)) {
    fprintf(stderr, "usage: clicker JOBFILE (with a command= line)\n");
    return 125;
  }
  HANDLE group = CreateJobObjectA(NULL, NULL);
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  if (group && job.waiter[0] && !StartWaiter(&job, group)) return 125;
  if (!group || !CreateProcessA(NULL, job.command, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                                &si, &pi)) {
    fprintf(stderr, "clicker: cannot start %s (error %lu)\n", job.command, GetLastError());
    return 125;
  }
  AssignProcessToJobObject(group, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);

  const char* cursor = job.answers;
  HWND answered = NULL; /* the box last clicked, until it is gone */
  const ULONGLONG deadline = GetTickCount64() + (ULONGLONG)job.timeout_s * 1000;
  int program_done = 0;
  for (;;) {
    if (GetTickCount64() > deadline) {
      fprintf(stderr, "clicker: time-out after %lu s\n", job.timeout_s);
      TerminateJobObject(group, 124);
      return 124;
    }
    if (!program_done && WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) program_done = 1;
    if (program_done && ActiveProcesses(group) == 0) break;
    if (answered && !IsWindow(answered)) answered = NULL;

    struct Search s = {answered, NULL};
    EnumWindows(FindBox, (LPARAM)&s);
    if (s.found && !answered) {
      char text[4096] = "";
      GetDlgItemTextA(s.found, TEXT_ID, text, sizeof text);
      if (job.log[0]) LogQuestion(job.log, "Quillon", BoxStyle(s.found), text);
      const int id = NextAnswer(&cursor);
      PostMessageA(s.found, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(s.found, id));
      answered = s.found;
    }
    Sleep(POLL_MS);
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(group);
  return (int)code;
}
