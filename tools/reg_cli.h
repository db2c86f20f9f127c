// The command line of winhost-reg: its switches, its key arguments, its
// messages, and the five commands.
#ifndef QUILLON_TOOLS_REG_CLI_H
#define QUILLON_TOOLS_REG_CLI_H

#include <map>
#include <string>
#include <vector>

#include "regfile_keypath.h"
#include "winapi.h"

namespace regtool {

struct Switch {
  const char* name;  // without its "/" or "-", in lower case
  bool takes_value;
};

struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::string> switches;  // name -> value ("" for a flag)

  bool Has(const char* name) const { return switches.count(name) != 0; }
  std::string Get(const char* name) const;
};

// Splits the arguments after the command into positional ones and the known
// switches ("/v" or "-v", any case). A switch that is given twice or lacks
// its value is an error; an argument that is not a known switch (such as
// "/tmp/file.reg") is positional.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<Switch>& known, Options* out,
                  std::string* error);

// Reads a KEY argument (console UTF-8) into its root and ANSI subkey path.
bool ParseKeyArgument(const std::string& arg, regfile::Root* root, std::string* subkey, std::string* error);

// Prints "winhost-reg: ERROR: message" on stderr and returns the exit code 1.
int Fail(const std::string& message);
// The same for a failed registry call.
int FailCall(const std::string& what, LONG error);
// Prints the success line on stdout and returns 0.
int Done();

int QueryCommand(const std::vector<std::string>& args);
int AddCommand(const std::vector<std::string>& args);
int DeleteCommand(const std::vector<std::string>& args);
int ImportCommand(const std::vector<std::string>& args);
int ExportCommand(const std::vector<std::string>& args);

// The whole tool: argv without the program name; returns the exit code.
int RunCommandLine(const std::vector<std::string>& args);

}  // namespace regtool

#endif  // QUILLON_TOOLS_REG_CLI_H
