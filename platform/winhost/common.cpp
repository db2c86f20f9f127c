// Last error, hooks, environment, path mapping and the command-line splitter.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "internal.h"

namespace {
thread_local DWORD g_last_error = 0;
}

extern "C" DWORD WINAPI GetLastError(void) { return g_last_error; }
extern "C" void WINAPI SetLastError(DWORD code) { g_last_error = code; }

namespace winhost {

Hooks& GetHooks() {
  static Hooks hooks;
  return hooks;
}

long CallHook(const char* op, const std::string& subject) {
  Hooks& h = GetHooks();
  return h.before_call ? h.before_call(op, subject) : 0;
}

int OpenHandleCount() { return RegistryHandleCount() + FindHandleCount() + ProcessHandleCount(); }

void ResetRegistry() { CloseRegistryDatabase(); }

void ResetEnvironment() {
  ResetAnswers();
  ResetCodePage();
}

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOTEMPTY:
    case EEXIST: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_ACCESS_DENIED;
  }
}

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string DrivesRoot() {
  std::string root = GetEnv("WINHOST_DRIVES");
  if (!root.empty()) return root;
  std::string data = GetEnv("XDG_DATA_HOME");
  if (data.empty()) data = GetEnv("HOME") + "/.local/share";
  return data + "/winhost/drives";
}

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

// The entry of `folder` that `name` names without regard to ASCII case, or
// "" when there is none.
std::string EntryIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (struct dirent* e = ::readdir(dir)) {
    if (SameIgnoringCase(name, e->d_name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// Windows file names compare without regard to case, so "C:\QUILLON\temp"
// names the folder laid out as "Quillon/temp". A component that exists as
// spelled is kept (so two entries differing only in case stay apart); one
// that does not is looked up among its folder's entries. Below the first
// component found nowhere the rest is kept as given (a file to be created).
std::string ResolveCase(const std::string& base, const std::string& rest) {
  std::string out = base;
  size_t i = 0;
  bool resolving = true;
  while (i < rest.size()) {
    const size_t slash = rest.find('/', i);
    const size_t end = slash == std::string::npos ? rest.size() : slash;
    const std::string part = rest.substr(i, end - i);
    std::string chosen = part;
    if (resolving && !part.empty() && part != "." && part != "..") {
      struct stat st;
      if (::lstat((out + "/" + part).c_str(), &st) != 0) {
        const std::string other = errno == ENOENT ? EntryIgnoringCase(out, part) : std::string();
        if (other.empty()) resolving = false;
        else chosen = other;
      }
    }
    out += "/" + chosen;
    i = end + 1;
    if (slash == std::string::npos) break;
    if (i == rest.size()) out += "/";  // a trailing separator stays
  }
  return out;
}

}  // namespace

std::string HostPath(const std::string& windows_path) {
  std::string p = windows_path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  const bool drive = p.size() >= 2 && p[1] == ':' &&
                     ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
  if (!drive) return p;
  const char letter = static_cast<char>(p[0] >= 'A' && p[0] <= 'Z' ? p[0] - 'A' + 'a' : p[0]);
  std::string rest = p.substr(2);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  if (rest.empty()) return DrivesRoot() + "/" + letter + (p.size() > 2 ? "/" : "");
  return ResolveCase(DrivesRoot() + "/" + letter, rest);
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  auto blank = [&](size_t k) { return line[k] == ' ' || line[k] == '\t'; };

  while (i < n && blank(i)) ++i;
  if (i >= n) return args;

  // Program name: no backslash processing.
  std::string name;
  if (line[i] == '"') {
    ++i;
    while (i < n && line[i] != '"') name += line[i++];
    if (i < n) ++i;  // closing quote
  }
  while (i < n && !blank(i)) name += line[i++];
  args.push_back(name);

  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !blank(i))) {
      if (line[i] == '\\') {
        size_t backslashes = 0;
        while (i < n && line[i] == '\\') {
          ++backslashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          arg.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            arg += '"';
            ++i;
          }
          // An even count leaves the quote to be handled below.
        } else {
          arg.append(backslashes, '\\');
        }
        continue;
      }
      if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += line[i++];
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace winhost
