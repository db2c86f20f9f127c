// The shell "open" command of a file extension.
#ifndef QUILLON_SETUP_FILE_TYPES_H
#define QUILLON_SETUP_FILE_TYPES_H

#include "text.h"

// Makes `command` the open command of the extension named in `pathText`
// ("HKEY_CLASSES_ROOT\.avi\shell\open\command"; the hive piece is ignored,
// HKEY_CLASSES_ROOT is always used). Follows default values from the
// extension key to its class key, gives the extension a class of its own
// when that walk ends on an empty name, journals the old command and makes
// "open" the class's default verb. False only when the user refused to
// replace an existing command; nothing of the command or verb changed then.
bool TakeOverOpenCommand(const Text& pathText, const Text& command);

#endif  // QUILLON_SETUP_FILE_TYPES_H
