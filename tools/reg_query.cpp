// query: a key's values (and subkeys) in the layout of the Windows reg tool.
#include <cstdio>

#include "ansi_codepage.h"
#include "reg_cli.h"
#include "reg_keys.h"

namespace regtool {
namespace {

std::string TypeName(uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < sizeof kNames / sizeof kNames[0]) return kNames[type];
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(type));
  return buf;
}

uint64_t LittleEndian(const std::string& d) {
  uint64_t v = 0;
  for (size_t i = d.size(); i-- > 0;) v = v << 8 | static_cast<unsigned char>(d[i]);
  return v;
}

std::string DataText(uint32_t type, const std::string& d) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return d.substr(0, d.find('\0'));
    case REG_MULTI_SZ: {
      // The strings joined by a literal "\0", as the reg tool shows them.
      std::string out;
      size_t start = 0;
      while (start < d.size() && d[start] != '\0') {
        size_t end = d.find('\0', start);
        if (end == std::string::npos) end = d.size();
        if (start) out += "\\0";
        out += d.substr(start, end - start);
        start = end + 1;
      }
      return out;
    }
    case REG_DWORD:
      if (d.size() != 4) break;
      std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(LittleEndian(d)));
      return buf;
    case REG_QWORD:
      if (d.size() != 8) break;
      std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(LittleEndian(d)));
      return buf;
    default: break;
  }
  std::string out;
  for (char c : d) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

void PrintValue(const regfile::Value& v) {
  const std::string name = v.name.empty() ? "(Default)" : regfile::AnsiToUtf8(v.name);
  std::printf("    %s    %s    %s\n", name.c_str(), TypeName(v.type).c_str(),
              regfile::AnsiToUtf8(DataText(v.type, v.data)).c_str());
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const regfile::Value* FindValue(const regfile::Key& key, const std::string& name) {
  for (const regfile::Value& v : key.values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

}  // namespace

int QueryCommand(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, {{"v", true}, {"ve", false}, {"s", false}}, &o, &error)) return Fail(error);
  if (o.positional.size() != 1) return Fail("query takes one KEY (winhost-reg query KEY [/v NAME | /ve] [/s])");
  if (o.Has("v") && o.Has("ve")) return Fail("/v and /ve exclude each other");
  regfile::Root root;
  std::string subkey;
  if (!ParseKeyArgument(o.positional[0], &root, &subkey, &error)) return Fail(error);
  const bool one_value = o.Has("v") || o.Has("ve");
  std::string name;
  if (o.Has("v") && !regfile::Utf8ToAnsi(o.Get("v"), &name))
    return Fail("the value name holds a character that the ANSI code page (Windows-1252) lacks");

  std::vector<regfile::Key> keys;
  if (o.Has("s")) {
    const LONG err = ReadTree(root, subkey, &keys);
    if (err != ERROR_SUCCESS) return FailCall("cannot read " + o.positional[0], err);
  } else {
    regfile::Key k;
    LONG err = StoredPath(root, subkey, &k.path);
    OpenKey key;
    if (err == ERROR_SUCCESS) err = key.Open(root, subkey);
    if (err == ERROR_SUCCESS) err = ReadValues(key.get(), &k.values);
    if (err != ERROR_SUCCESS) return FailCall("cannot read " + o.positional[0], err);
    keys.push_back(std::move(k));
  }

  if (one_value) {
    bool found = false;
    for (const regfile::Key& k : keys) {
      const regfile::Value* v = FindValue(k, name);
      if (!v) continue;
      if (!found) std::printf("\n");
      found = true;
      std::printf("%s\n", regfile::AnsiToUtf8(k.path).c_str());
      PrintValue(*v);
      std::printf("\n");
    }
    if (!found)
      return Fail("the value " + (name.empty() ? std::string("(Default)") : "\"" + o.Get("v") + "\"") +
                  " does not exist in " + o.positional[0]);
    return 0;
  }

  std::printf("\n");
  for (const regfile::Key& k : keys) {
    std::printf("%s\n", regfile::AnsiToUtf8(k.path).c_str());
    for (const regfile::Value& v : k.values) PrintValue(v);
    std::printf("\n");
  }
  if (!o.Has("s")) {
    OpenKey key;
    std::vector<std::string> names;
    LONG err = key.Open(root, subkey);
    if (err == ERROR_SUCCESS) err = ReadSubkeyNames(key.get(), &names);
    if (err != ERROR_SUCCESS) return FailCall("cannot read " + o.positional[0], err);
    for (const std::string& n : names) std::printf("%s\\%s\n", regfile::AnsiToUtf8(keys[0].path).c_str(),
                                                   regfile::AnsiToUtf8(n).c_str());
  }
  return 0;
}

}  // namespace regtool
