// Runs winhost-reg as a child process on a given registry file.
#ifndef QUILLON_TESTS_TOOLS_CLI_PROCESS_H
#define QUILLON_TESTS_TOOLS_CLI_PROCESS_H

#include <string>
#include <vector>

#include "support/child_process.h"

namespace tools_test {

using RunResult = testsupport::Result;

// Starts the tool with these arguments and $WINHOST_REGISTRY = registry;
// `scratch` is a folder for its captured output.
RunResult RunTool(const std::string& registry, const std::string& scratch, const std::vector<std::string>& args);

}  // namespace tools_test

#endif  // QUILLON_TESTS_TOOLS_CLI_PROCESS_H
