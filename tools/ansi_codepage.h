// The hosted registry's ANSI code page, Windows-1252, against Unicode.
//
// Every one of the 256 bytes has a code point (the five bytes that 1252 leaves
// unassigned map to the C1 controls of the same number, as Windows maps them),
// so any stored byte string survives the trip to UTF-16 and back.
#ifndef QUILLON_TOOLS_ANSI_CODEPAGE_H
#define QUILLON_TOOLS_ANSI_CODEPAGE_H

#include <cstddef>
#include <string>

namespace regfile {

// The code point of an ANSI byte.
char32_t AnsiToUnicode(unsigned char byte);

// The ANSI byte of a code point; false when 1252 has none for it.
bool UnicodeToAnsi(char32_t code_point, unsigned char* byte);

// Reads one UTF-8 sequence at text[i]: its length, or 0 when it is not valid
// UTF-8 (overlong forms and surrogates included).
size_t DecodeUtf8At(const std::string& text, size_t i, char32_t* code_point);

// UTF-8 text (the console's) to ANSI; false when it is not valid UTF-8 or
// holds a character that 1252 lacks.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);

// ANSI text to UTF-8, for the console.
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace regfile

#endif  // QUILLON_TOOLS_ANSI_CODEPAGE_H
