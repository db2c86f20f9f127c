// The Windows command-line splitter on any text: never crashes, never yields
// more bytes than it was given, and a line of plain words splits on blanks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const auto args = winhost::SplitCommandLine(line);
  size_t total = 0;
  for (const auto& a : args) total += a.size();
  if (total > line.size()) std::abort();
  if (line.find_first_of("\"\\") == std::string::npos) {
    std::string joined;
    for (const auto& a : args) joined += a;
    std::string squeezed;
    for (char c : line)
      if (c != ' ' && c != '\t') squeezed += c;
    if (joined != squeezed) std::abort();
  }
  return 0;
}
