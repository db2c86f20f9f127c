#include "browser_viewers.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "change_journal.h"
#include "registry_access.h"
#include "winapi.h"

const char kNetscapeViewersKey[] = "Software\\Netscape\\Netscape Navigator\\Viewers";

// Bytes that one type-list entry is read into at first.
static const DWORD kTypeEntryBuffer = 128;

static Text TextOf(const BYTE* bytes, DWORD size) {
  const void* zero = std::memchr(bytes, 0, size);
  const size_t length = zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - bytes) : size;
  return Text(reinterpret_cast<const char*>(bytes), length);
}

// Reads one type-list entry as text, whole. ERROR_FILE_NOT_FOUND means the
// list ends here; any other failure leaves the entry's presence unknown.
static LONG ReadTypeEntry(HKEY key, const Text& name, Text& text) {
  BYTE buffer[kTypeEntryBuffer];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer, &size);
  if (status == ERROR_SUCCESS) {
    text = TextOf(buffer, size < sizeof buffer ? size : sizeof buffer);
    return ERROR_SUCCESS;
  }
  // Too long for the buffer: read again with the size the registry needs
  // (again when the value grew in between, a few times at most).
  for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 8; ++attempt) {
    const DWORD capacity = size > kTypeEntryBuffer ? size : kTypeEntryBuffer;
    std::unique_ptr<BYTE[]> whole(new (std::nothrow) BYTE[capacity]);
    if (!whole) return ERROR_NOT_ENOUGH_MEMORY;
    size = capacity;
    status = RegQueryValueExA(key, name.c_str(), nullptr, &type, whole.get(), &size);
    if (status == ERROR_SUCCESS) text = TextOf(whole.get(), size < capacity ? size : capacity);
  }
  return status;
}

void AddNetscapeType(const Text& mimeType) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kNetscapeViewersKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (int n = 0; n < INT_MAX; ++n) {
    const Text name = Format("TYPE%d", n);
    Text listed;
    const LONG status = ReadTypeEntry(key, name, listed);
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
