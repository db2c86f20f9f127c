// The uninstall sequence: put the journalled registry values back, clear the
// product's working folders and data files, delete its registry keys and
// removable-programs entry, its Start-menu folder and desktop shortcut. No
// step reports anything and no failure stops the sequence.
#include "uninstall.h"

#include "change_journal.h"
#include "registry_access.h"

static const char kProductKey[] = "Software\\Norvale\\Ravmo";
static const char kCompanyKey[] = "Software\\Norvale";
static const char kRemovableProgramsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

static bool IsReparsePoint(const Text& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A folder path read from the registry; an empty one would put every later
// path at the root of the current drive, so it counts as unreadable.
static bool ReadFolder(const char* keyPath, const char* valueName, Text& folder) {
  return QueryRegString(HKEY_CURRENT_USER, keyPath, valueName, folder, false) && Length(folder) > 0;
}

// Makes a data file deletable whatever its attributes, then deletes it. A link
// in its place is deleted itself; its target keeps its attributes.
static void DeleteDataFile(const Text& path) {
  if (!IsReparsePoint(path)) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

bool RemoveDirFiles(Text directory) {
  // A link (a junction, on Windows) leads out of the product's folders: what
  // lies behind it is not the product's to delete.
  if (IsReparsePoint(directory)) return true;

  const Text pattern = directory + "\\*.*";
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      // Plain files only: a folder, a link, or a read-only, hidden or system
      // file stays, and with it the folder.
      const DWORD attributes = entry.dwFileAttributes;
      if (attributes == 0 || attributes == FILE_ATTRIBUTE_NORMAL || attributes == FILE_ATTRIBUTE_ARCHIVE) {
        DeleteFileA(Format("%s\\%s", directory.c_str(), entry.cFileName).c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(directory.c_str());
  return true;
}

void DoUninstall(HINSTANCE, HINSTANCE, const Text&, int) {
  // The journal is replayed while its key still exists.
  RestoreOldValues();

  Text productFolder;
  if (ReadFolder(kProductKey, "InstalledDir", productFolder)) {
    RemoveDirFiles(productFolder + "\\temp");
    RemoveDirFiles(productFolder + "\\data");
    DeleteDataFile(productFolder + "\\ravmodat.clt");
    DeleteDataFile(productFolder + "\\veskdata.clt");
  }

  // The journal key lies below the product key: it goes first, on platforms
  // that refuse to delete a key with subkeys.
  DeleteRegSubKey(HKEY_CURRENT_USER, kProductKey, "OldRegs");
  DeleteRegSubKey(HKEY_CURRENT_USER, kCompanyKey, "Ravmo");
  DeleteRegSubKey(HKEY_LOCAL_MACHINE, kRemovableProgramsKey, "ravmo");

  Text desktop;
  Text programs;
  const bool haveDesktop = ReadFolder(kShellFoldersKey, "Desktop", desktop);
  const bool havePrograms = ReadFolder(kShellFoldersKey, "Programs", programs);
  if (havePrograms) RemoveDirFiles(programs + "\\Quillon");
  // The shortcut is deleted as it is: where the platform refuses to delete a
  // read-only file, a read-only shortcut stays.
  if (haveDesktop) DeleteFileA((desktop + "\\Quillon.lnk").c_str());
}
