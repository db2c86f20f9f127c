#include "browser_viewers.h"

#include <climits>

#include "change_journal.h"
#include "registry_access.h"
#include "winapi.h"

const char kNetscapeViewersKey[] = "Software\\Netscape\\Netscape Navigator\\Viewers";

// Bytes that one type-list entry is read into at first.
static const DWORD kTypeEntryBuffer = 128;

void AddNetscapeType(const Text& mimeType) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kNetscapeViewersKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (int n = 0; n < INT_MAX; ++n) {
    const Text name = Format("TYPE%d", n);
    Text listed;
    // Read whole: an entry too long for the 128 bytes is read again at its own
    // size. ERROR_FILE_NOT_FOUND means the list ends here.
    const LONG status = ReadValueText(key, name, kTypeEntryBuffer, listed);
    if (status == ERROR_FILE_NOT_FOUND) {
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(mimeType.c_str()),
                     static_cast<DWORD>(Length(mimeType) + 1));
      break;
    }
    if (status == ERROR_SUCCESS) {
      if (TextEquals(listed, mimeType)) break;
      continue;
    }
    // An entry that exists but cannot be read is neither overwritten nor
    // taken for the end of the list.
    if (status == ERROR_MORE_DATA || status == ERROR_NOT_ENOUGH_MEMORY) continue;
    // Any other failure: whether the entry exists is unknown, and writing
    // could replace an entry that is not journalled.
    break;
  }
  RegCloseKey(key);
}

void SetNetscapeViewer(const Text& mimeType, const Text& program) {
  if (!RecordOldValue(HKEY_CURRENT_USER, kNetscapeViewersKey, mimeType)) return;
  WriteRegString(HKEY_CURRENT_USER, kNetscapeViewersKey, mimeType, program);
}
