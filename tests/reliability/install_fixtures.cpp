#include "install_fixtures.h"

#include "../journal/registry_listing.h"

namespace reliability {
namespace {

const char kViewers[] = "HKCU\\Software\\Netscape\\Netscape Navigator\\Viewers";
const char* const kViewerTypes[] = {"video/avi",       "video/x-msvideo", "video/mpeg",     "video/quicktime",
                                    "application/pdf", "application/zip", "application/dsl"};

// Class keys of the handlers-present machine, one per extension.
const char* const kExtensions[] = {".avi", ".mpg", ".mov", ".pdf", ".zip"};
const char* const kClasses[] = {"avifile", "mpegfile", "QuickTime.mov", "AcroExch.Document", "CompressedFolder"};

std::vector<Location> Locations(bool withClasses) {
  std::vector<Location> out;
  for (int i = 0; i < 5; ++i) {
    const std::string key = withClasses ? kClasses[i] : kExtensions[i];
    out.push_back({"HKCR\\" + key + "\\shell\\open\\command", ""});
  }
  for (const char* type : kViewerTypes) out.push_back({kViewers, type});
  return out;
}

}  // namespace

const char kInstallText[] = "C:\\Program Files\\Quillon\\quillon.exe /open \"%1\"";
const char kDerPutText[] = "C:\\Program Files\\Quillon\\uninst.exe /all";
const char kAllYes[] = "yes,yes,yes,yes,yes,yes,yes,yes";

const char* MachineName(Machine machine) {
  return machine == Machine::kClean ? "clean machine" : "handlers present";
}

void LoadMachine(Machine machine) {
  // Both machines have the product's installer's hand-over value and a
  // bystander value that nothing may touch.
  listing::Load("[HKCU\\Software\\Norvale\\Ravmo] \"DerPut\" = \"" + std::string(kDerPutText) +
                "\"\n"
                "[HKCU\\Software\\Bystander] \"keep\" = \"untouched\"\n");
  if (machine == Machine::kClean) return;
  std::string text;
  for (int i = 0; i < 5; ++i) {
    text += std::string("[HKCR\\") + kExtensions[i] + "] @ = \"" + kClasses[i] + "\"\n";
    text += std::string("[HKCR\\") + kClasses[i] + "] @ = \"" + kClasses[i] + " document\"\n";
    text += std::string("[HKCR\\") + kClasses[i] + "\\shell] @ = \"print\"\n";
    // One command longer than the setup tool's 260-byte reads.
    const std::string command = i == 1 ? "C:\\Old\\mplayer.exe " + std::string(300, 'm') + " \"%1\""
                                       : std::string("C:\\Old\\") + kClasses[i] + ".exe \"%1\"";
    text += std::string("[HKCR\\") + kClasses[i] + "\\shell\\open\\command] @ = \"" + command + "\"\n";
  }
  for (const char* type : kViewerTypes) text += std::string("[") + kViewers + "] \"" + type + "\" = \"C:\\Old\\np-" + type + ".exe\"\n";
  text += std::string("[") + kViewers + "] \"TYPE0\" = \"image/png\"\n";
  text += std::string("[") + kViewers + "] \"TYPE1\" = \"video/avi\"\n";
  listing::Load(text);
}

const std::vector<Location>& JournalledLocations(Machine machine) {
  static const std::vector<Location> clean = Locations(false);
  static const std::vector<Location> present = Locations(true);
  return machine == Machine::kClean ? clean : present;
}

std::map<std::string, std::string> Snapshot(Machine machine) {
  std::map<std::string, std::string> out;
  for (const Location& l : JournalledLocations(machine)) out[l.key + "\\" + l.value] = listing::Get(l.key, l.value);
  out["bystander"] = listing::Get("HKCU\\Software\\Bystander", "keep");
  return out;
}

std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  std::string out;
  for (const auto& [where, was] : before) {
    const auto it = after.find(where);
    const std::string now = it == after.end() ? "<not read>" : it->second;
    if (now != was) out += "  " + where + ": was " + was + ", now " + now + "\n";
  }
  return out;
}

std::vector<testsupport::Env> RegistryEnv(const std::string& registry) {
  return {{"WINHOST_REGISTRY", registry}, {"WINHOST_ANSWERS", kAllYes}};
}

}  // namespace reliability
