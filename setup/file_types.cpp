#include "file_types.h"

#include <set>

#include "change_journal.h"
#include "registry_access.h"
#include "winapi.h"

// Registry key names compare without regard to case.
static Text FoldKeyName(const Text& name) {
  Text folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// Follows default values from the extension key while the key they name
// exists and has a readable default value of its own. A default value that
// leads back to a key already passed ends the walk on the key that named it:
// that last new key of the chain is taken as the class key.
static Text FindClassKey(const Text& extension) {
  Text key = extension;
  std::set<Text> passed;
  passed.insert(FoldKeyName(key));
  while (Length(key) != 0) {
    Text next;
    if (!QueryRegString(HKEY_CLASSES_ROOT, key, "", next, false)) break;
    if (passed.count(FoldKeyName(next)) != 0) break;
    Text after;
    if (!QueryRegString(HKEY_CLASSES_ROOT, next, "", after, false)) break;
    key = next;
    passed.insert(FoldKeyName(key));
    if (Length(after) == 0) break;
  }
  return key;
}

bool TakeOverOpenCommand(const Text& pathText, const Text& command) {
  // "HIVE\ext\tail": the hive piece is skipped, the tail keeps its backslash.
  const Text remainder = Right(pathText, Length(pathText) - Find(pathText, '\\') - 1);
  const int q = Find(remainder, '\\');
  const Text verbTail = Right(remainder, Length(remainder) - q);
  const Text extension = Left(remainder, q);

  const Text classKey = FindClassKey(extension);
  Text commandKeyPath;
  if (Length(classKey) != 0) {
    commandKeyPath = Format("%s%s", classKey.c_str(), verbTail.c_str());
  } else {
    const Text formatted = Format("%s_auto_file", extension.c_str());
    const Text className = Right(formatted, Length(formatted) - 1);
    WriteRegString(HKEY_CLASSES_ROOT, extension, "", className);
    commandKeyPath = Format("%s%s", className.c_str(), verbTail.c_str());
  }

  if (!RecordOldValue(HKEY_CLASSES_ROOT, commandKeyPath, "")) return false;
  WriteRegString(HKEY_CLASSES_ROOT, commandKeyPath, "", command);

  // class\shell\open\command: "open" becomes the default verb of class\shell.
  Text verbParent = Left(commandKeyPath, ReverseFind(commandKeyPath, '\\'));
  verbParent = Left(verbParent, ReverseFind(verbParent, '\\'));
  const Text verbKey = Left(commandKeyPath, ReverseFind(commandKeyPath, '\\'));
  const Text verbName = Right(verbKey, Length(verbKey) - ReverseFind(verbKey, '\\') - 1);
  WriteRegString(HKEY_CLASSES_ROOT, verbParent, "", verbName);
  return true;
}
