// Shared pieces of the install tests: a machine with handlers registered, and
// the check that a replay after an install put every journalled value back.
#ifndef QUILLON_TESTS_INSTALL_SUPPORT_H
#define QUILLON_TESTS_INSTALL_SUPPORT_H

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>
#include <string>

#include "../journal/registry_listing.h"
#include "entry.h"
#include "seam.h"
#include "support/setup_test.h"

namespace install_test {

const char kInstallText[] = "C:\\Quillon\\q.exe -open \"%1\"";
const char kViewer[] = "C:\\Quillon\\q.exe";
const char kDerPut[] = "C:\\Quillon\\ravmosetup.exe Uninstall C:\\Quillon\\done.exe";

const std::string kViewersKey = "[HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers]";
const std::string kJournalKey = "[HKCU\\Software\\Norvale\\ravmo\\OldRegs]";
const std::string kUninstallKey = "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo]";

// AVI, MPG and PDF have open commands (each is asked about); MOV is not
// registered and ZIP has a class without a command (neither is asked).
const std::string kMachine =
    "[HKCR\\.avi] @ = \"AVIFile\"\n"
    "[HKCR\\AVIFile] @ = \"Video Clip\"\n"
    "[HKCR\\AVIFile\\shell] @ = \"play\"\n"
    "[HKCR\\AVIFile\\shell\\open\\command] @ = \"player.exe /play %1\"\n"
    "[HKCR\\.mpg] @ = \"mpegfile\"\n"
    "[HKCR\\mpegfile] @ = \"\"\n"
    "[HKCR\\mpegfile\\shell\\open\\command] @ = \"player.exe %1\"\n"
    "[HKCR\\.pdf] @ = \"PdfDocument\"\n"
    "[HKCR\\PdfDocument] @ = \"PDF Document\"\n"
    "[HKCR\\PdfDocument\\shell\\open\\command] @ = \"pdfreader.exe %1\"\n"
    "[HKCR\\.zip] @ = \"ZipArchive\"\n"
    "[HKCR\\ZipArchive] @ = \"Zip archive\"\n" +
    kViewersKey + " \"TYPE0\" = \"video/avi\"\n" + kViewersKey + " \"TYPE1\" = \"text/plain\"\n" + kViewersKey +
    " \"video/avi\" = \"aviview.exe\"\n" + kViewersKey + " \"application/pdf\" = \"pdfview.exe\"\n" +
    "[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\" = \"" + kDerPut + "\"\n" +
    "[HKCU\\Software\\Norvale\\Ravmo] \"InstalledDir\" = \"C:\\Quillon\"\n";

inline bool Contains(const std::string& line, const std::string& part) {
  return line.find(part) != std::string::npos;
}

// Key names keep the spelling they were first created with: "Ravmo" from a
// fixture, "ravmo" when the journal created the product key.
inline bool StartsWithIgnoringCase(const std::string& line, const std::string& prefix) {
  if (line.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// Changes an install makes that the journal does not record: default verbs
// (the old one is overwritten for good),
// created classes, type-list entries, the removable-programs entry, the
// journal itself, the removed "DerPut", and keys that writes created.
inline bool NotJournalled(const std::string& line) {
  const bool isValue = Contains(line, "] ");
  if (!isValue) return true;
  return Contains(line, "\\shell] @ = ") || Contains(line, "_auto_file\"") ||
         Contains(line, "Viewers] \"TYPE") || line.compare(0, kUninstallKey.size(), kUninstallKey) == 0 ||
         StartsWithIgnoringCase(line, kJournalKey) ||
         Contains(line, "[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\"");
}

inline std::set<std::string> Lines(const std::string& dump) {
  std::set<std::string> out;
  std::stringstream in(dump);
  std::string line;
  while (std::getline(in, line)) out.insert(line);
  return out;
}

// Compares the registry now with the registry `before` (a dump): every line
// that differs must be a change the journal does not record.
inline void ExpectOnlyUnjournalledChanges(const std::string& before, const std::string& now) {
  const std::set<std::string> a = Lines(before), b = Lines(now);
  for (const std::string& line : a) {
    if (!b.count(line)) {
      EXPECT_TRUE(NotJournalled(line)) << "lost: " << line;
    }
  }
  for (const std::string& line : b) {
    if (!a.count(line)) {
      EXPECT_TRUE(NotJournalled(line)) << "left behind: " << line;
    }
  }
}

class InstallTest : public SetupTest {};

}  // namespace install_test

#endif  // QUILLON_TESTS_INSTALL_SUPPORT_H
