#include "command_line.h"

namespace {

bool IsDelimiter(char c) { return c == ' ' || c == ','; }

}  // namespace

UpdaterArguments ReadUpdaterArguments(const Text& line) {
  UpdaterArguments args;
  Text* const fields[3] = {&args.processId, &args.target, &args.newFile};
  const size_t n = line.size();
  size_t pos = 0;
  for (Text* field : fields) {
    while (pos < n && IsDelimiter(line[pos])) ++pos;
    if (pos >= n) return args;
    const size_t start = pos;
    while (pos < n && !IsDelimiter(line[pos])) ++pos;
    field->assign(line, start, pos - start);
    ++args.present;
    if (pos < n) ++pos;  // the one delimiter that ended the position
  }
  if (pos < n) {
    args.command.assign(line, pos, Text::npos);
    ++args.present;
  }
  return args;
}
