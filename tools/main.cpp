// winhost-reg: query, add, delete, import and export on the hosted registry.
#include <string>
#include <vector>

#include "reg_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return regtool::RunCommandLine(args);
}
