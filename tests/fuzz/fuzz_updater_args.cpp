// The updater's tokenizer and number rule on any line. Positions 1 to 3 are
// non-empty and free of blanks and commas, absent ones are empty, the command
// is the untouched end of the line, and writing the positions out again with
// one blank between them reads back the same. The number rule agrees with a
// plain model of it: white space, one sign, decimal digits modulo 2^32.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "command_line.h"
#include "process_id.h"

namespace {

uint32_t ModelId(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint32_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') v = v * 10u + static_cast<uint32_t>(s[i++] - '0');
  return negative ? 0u - v : v;
}

bool Plain(const std::string& p) { return !p.empty() && p.find_first_of(" ,") == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const UpdaterArguments a = ReadUpdaterArguments(line);
  if (a.present < 0 || a.present > 4) std::abort();
  const std::string* positions[3] = {&a.processId, &a.target, &a.newFile};
  for (int i = 0; i < 3; ++i) {
    if (i < a.present ? !Plain(*positions[i]) : !positions[i]->empty()) std::abort();
  }
  if ((a.present == 4) == a.command.empty()) std::abort();
  if (a.present == 4 && line.compare(line.size() - a.command.size(), a.command.size(), a.command) != 0) std::abort();

  std::string again;
  for (int i = 0; i < a.present && i < 3; ++i) again += (i ? " " : "") + *positions[i];
  if (a.present == 4) again += " " + a.command;
  const UpdaterArguments b = ReadUpdaterArguments(again);
  if (b.present != a.present || b.processId != a.processId || b.target != a.target || b.newFile != a.newFile ||
      b.command != a.command)
    std::abort();

  if (ProcessIdFromText(line) != ModelId(line)) std::abort();
  if (ProcessIdFromText(a.processId) != ModelId(a.processId)) std::abort();
  return 0;
}
