// Entry point, verb dispatch and the program's two questions.
#ifndef QUILLON_SETUP_ENTRY_H
#define QUILLON_SETUP_ENTRY_H

#include "text.h"
#include "winapi.h"

// The question that ConfirmChange shows; empty means "ask nothing, answer yes".
// Only the install sequence assigns it.
extern Text PromptText;

// Caption and styles of both questions.
extern const char kQuestionCaption[];                         // "Quillon"
constexpr UINT kQuestionBaseStyle = MB_SYSTEMMODAL | MB_SETFOREGROUND;  // 0x11000
constexpr UINT kQuestionStyle = kQuestionBaseStyle | MB_YESNO | MB_ICONQUESTION;  // 0x11024
extern const char kUninstallQuestion[];

// Shows the uninstall question; true only when the user chose Yes.
bool ConfirmUninstall();

// True at once when PromptText is empty; otherwise shows PromptText and is
// true only when the user chose Yes. PromptText is left as it was.
bool ConfirmChange();

// Splits a command line into its verb (the first word; words are separated by
// the space character alone) and the rest (everything after the one space
// that ends the verb, unchanged; empty when no space follows). False when the
// line holds no word, with verb and rest empty.
bool SplitVerb(const Text& line, Text& verb, Text& rest);

#endif  // QUILLON_SETUP_ENTRY_H
