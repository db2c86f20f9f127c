#include "cli_process.h"

namespace tools_test {

RunResult RunTool(const std::string& registry, const std::string& scratch, const std::vector<std::string>& args) {
  std::vector<std::string> argv{WINHOST_REG_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::RunProgram(argv, {{"WINHOST_REGISTRY", registry}}, scratch);
}

}  // namespace tools_test
