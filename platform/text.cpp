#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "winapi.h"

int Length(const Text& text) { return static_cast<int>(text.size()); }

bool IsLeadByteAt(const Text& text, int i) {
  return i >= 0 && i + 1 < Length(text) && IsDBCSLeadByte(static_cast<BYTE>(text[i])) != FALSE;
}

int Find(const Text& text, char c) {
  const int n = Length(text);
  for (int i = 0; i < n; ++i) {
    if (IsLeadByteAt(text, i)) {
      ++i;  // skip the trail byte
      continue;
    }
    if (text[i] == c) return i;
  }
  return -1;
}

int ReverseFind(const Text& text, char c) {
  // Walk forward: only a forward walk knows which bytes are trail bytes.
  int found = -1;
  const int n = Length(text);
  for (int i = 0; i < n; ++i) {
    if (IsLeadByteAt(text, i)) {
      ++i;
      continue;
    }
    if (text[i] == c) found = i;
  }
  return found;
}

static int Clamp(const Text& text, int n) {
  if (n < 0) return 0;
  if (n > Length(text)) return Length(text);
  return n;
}

Text Left(const Text& text, int n) { return text.substr(0, Clamp(text, n)); }

Text Right(const Text& text, int n) {
  const int k = Clamp(text, n);
  return text.substr(text.size() - k);
}

Text Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  Text out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    out.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return out;
}

bool TextEquals(const Text& a, const Text& b) { return a == b; }

static char FoldAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool VerbEquals(const Text& a, const Text& b) {
  if (a.size() != b.size()) return false;
  const int n = Length(a);
  for (int i = 0; i < n; ++i) {
    // A double-byte character is one unit: both bytes compared exactly, so a
    // trail byte in the A-Z range is never folded.
    const bool leadA = IsLeadByteAt(a, i);
    const bool leadB = IsLeadByteAt(b, i);
    if (leadA || leadB) {
      if (leadA != leadB || a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
  }
  return true;
}
