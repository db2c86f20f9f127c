#include "tools_test_util.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "ansi_codepage.h"
#include "reg_keys.h"

namespace tools_test {

std::string Utf16WithBom(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const size_t n = regfile::DecodeUtf8At(utf8, i, &cp);
    if (n == 0) throw std::runtime_error("test input is not UTF-8");
    i += n;
    auto unit = [&](char32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8 & 0xFF));
    };
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

std::string Dump(const std::vector<regfile::Key>& keys) {
  std::ostringstream out;
  for (const regfile::Key& k : keys) {
    out << "[" << k.path << "]\n";
    for (const regfile::Value& v : k.values) {
      out << "  \"" << v.name << "\" type " << v.type << ":";
      char buf[4];
      for (char c : v.data) {
        std::snprintf(buf, sizeof buf, " %02x", static_cast<unsigned char>(c));
        out << buf;
      }
      out << "\n";
    }
  }
  return out.str();
}

std::string DumpTree(regfile::Root root, const std::string& subkey) {
  std::vector<regfile::Key> keys;
  if (regtool::ReadTree(root, subkey, &keys) != ERROR_SUCCESS) return "";
  return Dump(keys);
}

std::string DumpAll() {
  std::string out;
  for (regfile::Root r : {regfile::Root::kLocalMachine, regfile::Root::kCurrentUser, regfile::Root::kUsers,
                          regfile::Root::kCurrentConfig})
    out += DumpTree(r, "");
  return out;
}

}  // namespace tools_test
