// The verb split on any line, in the single-byte and the double-byte code
// page (chosen by the first input byte): the verb is a word of the line
// after its leading blanks, the rest is exactly what follows the verb and
// its one space, and only a line of blanks holds no verb.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "entry.h"
#include "hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static int codePage = -1;
  const int wanted = data[0] & 1;
  if (wanted != codePage) {
    if (wanted) setenv("WINHOST_CODEPAGE", "932", 1);
    else unsetenv("WINHOST_CODEPAGE");
    winhost::ResetEnvironment();
    codePage = wanted;
  }
  const Text line(reinterpret_cast<const char*>(data) + 1, size - 1);
  Text verb = "stale", rest = "stale";
  const bool found = SplitVerb(line, verb, rest);
  const size_t start = line.find_first_not_of(' ');
  if (!found) {
    if (start != std::string::npos || !verb.empty() || !rest.empty()) std::abort();
    return 0;
  }
  if (start == std::string::npos || verb.empty()) std::abort();
  if (line.compare(start, verb.size(), verb) != 0) std::abort();
  const size_t end = start + verb.size();
  if (end == line.size()) {
    if (!rest.empty()) std::abort();
  } else {
    if (line[end] != ' ' || line.compare(end + 1, std::string::npos, rest) != 0) std::abort();
  }
  // In the single-byte code page no blank is inside the verb.
  if (!wanted && verb.find(' ') != std::string::npos) std::abort();
  return 0;
}
