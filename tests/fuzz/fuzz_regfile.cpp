// The .reg parser on any bytes. A fault names a line inside the file and
// says something; a file that parses is written out again by the writer and
// parses back to the same keys and values.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "regfile_parse.h"
#include "regfile_write.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<regfile::Entry> entries;
  regfile::ParseError error;
  if (!regfile::ParseRegFile(bytes, &entries, &error)) {
    size_t lines = 1;
    for (char c : bytes) lines += c == '\n';
    if (error.line < 1 || static_cast<size_t>(error.line) > lines || error.message.empty()) std::abort();
    return 0;
  }
  if (entries.size() > bytes.size()) std::abort();

  // Keys and values only: deletions have no written form to compare.
  std::vector<regfile::Key> keys;
  for (const regfile::Entry& e : entries) {
    if (e.kind == regfile::Entry::kCreateKey) keys.push_back({regfile::JoinKeyPath(e.root, e.subkey), {}});
    else if (e.kind == regfile::Entry::kSetValue && !keys.empty()) keys.back().values.push_back({e.name, e.type, e.data});
    else return 0;
  }
  std::string written, message;
  if (!regfile::WriteRegFile(keys, &written, &message)) return 0;
  std::vector<regfile::Entry> back;
  if (!regfile::ParseRegFile(written, &back, &error)) std::abort();
  std::vector<regfile::Key> again;
  for (const regfile::Entry& e : back) {
    if (e.kind == regfile::Entry::kCreateKey) again.push_back({regfile::JoinKeyPath(e.root, e.subkey), {}});
    else if (e.kind == regfile::Entry::kSetValue && !again.empty()) again.back().values.push_back({e.name, e.type, e.data});
    else std::abort();
  }
  if (again.size() != keys.size()) std::abort();
  for (size_t k = 0; k < keys.size(); ++k) {
    if (again[k].path != keys[k].path || again[k].values.size() != keys[k].values.size()) std::abort();
    for (size_t v = 0; v < keys[k].values.size(); ++v) {
      const regfile::Value& x = keys[k].values[v];
      const regfile::Value& y = again[k].values[v];
      if (x.name != y.name || x.type != y.type || x.data != y.data) std::abort();
    }
  }
  return 0;
}
