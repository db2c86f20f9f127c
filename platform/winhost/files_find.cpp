// Folder searches: FindFirstFileA, FindNextFileA, FindClose.
//
// The names of the folder are read once when the search starts and sorted
// without regard to ASCII case, so the order does not depend on the file
// system and deleting entries while searching (as the uninstall does) never
// makes the search skip one. Each entry's attributes are read when it is
// handed out. "." and ".." come first, as Windows yields them in every folder
// but a drive's root.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "internal.h"

namespace winhost {
namespace {

struct Search {
  std::string subject;  // the pattern as the caller gave it
  std::string folder;   // host path of the folder searched
  std::vector<std::string> names;
  size_t next = 0;
};

std::mutex g_mutex;
std::unordered_map<HANDLE, std::unique_ptr<Search>>& Searches() {
  static std::unordered_map<HANDLE, std::unique_ptr<Search>> searches;
  return searches;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' matches any run of characters, '?' any one; letters A-Z match their
// small forms.
bool Matches(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  size_t p = 0, n = 0, star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FoldedLess(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool IsDriveRoot(const std::string& folder) {
  if (folder == "/") return true;
  const std::string root = DrivesRoot() + "/";
  return folder.size() == root.size() + 1 && folder.compare(0, root.size(), root) == 0;
}

// True when Windows could hold the name: none of \ / : * ? " < > | and no
// control character. A Linux name such as "a\..\..\x" would otherwise reach
// a caller that joins it to a folder and climbs out of it.
bool WindowsCanHoldName(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  return true;
}

// Hands out the next entry that still exists and whose name fits cFileName
// (a longer one is skipped rather than cut) and holds only characters that
// Windows allows in a name. False when none is left.
bool NextEntry(Search& s, WIN32_FIND_DATAA* data) {
  while (s.next < s.names.size()) {
    const std::string& name = s.names[s.next++];
    if (name.size() >= sizeof data->cFileName || !WindowsCanHoldName(name)) continue;
    FileInfo info;
    if (ReadFileInfo(s.folder + (s.folder == "/" ? "" : "/") + name, name, &info) != ERROR_SUCCESS) continue;
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = info.attributes;
    data->ftCreationTime = info.creation;
    data->ftLastAccessTime = info.access;
    data->ftLastWriteTime = info.write;
    data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(info.size & 0xFFFFFFFFu);
    std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
    return true;
  }
  return false;
}

// The start FindNextFileA and FindClose share: the seam's hook on the
// search's pattern, run without the lock (a hook may call back into winhost),
// then the search found again under `lock`, which is held on return, since
// another thread may have closed it meanwhile. Null, with the last error set,
// when the hook fails the call or the handle is not an open search.
Search* HookedSearch(const char* op, HANDLE h, std::unique_lock<std::mutex>* lock) {
  auto it = Searches().find(h);
  const std::string subject = it == Searches().end() ? std::string() : it->second->subject;
  lock->unlock();
  if (const long hooked = CallHook(op, subject)) {
    SetLastError(static_cast<DWORD>(hooked));
    return nullptr;
  }
  lock->lock();
  it = Searches().find(h);
  if (it == Searches().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second.get();
}

}  // namespace

int FindHandleCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return static_cast<int>(Searches().size());
}

}  // namespace winhost

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  using namespace winhost;
  const std::string subject = lpFileName ? lpFileName : "";
  if (const long hooked = CallHook("FindFirstFileA", subject)) {
    SetLastError(static_cast<DWORD>(hooked));
    return INVALID_HANDLE_VALUE;
  }
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string host = HostPath(subject);
  const size_t slash = host.find_last_of('/');
  const std::string pattern = slash == std::string::npos ? host : host.substr(slash + 1);
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  auto search = std::make_unique<Search>();
  search->subject = subject;
  search->folder = folder;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    const int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(err));
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (Matches(pattern, name)) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), FoldedLess);
  if (!IsDriveRoot(folder)) {
    for (const char* dot : {"..", "."}) {
      if (Matches(pattern, dot)) names.insert(names.begin(), dot);
    }
  }
  search->names = std::move(names);

  if (!NextEntry(*search, lpFindFileData)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = search.get();
  std::lock_guard<std::mutex> lock(g_mutex);
  Searches().emplace(handle, std::move(search));
  return handle;
}

extern "C" BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  using namespace winhost;
  std::unique_lock<std::mutex> lock(g_mutex);
  Search* search = HookedSearch("FindNextFileA", hFindFile, &lock);
  if (!search) return FALSE;
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!NextEntry(*search, lpFindFileData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE hFindFile) {
  using namespace winhost;
  std::unique_lock<std::mutex> lock(g_mutex);
  if (!HookedSearch("FindClose", hFindFile, &lock)) return FALSE;
  Searches().erase(hFindFile);
  return TRUE;
}
