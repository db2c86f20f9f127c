// WinMain of ravmosetup: "Install <product command line>" or
// "Uninstall <follow-up command>". Prints nothing; always returns 0.
#include "entry.h"

#include "install.h"
#include "uninstall.h"

Text PromptText;

const char kQuestionCaption[] = "Quillon";
const char kUninstallQuestion[] =
    "Are you sure you want to uninstall the Quillon?\n"
    "If so, make sure all applications are closed for a complete uninstallation of \n"
    "the Quillon.";

static bool Ask(const Text& question) {
  return MessageBoxA(nullptr, question.c_str(), kQuestionCaption, kQuestionStyle) == IDYES;
}

bool ConfirmUninstall() { return Ask(kUninstallQuestion); }

bool ConfirmChange() {
  if (Length(PromptText) == 0) return true;
  return Ask(PromptText);
}

bool SplitVerb(const Text& line, Text& verb, Text& rest) {
  verb.clear();
  rest.clear();
  int start = 0;
  const int n = Length(line);
  while (start < n && line[start] == ' ') ++start;
  if (start == n) return false;
  int end = start;
  while (end < n && line[end] != ' ') {
    // A double-byte character is one unit: its trail byte never ends the verb.
    end += IsLeadByteAt(line, end) ? 2 : 1;
  }
  if (end > n) end = n;
  verb = line.substr(start, end - start);
  if (end < n) rest = line.substr(end + 1);
  return true;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
  // The working copy holds the whole command line: an open command cut short
  // would be written to the registry corrupt.
  const Text line = lpCmdLine ? Text(lpCmdLine) : Text();
  Text verb;
  Text rest;
  if (!SplitVerb(line, verb, rest)) return 0;

  if (VerbEquals(verb, "Install")) {
    DoInstall(hInstance, hPrevInstance, rest, nCmdShow);
  } else if (VerbEquals(verb, "Uninstall")) {
    if (ConfirmUninstall()) {
      DoUninstall(hInstance, hPrevInstance, rest, nCmdShow);
      WinExec(rest.c_str(), SW_SHOW);
    }
  }
  return 0;
}
