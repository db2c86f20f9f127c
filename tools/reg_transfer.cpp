// import and export: .reg files to and from the registry. An import is
// checked whole before it is applied, and applied as one batch.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "reg_cli.h"
#include "reg_keys.h"

namespace regtool {
namespace {

bool ReadFile(const std::string& path, std::string* bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->append(buf, n);
  const bool failed = std::ferror(f) != 0;
  const int saved = errno;
  std::fclose(f);
  if (failed) *error = "cannot read " + path + ": " + std::strerror(saved);
  return !failed;
}

// Writes the whole file; without `overwrite` an existing file is refused.
// A file left half written is removed.
bool WriteFile(const std::string& path, const std::string& bytes, bool overwrite, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), overwrite ? "wb" : "wbx");
  if (!f) {
    if (errno == EEXIST) *error = path + " exists already; /y overwrites it";
    else *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  const int saved = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    *error = "cannot write " + path + ": " + std::strerror(saved);
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace

int ImportCommand(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, {}, &o, &error)) return Fail(error);
  if (o.positional.size() != 1) return Fail("import takes one FILE (winhost-reg import FILE)");
  const std::string& path = o.positional[0];
  std::string bytes;
  if (!ReadFile(path, &bytes, &error)) return Fail(error);
  std::vector<regfile::Entry> entries;
  regfile::ParseError parse_error;
  if (!regfile::ParseRegFile(bytes, &entries, &parse_error))
    return Fail(path + ":" + std::to_string(parse_error.line) + ": " + parse_error.message +
                "; nothing was imported");
  int line = 0;
  const LONG err = ApplyEntries(entries, &line);
  if (err != ERROR_SUCCESS) {
    const std::string where = line ? path + ":" + std::to_string(line) : path;
    return FailCall(where + ": cannot import, nothing was changed", err);
  }
  return Done();
}

int ExportCommand(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, {{"y", false}}, &o, &error)) return Fail(error);
  if (o.positional.size() != 2) return Fail("export takes KEY and FILE (winhost-reg export KEY FILE [/y])");
  regfile::Root root;
  std::string subkey;
  if (!ParseKeyArgument(o.positional[0], &root, &subkey, &error)) return Fail(error);
  std::vector<regfile::Key> keys;
  const LONG err = ReadTree(root, subkey, &keys);
  if (err != ERROR_SUCCESS) return FailCall("cannot read " + o.positional[0], err);
  std::string bytes;
  if (!regfile::WriteRegFile(keys, &bytes, &error)) return Fail(error);
  if (!WriteFile(o.positional[1], bytes, o.Has("y"), &error)) return Fail(error);
  return Done();
}

}  // namespace regtool
