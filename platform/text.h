// Text helpers shared by both programs.
//
// Texts are std::string values of 8-bit characters in the active ANSI code
// page. Positions are ints: -1 means "not found". Character searches step over
// double-byte characters whole, so the trail byte of such a character is never
// taken for a backslash, a space or any other single-byte character.
#ifndef QUILLON_PLATFORM_TEXT_H
#define QUILLON_PLATFORM_TEXT_H

#include <string>

using Text = std::string;

// Number of bytes in the text.
int Length(const Text& text);

// First / last position of the single-byte character c, or -1.
int Find(const Text& text, char c);
int ReverseFind(const Text& text, char c);

// Leftmost / rightmost n bytes; n is clamped to 0..Length(text).
Text Left(const Text& text, int n);
Text Right(const Text& text, int n);

// printf-style formatting into a new text of whatever length it needs.
Text Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Exact comparison, byte for byte (a double-byte character is equal only when
// both of its bytes are).
bool TextEquals(const Text& a, const Text& b);

// Verb comparison: the letters A-Z match their small forms, every other byte
// (including both bytes of a double-byte character) must be identical.
bool VerbEquals(const Text& a, const Text& b);

// True when the byte at position i starts a double-byte character of the
// active code page that has a trail byte inside the text.
bool IsLeadByteAt(const Text& text, int i);

#endif  // QUILLON_PLATFORM_TEXT_H
