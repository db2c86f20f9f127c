// The hosted entry point of a windowed program: main() hands WinMain the
// command line that Windows would give it, which here is the program's
// arguments joined by single blanks, unchanged. A caller can therefore pass a
// whole Windows command line as one argument.
#include <string>

#include "winapi.h"

int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  // As on Windows, the blanks and control characters that follow the program
  // name are not part of the command line.
  size_t skip = 0;
  while (skip < line.size() && static_cast<unsigned char>(line[skip]) >= 0x01 &&
         static_cast<unsigned char>(line[skip]) <= 0x20)
    ++skip;
  line.erase(0, skip);
  return WinMain(nullptr, nullptr, &line[0], SW_SHOWDEFAULT);
}
