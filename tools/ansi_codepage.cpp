#include "ansi_codepage.h"

namespace regfile {
namespace {

// 0x80..0x9F; the rest of the bytes are their own code points.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char32_t AnsiToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

bool UnicodeToAnsi(char32_t cp, unsigned char* byte) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    *byte = static_cast<unsigned char>(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace regfile

namespace regfile {

size_t DecodeUtf8At(const std::string& b, size_t i, char32_t* code_point) {
  const unsigned char c = static_cast<unsigned char>(b[i]);
  // Sequence length, bits of the first byte, smallest code point it may hold.
  size_t extra;
  char32_t cp, min;
  if (c < 0x80) {
    *code_point = c;
    return 1;
  } else if (c >= 0xC2 && c < 0xE0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c < 0xF0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c < 0xF5) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + extra >= b.size()) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const unsigned char t = static_cast<unsigned char>(b[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
  *code_point = cp;
  return 1 + extra;
}

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi) {
  ansi->clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    const size_t n = DecodeUtf8At(utf8, i, &cp);
    unsigned char b;
    if (n == 0 || !UnicodeToAnsi(cp, &b)) return false;
    ansi->push_back(static_cast<char>(b));
    i += n;
  }
  return true;
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  for (char ch : ansi) {
    const char32_t cp = AnsiToUnicode(static_cast<unsigned char>(ch));
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace regfile
