#include "regfile_write.h"

#include <cstdio>

#include "ansi_codepage.h"

namespace regfile {
namespace {

// Hex lines end with a backslash at or before this column, so that a
// continuation line holds 25 bytes.
constexpr size_t kHexWrapColumn = 77;

class Out {
 public:
  explicit Out(std::string* bytes) : b_(bytes) {}

  void Unit(char16_t u) {
    b_->push_back(static_cast<char>(u & 0xFF));
    b_->push_back(static_cast<char>(u >> 8));
    ++column_;
  }
  void Ascii(const char* s) {
    while (*s) Unit(static_cast<unsigned char>(*s++));
  }
  void Ansi(const std::string& s) {
    for (char c : s) Unit(static_cast<char16_t>(AnsiToUnicode(static_cast<unsigned char>(c))));
  }
  void Escaped(const std::string& s) {
    Unit('"');
    for (char c : s) {
      if (c == '\\' || c == '"') Unit('\\');
      Unit(static_cast<char16_t>(AnsiToUnicode(static_cast<unsigned char>(c))));
    }
    Unit('"');
  }
  void NewLine() {
    Ascii("\r\n");
    column_ = 0;
  }
  size_t column() const { return column_; }

 private:
  std::string* b_;
  size_t column_ = 0;
};

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool IsPlainString(const std::string& d) {
  return !d.empty() && d.back() == '\0' && d.find('\0') == d.size() - 1 && !HasLineBreak(d);
}

// What the Unicode registry holds for a value of a string type: its ANSI
// bytes widened one by one.
std::string WideBytes(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (char c : ansi) {
    const char32_t u = AnsiToUnicode(static_cast<unsigned char>(c));
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

void HexData(Out* out, const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    out->Unit(kDigits[b >> 4]);
    out->Unit(kDigits[b & 15]);
    if (i + 1 == bytes.size()) break;
    out->Unit(',');
    if (out->column() + 3 > kHexWrapColumn) {
      out->Unit('\\');
      out->NewLine();
      out->Ascii("  ");
    }
  }
}

void WriteValue(Out* out, const Value& v) {
  if (v.name.empty()) out->Unit('@');
  else out->Escaped(v.name);
  out->Unit('=');
  if (v.type == 1 && IsPlainString(v.data)) {
    out->Escaped(v.data.substr(0, v.data.size() - 1));
  } else if (v.type == 4 && v.data.size() == 4) {
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = d << 8 | static_cast<unsigned char>(v.data[i]);
    char buf[24];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    out->Ascii(buf);
  } else {
    char buf[24];
    if (v.type == 3) std::snprintf(buf, sizeof buf, "hex:");
    else std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    out->Ascii(buf);
    const bool text = v.type == 1 || v.type == 2 || v.type == 7;
    HexData(out, text ? WideBytes(v.data) : v.data);
  }
  out->NewLine();
}

}  // namespace

bool WriteRegFile(const std::vector<Key>& keys, std::string* bytes, std::string* error) {
  for (const Key& k : keys) {
    if (HasLineBreak(k.path)) {
      *error = "the key name cannot be written to a .reg file (it holds a line break): " + k.path;
      return false;
    }
    for (const Value& v : k.values) {
      if (HasLineBreak(v.name)) {
        *error = "the value name cannot be written to a .reg file (it holds a line break): " + k.path;
        return false;
      }
    }
  }
  bytes->assign("\xFF\xFE");
  Out out(bytes);
  out.Ascii("Windows Registry Editor Version 5.00");
  out.NewLine();
  out.NewLine();
  for (const Key& k : keys) {
    out.Unit('[');
    out.Ansi(k.path);
    out.Unit(']');
    out.NewLine();
    for (const Value& v : k.values) WriteValue(&out, v);
    out.NewLine();
  }
  return true;
}

}  // namespace regfile
