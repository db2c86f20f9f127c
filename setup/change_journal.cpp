#include "change_journal.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "entry.h"
#include "registry_access.h"

const char kChangeJournalKey[] = "Software\\Norvale\\ravmo\\OldRegs";

// Sizes of the first enumeration attempt, and the longest value name the
// registry allows (16383 characters and the terminating zero).
static const DWORD kEntryNameStart = 260;
static const DWORD kEntryDataStart = 260;
static const DWORD kEntryNameLimit = 16384;

// A value that QueryRegString cannot read may still exist, too long for its
// 260 bytes: the whole read tells the two apart.
static bool ReadValue(HKEY hive, const Text& keyPath, const Text& valueName, Text& text) {
  return QueryRegString(hive, keyPath, valueName, text, false) ||
         QueryRegStringWhole(hive, keyPath, valueName, text);
}

bool RecordOldValue(HKEY hive, const Text& keyPath, const Text& valueName) {
  const Text entryName = FormatRegPath(hive, keyPath, valueName);
  Text oldContent;
  // Only a value that exists is asked about; an absent one is journalled
  // with empty data, the mark that the replay is to delete it.
  if (ReadValue(hive, keyPath, valueName, oldContent) && !ConfirmChange()) return false;
  // An entry is written once: it keeps the content from before the first
  // change, however long that content is.
  Text scratch;
  if (ReadValue(HKEY_CURRENT_USER, kChangeJournalKey, entryName, scratch)) return true;
  // A value whose old content could not be saved is not replaced: the
  // uninstall could not put it back.
  return WriteRegString(HKEY_CURRENT_USER, kChangeJournalKey, entryName, oldContent);
}

enum EntryRead { kEntryRead, kEntrySkipped, kEntriesEnd };

// Reads the journal entry at `index` whole. An entry too long for the first
// buffers is read again with larger ones; one that still cannot be read is
// skipped, so that it does not hide the entries after it.
static EntryRead ReadEntry(HKEY journal, DWORD index, Text& name, Text& data) {
  DWORD nameCapacity = kEntryNameStart;
  DWORD dataCapacity = kEntryDataStart;
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::unique_ptr<char[]> nameBuffer(new (std::nothrow) char[nameCapacity]);
    std::unique_ptr<BYTE[]> dataBuffer(new (std::nothrow) BYTE[dataCapacity]);
    if (!nameBuffer || !dataBuffer) return kEntrySkipped;
    DWORD nameSize = nameCapacity;
    DWORD dataSize = dataCapacity;
    DWORD type = 0;
    const LONG status = RegEnumValueA(journal, index, nameBuffer.get(), &nameSize, nullptr, &type,
                                      dataBuffer.get(), &dataSize);
    if (status == ERROR_SUCCESS) {
      name = TextOfBytes(nameBuffer.get(), nameSize, nameCapacity);
      data = TextOfBytes(dataBuffer.get(), dataSize, dataCapacity);
      return kEntryRead;
    }
    if (status != ERROR_MORE_DATA) return kEntriesEnd;
    // The data size comes back as needed; the name's does not, so the name
    // buffer grows step by step up to the registry's limit.
    if (dataSize > dataCapacity) {
      dataCapacity = dataSize;
    } else if (nameCapacity < kEntryNameLimit) {
      nameCapacity = nameCapacity * 2 < kEntryNameLimit ? nameCapacity * 2 : kEntryNameLimit;
    } else {
      return kEntrySkipped;
    }
  }
  return kEntrySkipped;
}

void RestoreOldValues() {
  HKEY journal = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kChangeJournalKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &journal, &disposition) != ERROR_SUCCESS)
    return;
  // The whole journal is read before anything is put back: an entry that
  // names the journal key itself could otherwise shift the indices of the
  // walk and hide the entries after it.
  std::vector<std::pair<Text, Text>> entries;
  for (DWORD index = 0;; ++index) {
    Text name;
    Text data;
    const EntryRead read = ReadEntry(journal, index, name, data);
    if (read == kEntriesEnd) break;
    if (read == kEntryRead) entries.emplace_back(std::move(name), std::move(data));
  }
  RegCloseKey(journal);

  for (const auto& entry : entries) {
    // ParseRegPath assigns nothing to a name without a hive part: such an
    // entry is skipped instead of acting on the previous entry's target.
    HKEY hive = nullptr;
    Text keyPath;
    Text valueName;
    ParseRegPath(entry.first, hive, keyPath, valueName);
    if (hive == nullptr) continue;
    if (Length(entry.second) == 0) {
      DeleteRegValue(hive, keyPath, valueName);
    } else {
      WriteRegString(hive, keyPath, valueName, entry.second);
    }
  }
}
