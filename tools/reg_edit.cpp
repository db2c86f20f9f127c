// add and delete: one value or key at a time, each as one batch. Both refuse
// instead of asking when they would overwrite or delete without /f.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ansi_codepage.h"
#include "batch.h"
#include "reg_cli.h"
#include "reg_keys.h"

namespace regtool {
namespace {

struct TypeName {
  const char* name;
  DWORD type;
};
const TypeName kTypes[] = {
    {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
    {"REG_DWORD", REG_DWORD}, {"REG_QWORD", REG_QWORD},         {"REG_BINARY", REG_BINARY},
    {"REG_NONE", REG_NONE},
};

bool ParseType(std::string s, DWORD* type) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const TypeName& t : kTypes) {
    if (s == t.name) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

// A decimal or 0x-hexadecimal number up to `max`, the whole text.
bool ParseNumber(const std::string& s, unsigned long long max, unsigned long long* out) {
  if (s.empty() || s[0] < '0' || s[0] > '9') return false;
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  errno = 0;
  char* end = nullptr;
  *out = std::strtoull(s.c_str(), &end, hex ? 16 : 10);
  return errno == 0 && *end == '\0' && *out <= max;
}

// The bytes that /t and /d ask for, or a message.
bool BuildData(DWORD type, const std::string& text, const std::string& separator, std::string* data,
               std::string* error) {
  data->clear();
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *data = text + '\0';
      return true;
    case REG_MULTI_SZ: {
      if (text.empty()) {
        *data = std::string(1, '\0');
        return true;
      }
      size_t start = 0;
      for (;;) {
        const size_t end = text.find(separator, start);
        const std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty string would end the list early and lose what follows.
        if (part.empty()) {
          *error = "REG_MULTI_SZ data holds an empty string";
          return false;
        }
        *data += part + '\0';
        if (end == std::string::npos) break;
        start = end + separator.size();
      }
      *data += '\0';
      return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
      const bool dword = type == REG_DWORD;
      unsigned long long v = 0;
      if (!text.empty() && !ParseNumber(text, dword ? 0xFFFFFFFFull : ~0ull, &v)) {
        *error = std::string("bad ") + (dword ? "REG_DWORD" : "REG_QWORD") +
                 " data \"" + text + "\": expected a decimal or 0x hexadecimal number";
        return false;
      }
      for (int i = 0; i < (dword ? 4 : 8); ++i) data->push_back(static_cast<char>(v >> (8 * i) & 0xFF));
      return true;
    }
    default: {
      static const char kDigits[] = "0123456789abcdef0123456789ABCDEF";
      if (text.size() % 2 != 0) {
        *error = "binary data needs an even number of hexadecimal digits";
        return false;
      }
      for (size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (size_t k = i; k < i + 2; ++k) {
          const char* p = text[k] ? std::strchr(kDigits, text[k]) : nullptr;
          if (!p) {
            *error = "bad binary data \"" + text + "\": expected hexadecimal digits";
            return false;
          }
          v = v << 4 | static_cast<int>((p - kDigits) % 16);
        }
        data->push_back(static_cast<char>(v));
      }
      return true;
    }
  }
}

// Ends the batch: commits when err is 0, else rolls back.
LONG EndBatch(LONG err) {
  if (err != ERROR_SUCCESS) {
    winhost::RollbackBatch();
    return err;
  }
  return winhost::CommitBatch();
}

std::string ValueLabel(const Options& o) { return o.Has("v") ? "\"" + o.Get("v") + "\"" : "(Default)"; }

}  // namespace

int AddCommand(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, {{"v", true}, {"ve", false}, {"t", true}, {"s", true}, {"d", true}, {"f", false}}, &o,
                    &error))
    return Fail(error);
  if (o.positional.size() != 1)
    return Fail("add takes one KEY (winhost-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f])");
  if (o.Has("v") && o.Has("ve")) return Fail("/v and /ve exclude each other");
  const bool value = o.Has("v") || o.Has("ve");
  if (!value && (o.Has("t") || o.Has("s") || o.Has("d"))) return Fail("/t, /s and /d need /v NAME or /ve");
  regfile::Root root;
  std::string subkey;
  if (!ParseKeyArgument(o.positional[0], &root, &subkey, &error)) return Fail(error);

  DWORD type = REG_SZ;
  if (o.Has("t") && !ParseType(o.Get("t"), &type)) return Fail("unknown type \"" + o.Get("t") + "\"");
  std::string name, text, separator = "\\0";
  if (!regfile::Utf8ToAnsi(o.Get("v"), &name) || !regfile::Utf8ToAnsi(o.Get("d"), &text) ||
      (o.Has("s") && !regfile::Utf8ToAnsi(o.Get("s"), &separator)))
    return Fail("an argument holds a character that the ANSI code page (Windows-1252) lacks");
  if (o.Has("s") && type != REG_MULTI_SZ) return Fail("/s goes with /t REG_MULTI_SZ only");
  if (o.Has("s") && separator.size() != 1) return Fail("the separator of /s must be one character");
  std::string data;
  if (value && !BuildData(type, text, separator, &data, &error)) return Fail(error);

  LONG err = winhost::BeginBatch();
  if (err != ERROR_SUCCESS) return FailCall("cannot open the registry", err);
  OpenKey key;
  err = key.Open(root, subkey, true);
  if (err != ERROR_SUCCESS) {
    EndBatch(err);
    return FailCall("cannot create " + o.positional[0], err);
  }
  if (value) {
    if (!o.Has("f") && RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == 0) {
      key.Close();
      EndBatch(ERROR_FILE_EXISTS);
      return Fail("the value " + ValueLabel(o) + " exists already; /f overwrites it");
    }
    err = RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
  }
  key.Close();
  err = EndBatch(err);
  if (err != ERROR_SUCCESS) return FailCall("cannot write " + o.positional[0], err);
  return Done();
}

int DeleteCommand(const std::vector<std::string>& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, {{"v", true}, {"ve", false}, {"va", false}, {"f", false}}, &o, &error))
    return Fail(error);
  if (o.positional.size() != 1) return Fail("delete takes one KEY (winhost-reg delete KEY [/v NAME | /ve | /va] [/f])");
  if (o.Has("v") + o.Has("ve") + o.Has("va") > 1) return Fail("/v, /ve and /va exclude each other");
  regfile::Root root;
  std::string subkey;
  if (!ParseKeyArgument(o.positional[0], &root, &subkey, &error)) return Fail(error);
  std::string name;
  if (!regfile::Utf8ToAnsi(o.Get("v"), &name))
    return Fail("the value name holds a character that the ANSI code page (Windows-1252) lacks");
  const bool whole_key = !o.Has("v") && !o.Has("ve") && !o.Has("va");
  if (whole_key && subkey.empty()) return Fail("a root key cannot be deleted");
  if (!o.Has("f")) return Fail("delete asks no questions here: add /f to delete " + o.positional[0]);

  LONG err = winhost::BeginBatch();
  if (err != ERROR_SUCCESS) return FailCall("cannot open the registry", err);
  OpenKey key;
  err = key.Open(root, subkey);
  if (err != ERROR_SUCCESS) {
    EndBatch(err);
    return FailCall("cannot open " + o.positional[0], err);
  }
  if (whole_key) {
    key.Close();
    err = DeleteTree(root, subkey);
  } else if (o.Has("va")) {
    std::vector<regfile::Value> values;
    err = ReadValues(key.get(), &values);
    for (size_t i = 0; err == ERROR_SUCCESS && i < values.size(); ++i)
      err = RegDeleteValueA(key.get(), values[i].name.c_str());
  } else {
    err = RegDeleteValueA(key.get(), name.c_str());
    if (err == ERROR_FILE_NOT_FOUND) {
      key.Close();
      EndBatch(err);
      return Fail("the value " + ValueLabel(o) + " does not exist in " + o.positional[0]);
    }
  }
  key.Close();
  err = EndBatch(err);
  if (err != ERROR_SUCCESS) return FailCall("cannot delete in " + o.positional[0], err);
  return Done();
}

}  // namespace regtool
