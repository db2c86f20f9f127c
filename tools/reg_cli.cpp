#include "reg_cli.h"

#include <cstdio>

#include "ansi_codepage.h"
#include "reg_keys.h"

namespace regtool {
namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

const char kUsage[] =
    "Usage: winhost-reg COMMAND ...\n"
    "  query KEY [/v NAME | /ve] [/s]\n"
    "  add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  import FILE\n"
    "  export KEY FILE [/y]\n"
    "KEY is ROOT\\SUBKEY; ROOT is HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
    "HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKU) or HKEY_CURRENT_CONFIG (HKCC).\n"
    "TYPE is REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE.\n"
    "The registry is the file $WINHOST_REGISTRY.\n";

}  // namespace

std::string Options::Get(const char* name) const {
  const auto it = switches.find(name);
  return it == switches.end() ? std::string() : it->second;
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<Switch>& known, Options* out,
                  std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const Switch* match = nullptr;
    if (a.size() >= 2 && (a[0] == '/' || a[0] == '-')) {
      const std::string name = LowerAscii(a.substr(1));
      for (const Switch& s : known) {
        if (name == s.name) match = &s;
      }
    }
    if (!match) {
      out->positional.push_back(a);
      continue;
    }
    if (out->Has(match->name)) {
      *error = "the switch " + a + " is given twice";
      return false;
    }
    std::string value;
    if (match->takes_value) {
      if (i + 1 >= args.size()) {
        *error = "the switch " + a + " needs a value";
        return false;
      }
      value = args[++i];
    }
    out->switches[match->name] = value;
  }
  return true;
}

bool ParseKeyArgument(const std::string& arg, regfile::Root* root, std::string* subkey, std::string* error) {
  if (arg.compare(0, 2, "\\\\") == 0) {
    *error = "remote registries are not supported: " + arg;
    return false;
  }
  std::string ansi;
  if (!regfile::Utf8ToAnsi(arg, &ansi)) {
    *error = "the key name holds a character that the ANSI code page (Windows-1252) lacks: " + arg;
    return false;
  }
  if (!regfile::SplitKeyPath(ansi, root, subkey, error)) {
    *error = "bad key \"" + arg + "\": " + regfile::AnsiToUtf8(*error);
    return false;
  }
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "winhost-reg: ERROR: %s\n", message.c_str());
  return 1;
}

int FailCall(const std::string& what, LONG error) { return Fail(what + ": " + ErrorText(error)); }

int Done() {
  std::printf("The operation completed successfully.\n");
  return 0;
}

int RunCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string command = LowerAscii(args[0]);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "/?" || command == "-?" || command == "-h" || command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "query") return QueryCommand(rest);
  if (command == "add") return AddCommand(rest);
  if (command == "delete") return DeleteCommand(rest);
  if (command == "import") return ImportCommand(rest);
  if (command == "export") return ExportCommand(rest);
  return Fail("unknown command \"" + args[0] + "\" (try winhost-reg /?)");
}

}  // namespace regtool
