#include "regfile_parse.h"

#include <cstdio>

#include "ansi_codepage.h"

namespace regfile {
namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

bool IsBlank(char32_t c) { return c == ' ' || c == '\t'; }

int HexDigit(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// Messages are plain ASCII, whatever bytes a file quotes into them.
std::string Printable(const std::string& s) {
  std::string out;
  for (char c : s) out += (c >= 0x20 && c < 0x7f) ? c : '?';
  return out;
}

int LineAt(const std::u32string& text) {
  int line = 1;
  for (char32_t c : text) line += c == '\n';
  return line;
}

bool DecodeUtf16(const std::string& b, size_t i, std::u32string* out, ParseError* err) {
  for (; i + 1 < b.size(); i += 2) {
    char32_t u = static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8;
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < b.size()) {
      const char32_t low = static_cast<unsigned char>(b[i + 2]) | static_cast<unsigned char>(b[i + 3]) << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        out->push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) {
      *err = {LineAt(*out), "invalid UTF-16 (a lone surrogate)"};
      return false;
    }
    out->push_back(u);
  }
  if (i < b.size()) {
    *err = {LineAt(*out), "invalid UTF-16 (an odd number of bytes)"};
    return false;
  }
  return true;
}

bool DecodeUtf8(const std::string& b, size_t i, std::u32string* out, ParseError* err) {
  while (i < b.size()) {
    char32_t cp;
    const size_t n = DecodeUtf8At(b, i, &cp);
    if (n == 0) {
      *err = {LineAt(*out), "invalid UTF-8"};
      return false;
    }
    out->push_back(cp);
    i += n;
  }
  return true;
}

// True when the first line that is not blank is the REGEDIT4 header: such a
// file (without a byte-order mark) is ANSI, any other is UTF-8.
bool LooksLikeRegedit4(const std::string& b) {
  size_t i = 0;
  while (i < b.size() && (b[i] == '\r' || b[i] == '\n' || b[i] == ' ' || b[i] == '\t')) ++i;
  if (b.compare(i, sizeof kHeader4 - 1, kHeader4) != 0) return false;
  for (i += sizeof kHeader4 - 1; i < b.size() && b[i] != '\n'; ++i) {
    if (b[i] != '\r' && b[i] != ' ' && b[i] != '\t') return false;
  }
  return true;
}

class Parser {
 public:
  Parser(const std::u32string& text, std::vector<Entry>* out, ParseError* err)
      : t_(text), out_(out), err_(err) {}

  bool Run() {
    bool header = false;
    while (NextLine()) {
      if (pos_ == end_) continue;
      if (!header) {
        const std::u32string line = t_.substr(pos_, end_ - pos_);
        if (line == std::u32string(kHeader5, kHeader5 + sizeof kHeader5 - 1)) {
          unicode_ = true;
        } else if (line == std::u32string(kHeader4, kHeader4 + sizeof kHeader4 - 1)) {
          unicode_ = false;
        } else {
          return Fail("not a registry file: the first line must be \"" + std::string(kHeader5) +
                      "\" or \"" + kHeader4 + "\"");
        }
        header = true;
        continue;
      }
      const char32_t c = t_[pos_];
      bool ok;
      if (c == ';') ok = true;
      else if (c == '[') ok = KeyLine();
      else if (c == '"' || c == '@') ok = ValueLine();
      else ok = Fail("unexpected text: expected [KEY], a value line or a comment");
      if (!ok) return false;
    }
    if (!header) {
      line_ = 1;
      return Fail("empty file: no registry file header");
    }
    return true;
  }

 private:
  // Moves to the next line: pos_..end_ without its line end, trailing blanks
  // and leading blanks. A line end at the end of the text starts no further line.
  bool NextLine() {
    if (next_ > t_.size() || (next_ == t_.size() && next_ > 0)) return false;
    ++line_;
    pos_ = next_;
    size_t nl = t_.find(U'\n', pos_);
    if (nl == std::u32string::npos) nl = t_.size();
    next_ = nl + 1;
    end_ = nl;
    if (end_ > pos_ && t_[end_ - 1] == '\r') --end_;
    while (end_ > pos_ && IsBlank(t_[end_ - 1])) --end_;
    SkipBlanks();
    return true;
  }

  void SkipBlanks() {
    while (pos_ < end_ && IsBlank(t_[pos_])) ++pos_;
  }

  bool AtEndOrComment() {
    SkipBlanks();
    return pos_ == end_ || t_[pos_] == ';';
  }

  bool Fail(const std::string& message) {
    err_->line = line_ > 0 ? line_ : 1;
    err_->message = Printable(message);
    return false;
  }

  bool ToAnsi(const std::u32string& s, std::string* out) {
    out->clear();
    for (char32_t cp : s) {
      unsigned char b;
      if (!UnicodeToAnsi(cp, &b)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "character U+%04X cannot be stored in the ANSI code page (Windows-1252)",
                      static_cast<unsigned>(cp));
        return Fail(buf);
      }
      out->push_back(static_cast<char>(b));
    }
    return true;
  }

  bool KeyLine() {
    size_t close = end_;
    while (close > pos_ && t_[close - 1] != ']') --close;
    if (close == pos_) return Fail("key line without a closing \"]\"");
    --close;
    size_t start = pos_ + 1;
    const bool remove = start < close && t_[start] == '-';
    if (remove) ++start;
    std::string path;
    if (!ToAnsi(t_.substr(start, close - start), &path)) return false;
    pos_ = close + 1;
    if (!AtEndOrComment()) return Fail("unexpected text after the key's \"]\"");
    if (path.find('\0') != std::string::npos) return Fail("key name holds a zero character");
    Entry e;
    e.kind = remove ? Entry::kDeleteKey : Entry::kCreateKey;
    e.line = line_;
    std::string why;
    if (!SplitKeyPath(path, &e.root, &e.subkey, &why)) return Fail(why);
    if (remove && e.subkey.empty()) return Fail("a root key cannot be deleted");
    key_ = remove ? kDeletedKey : kKey;
    out_->push_back(std::move(e));
    return true;
  }

  // A quoted text at pos_, with \\ and \" escapes; any other backslash stays.
  bool Quoted(std::u32string* out) {
    ++pos_;
    for (;;) {
      if (pos_ >= end_) return Fail("unterminated string: no closing quote");
      const char32_t c = t_[pos_++];
      if (c == '"') return true;
      if (c == '\\' && pos_ < end_ && (t_[pos_] == '\\' || t_[pos_] == '"')) {
        out->push_back(t_[pos_++]);
      } else {
        out->push_back(c);
      }
    }
  }

  bool StartsWithWord(const char* word) {
    size_t i = pos_;
    for (; *word; ++word, ++i) {
      if (i >= end_) return false;
      char32_t c = t_[i];
      if (c >= 'A' && c <= 'Z') c = c - 'A' + 'a';
      if (c != static_cast<char32_t>(*word)) return false;
    }
    return true;
  }

  bool ValueLine() {
    if (key_ == kNoKey) return Fail("value line before any [KEY] line");
    if (key_ == kDeletedKey) return Fail("value line after a [-KEY] line, which leaves no key to set it in");
    Entry e;
    e.kind = Entry::kSetValue;
    e.line = line_;
    if (t_[pos_] == '@') {
      ++pos_;
    } else {
      std::u32string name;
      if (!Quoted(&name) || !ToAnsi(name, &e.name)) return false;
      if (e.name.find('\0') != std::string::npos) return Fail("value name holds a zero character");
    }
    SkipBlanks();
    if (pos_ >= end_ || t_[pos_] != '=') return Fail("expected \"=\" after the value name");
    ++pos_;
    SkipBlanks();
    if (pos_ >= end_) return Fail("missing value data after \"=\"");
    if (t_[pos_] == '-') {
      ++pos_;
      if (!AtEndOrComment()) return Fail("unexpected text after \"=-\"");
      e.kind = Entry::kDeleteValue;
    } else if (t_[pos_] == '"') {
      std::u32string text;
      if (!Quoted(&text)) return false;
      if (!AtEndOrComment()) return Fail("unexpected text after the closing quote");
      if (!ToAnsi(text, &e.data)) return false;
      e.data.push_back('\0');
      e.type = 1;  // REG_SZ
    } else if (StartsWithWord("dword:")) {
      pos_ += 6;
      uint32_t v = 0;
      int digits = 0;
      for (int d; pos_ < end_ && (d = HexDigit(t_[pos_])) >= 0; ++pos_, ++digits) v = v << 4 | d;
      if (digits == 0 || digits > 8 || !AtEndOrComment())
        return Fail("bad dword value: expected 1 to 8 hexadecimal digits");
      e.type = 4;  // REG_DWORD
      for (int i = 0; i < 4; ++i) e.data.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
    } else if (StartsWithWord("hex")) {
      pos_ += 3;
      if (!HexType(&e.type) || !HexBytes(&e.data)) return false;
      if (unicode_ && (e.type == 1 || e.type == 2 || e.type == 7) && !Utf16Data(&e.data)) return false;
    } else {
      return Fail("unknown value type: expected \"string\", dword:, hex: or hex(N):");
    }
    out_->push_back(std::move(e));
    return true;
  }

  // ":" (REG_BINARY) or "(N):" with N in hexadecimal.
  bool HexType(uint32_t* type) {
    *type = 3;  // REG_BINARY
    if (pos_ < end_ && t_[pos_] == '(') {
      ++pos_;
      uint64_t v = 0;
      int digits = 0;
      for (int d; pos_ < end_ && (d = HexDigit(t_[pos_])) >= 0; ++pos_, ++digits) v = v << 4 | d;
      if (digits == 0 || digits > 8 || pos_ >= end_ || t_[pos_] != ')')
        return Fail("unknown value type: bad hex(N) type number");
      ++pos_;
      *type = static_cast<uint32_t>(v);
    }
    if (pos_ >= end_ || t_[pos_] != ':') return Fail("unknown value type: expected \":\" after hex");
    ++pos_;
    return true;
  }

  // Comma-separated bytes of one or two hexadecimal digits; a backslash at
  // the end of a line continues the list on the next line.
  bool HexBytes(std::string* out) {
    for (;;) {
      if (AtEndOrComment()) return true;
      if (t_[pos_] == '\\') {
        ++pos_;
        if (!AtEndOrComment()) return Fail("bad hex data: text after the continuation backslash");
        if (!NextLine()) return Fail("bad hex data: the continuation goes past the end of the file");
        continue;
      }
      const int hi = HexDigit(t_[pos_]);
      if (hi < 0) return Fail("bad hex data: expected a hexadecimal byte");
      ++pos_;
      int v = hi;
      if (pos_ < end_ && HexDigit(t_[pos_]) >= 0) v = v << 4 | HexDigit(t_[pos_++]);
      if (pos_ < end_ && HexDigit(t_[pos_]) >= 0) return Fail("bad hex data: a byte has more than two digits");
      out->push_back(static_cast<char>(v));
      SkipBlanks();
      if (pos_ < end_ && t_[pos_] == ',') {
        ++pos_;
      } else if (!AtEndOrComment() && t_[pos_] != '\\') {
        return Fail("bad hex data: expected \",\" between bytes");
      }
    }
  }

  // The Unicode format stores string types as UTF-16LE; the registry here
  // holds them as ANSI.
  bool Utf16Data(std::string* data) {
    if (data->size() % 2 != 0) return Fail("bad string data: UTF-16 data with an odd number of bytes");
    std::u32string text;
    ParseError ignored;
    if (!DecodeUtf16(*data, 0, &text, &ignored)) return Fail("bad string data: " + ignored.message);
    return ToAnsi(text, data);
  }

  enum KeyState { kNoKey, kKey, kDeletedKey };

  const std::u32string& t_;
  std::vector<Entry>* out_;
  ParseError* err_;
  size_t next_ = 0, pos_ = 0, end_ = 0;
  int line_ = 0;
  bool unicode_ = true;
  KeyState key_ = kNoKey;
};

}  // namespace

bool ParseRegFile(const std::string& b, std::vector<Entry>* entries, ParseError* error) {
  entries->clear();
  std::u32string text;
  bool ok;
  if (b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE') {
    ok = DecodeUtf16(b, 2, &text, error);
  } else if (b.size() >= 2 && b[0] == '\xFE' && b[1] == '\xFF') {
    *error = {1, "UTF-16 big-endian files are not supported"};
    ok = false;
  } else if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    ok = DecodeUtf8(b, 3, &text, error);
  } else if (LooksLikeRegedit4(b)) {
    text.reserve(b.size());
    for (char c : b) text.push_back(AnsiToUnicode(static_cast<unsigned char>(c)));
    ok = true;
  } else {
    ok = DecodeUtf8(b, 0, &text, error);
  }
  if (!ok) return false;
  return Parser(text, entries, error).Run();
}

}  // namespace regfile
