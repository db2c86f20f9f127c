// The Netscape Navigator viewer registrations: the browser's numbered type
// list and one viewer program per MIME type.
#ifndef QUILLON_SETUP_BROWSER_VIEWERS_H
#define QUILLON_SETUP_BROWSER_VIEWERS_H

#include "text.h"

extern const char kNetscapeViewersKey[];  // HKEY_CURRENT_USER "Software\Netscape\Netscape Navigator\Viewers"

// Enters `mimeType` in the type list (TYPE0, TYPE1, ...) at the first free
// number unless it is listed before that gap already. Does nothing when the
// browser's key does not exist; never creates it.
void AddNetscapeType(const Text& mimeType);

// Makes `program` the viewer of `mimeType` after the change journal has
// recorded the old viewer; writes nothing when the user refused. Creates the
// browser's key when it is missing.
void SetNetscapeViewer(const Text& mimeType, const Text& program);

#endif  // QUILLON_SETUP_BROWSER_VIEWERS_H
