// The updater's command line: process id, target, new file and command.
#ifndef QUILLON_UPDATER_COMMAND_LINE_H
#define QUILLON_UPDATER_COMMAND_LINE_H

#include "text.h"

// The positions read from one command line. `present` counts them (0 to 4);
// they are always the first `present` ones, and an absent position is "".
struct UpdaterArguments {
  int present = 0;
  Text processId;
  Text target;
  Text newFile;
  Text command;
};

// Splits the text that follows the program's name. Positions 1 to 3 are
// separated by blanks and commas, any run of them before each position is
// skipped, and the one that ends a position is consumed. The command is the
// untouched rest of the line after position 3's delimiter, present only when
// something is left there.
UpdaterArguments ReadUpdaterArguments(const Text& line);

#endif  // QUILLON_UPDATER_COMMAND_LINE_H
