// Registry key paths as .reg files and the command line write them: a root
// name ("HKEY_CURRENT_USER" or "HKCU", any case), then the subkey path after a
// backslash.
#ifndef QUILLON_TOOLS_REGFILE_KEYPATH_H
#define QUILLON_TOOLS_REGFILE_KEYPATH_H

#include <string>

namespace regfile {

enum class Root { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// The long name of a root ("HKEY_CLASSES_ROOT").
const char* RootName(Root root);

// Reads a root name, long or short, in any case.
bool ParseRootName(const std::string& name, Root* root);

// Splits "ROOT\a\b" (or "ROOT" alone; one trailing backslash is allowed) into
// its root and the subkey path "a\b". Fails with a message for an unknown
// root or a subkey path with an empty component or one over 255 bytes, which
// the registry would refuse.
bool SplitKeyPath(const std::string& path, Root* root, std::string* subkey, std::string* error);

// "ROOT\subkey", or the root's name alone for the empty subkey.
std::string JoinKeyPath(Root root, const std::string& subkey);

}  // namespace regfile

#endif  // QUILLON_TOOLS_REGFILE_KEYPATH_H
