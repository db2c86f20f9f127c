#include "install.h"

#include "browser_viewers.h"
#include "entry.h"
#include "file_types.h"
#include "registry_access.h"

namespace {

struct FileTypeRow {
  const char* question;
  const char* pathText;
  const char* mimeTypes[2];  // unused slots are null
};

const FileTypeRow kFileTypes[] = {
    {"Would you like the Quillon to handle AVI files?", "HKEY_CLASSES_ROOT\\.avi\\shell\\open\\command",
     {"video/avi", "video/x-msvideo"}},
    {"Would you like the Quillon to handle MPG files?", "HKEY_CLASSES_ROOT\\.mpg\\shell\\open\\command",
     {"video/mpeg", nullptr}},
    {"Would you like the Quillon to handle MOV (QuickTime) files?",
     "HKEY_CLASSES_ROOT\\.mov\\shell\\open\\command", {"video/quicktime", nullptr}},
    {"Would you like the Quillon to handle PDF (Adobe Acrobat) files?",
     "HKEY_CLASSES_ROOT\\.pdf\\shell\\open\\command", {"application/pdf", nullptr}},
    {"Would you like the Quillon to handle ZIP (Compressed) files?",
     "HKEY_CLASSES_ROOT\\.zip\\shell\\open\\command", {"application/zip", nullptr}},
};

const char* const kTypeListAdditions[] = {"video/avi", "application/dsl", "video/quicktime", "application/pdf",
                                          "application/zip"};

const char kAlwaysHandledType[] = "application/dsl";
const char kUninstallEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo";
const char kProductKey[] = "Software\\Norvale\\Ravmo";

}  // namespace

Text GetPlatformName() {
  Text name = "Win95";
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = 148;
  if (GetVersionExA(&info)) {
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) name = "Win95";
    else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) name = "WinNT";
  }
  return name;
}

void DoInstall(HINSTANCE, HINSTANCE, const Text& installText, int) {
  // An empty install text names no program: writing it would leave every
  // file type with an open command that opens nothing.
  if (installText.find_first_not_of(" \t") == Text::npos) return;
  const int space = Find(installText, ' ');
  const Text viewerProgram = space > 0 ? Left(installText, space) : Text();
  const Text& openCommand = installText;

  for (const FileTypeRow& row : kFileTypes) {
    PromptText = row.question;
    if (!TakeOverOpenCommand(row.pathText, openCommand)) continue;
    // The viewers of a type the user accepted are set without asking again.
    PromptText = Text();
    for (const char* mimeType : row.mimeTypes) {
      if (mimeType) SetNetscapeViewer(mimeType, viewerProgram);
    }
  }
  PromptText = Text();

  for (const char* mimeType : kTypeListAdditions) AddNetscapeType(mimeType);
  SetNetscapeViewer(kAlwaysHandledType, viewerProgram);

  // Only Windows 95 keeps the removable-programs entry written here.
  if (TextEquals(GetPlatformName(), "Win95")) {
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "DisplayName", "Quillon");
    Text uninstallText;
    // A command too long for the 260-byte read is read whole: it is removed
    // from the product key right after, and would otherwise be lost.
    if (!QueryRegString(HKEY_CURRENT_USER, kProductKey, "DerPut", uninstallText, true))
      QueryRegStringWhole(HKEY_CURRENT_USER, kProductKey, "DerPut", uninstallText);
    // The command is in the removable-programs entry before it leaves the
    // product key, so an install that ends in between, or a write that
    // fails, never loses it.
    if (WriteRegString(HKEY_LOCAL_MACHINE, kUninstallEntryKey, "UninstallString", uninstallText))
      DeleteRegValue(HKEY_CURRENT_USER, kProductKey, "DerPut");
  }
}
