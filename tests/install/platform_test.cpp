// The platform name and the removable-programs entry that only Windows 95
// gets, with the "DerPut" command it carries.
#include <string>
#include <vector>

#include "install.h"
#include "install_support.h"

using listing::Get;
using listing::Sz;
using namespace install_test;

namespace {

const char kProduct[] = "HKCU\\Software\\Norvale\\Ravmo";
const char kEntry[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo";

struct PlatformCase {
  const char* env;  // WINHOST_PLATFORM, "" for unset
  const char* name;
};

TEST_F(InstallTest, GetPlatformNameFallsBackToWindows95) {
  const PlatformCase cases[] = {
      {"", "WinNT"}, {"winnt", "WinNT"}, {"win95", "Win95"}, {"fail", "Win95"},
  };
  for (const PlatformCase& c : cases) {
    SCOPED_TRACE(c.env);
    seam::Reset();
    if (*c.env) seam::SetEnv("WINHOST_PLATFORM", c.env);
    EXPECT_EQ(GetPlatformName(), c.name);
  }
}

struct EntryCase {
  const char* what;
  const char* env;
  std::string product;         // the product key's listing lines
  bool entry;                  // the removable-programs entry is written
  std::string uninstallString;
  std::string derPutAfter;     // as Get shows it
};

TEST_F(InstallTest, OnlyWindows95GetsTheRemovableProgramsEntry) {
  const std::string derPut = std::string("[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\" = \"") + kDerPut + "\"\n";
  const std::string longCommand = "C:\\" + std::string(400, 'u') + "\\ravmosetup.exe Uninstall";
  const EntryCase cases[] = {
      {"Windows 95 with DerPut", "win95", derPut, true, kDerPut, "<absent>"},
      {"version query fails", "fail", derPut, true, kDerPut, "<absent>"},
      {"Windows NT", "winnt", derPut, false, "", Sz(kDerPut)},
      {"DerPut missing", "win95", "[HKCU\\Software\\Norvale\\Ravmo] \"InstalledDir\" = \"C:\\Q\"\n", true, "",
       "<absent>"},
      {"product key missing", "win95", "", true, "", "<absent>"},
      // A command too long for the 260-byte read is carried over whole
      // instead of being removed unread.
      {"DerPut of 400 characters", "win95", "[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\" = \"" + longCommand + "\"\n",
       true, longCommand, "<absent>"},
  };
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.what);
    seam::Reset();
    seam::SetEnv("WINHOST_PLATFORM", c.env);
    listing::Load(c.product);
    DoInstall(nullptr, nullptr, kInstallText, SW_SHOW);
    EXPECT_EQ(Get(kEntry, "DisplayName"), c.entry ? Sz("Quillon") : "<absent>");
    EXPECT_EQ(Get(kEntry, "UninstallString"), c.entry ? Sz(c.uninstallString) : "<absent>");
    EXPECT_EQ(Get(kProduct, "DerPut"), c.derPutAfter);
  }
}

TEST_F(InstallTest, TheEntryIsWrittenNameFirstAndDerPutRemovedOnceCopied) {
  seam::SetEnv("WINHOST_PLATFORM", "win95");
  listing::Load(std::string("[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\" = \"") + kDerPut + "\"\n");
  seam::ClearCalls();
  DoInstall(nullptr, nullptr, kInstallText, SW_SHOW);
  std::vector<seam::Call> tail;
  for (const seam::Call& call : seam::RegistryCalls()) {
    const bool valueCall = call.first == "RegQueryValueExA" || call.first == "RegSetValueExA" ||
                           call.first == "RegDeleteValueA";
    if (valueCall && (call.second.find("Uninstall\\ravmo") != std::string::npos ||
                      call.second.find("DerPut") != std::string::npos))
      tail.push_back(call);
  }
  const std::string entry = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ravmo";
  const std::vector<seam::Call> expected = {
      {"RegSetValueExA", entry + "\\DisplayName"},
      {"RegQueryValueExA", "HKEY_CURRENT_USER\\Software\\Norvale\\Ravmo\\DerPut"},
      {"RegSetValueExA", entry + "\\UninstallString"},
      {"RegDeleteValueA", "HKEY_CURRENT_USER\\Software\\Norvale\\Ravmo\\DerPut"},
  };
  EXPECT_EQ(tail, expected);
}

}  // namespace
