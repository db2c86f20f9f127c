// Registries that an install meets, and what the install journals on them:
// a clean machine, and one where other programs already handle every file
// type and MIME type the install takes over.
#ifndef QUILLON_TESTS_RELIABILITY_INSTALL_FIXTURES_H
#define QUILLON_TESTS_RELIABILITY_INSTALL_FIXTURES_H

#include <map>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace reliability {

enum class Machine { kClean, kHandlersPresent };
const char* MachineName(Machine machine);

// The product's command line that every install in these tests is given.
extern const char kInstallText[];
// The command the product's installer leaves in "DerPut".
extern const char kDerPutText[];
// One Yes for every question an install or uninstall may ask.
extern const char kAllYes[];

// The environment that points the programs at a registry file and answers
// every question with Yes.
std::vector<testsupport::Env> RegistryEnv(const std::string& registry);

// Writes the machine's registry through the registry calls of the current
// registry (the seam's private one, or $WINHOST_REGISTRY).
void LoadMachine(Machine machine);

// Every value an install journals on that machine, as listing paths
// ("HKCR\avifile\shell\open\command" and the value name), in a fixed order.
struct Location {
  std::string key;
  std::string value;
};
const std::vector<Location>& JournalledLocations(Machine machine);

// The current content of each location ("<absent>" for a missing one).
std::map<std::string, std::string> Snapshot(Machine machine);

// The lines that differ between two snapshots, for failure messages.
std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after);

}  // namespace reliability

#endif  // QUILLON_TESTS_RELIABILITY_INSTALL_FIXTURES_H
