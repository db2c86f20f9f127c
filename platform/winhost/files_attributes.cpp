// File attributes, stored the way Wine and Samba keep them on Linux so that a
// file shows the same attributes through all three:
//   READONLY        no write bit in the mode
//   HIDDEN, SYSTEM, ARCHIVE   the text "0x.." in the xattr user.DOSATTRIB;
//                   a name starting with a dot also reads as HIDDEN
//   DIRECTORY       a folder
//   REPARSE_POINT   a symbolic link (plus DIRECTORY when it leads to a folder)
// A plain file with nothing stored reads as ARCHIVE, as a new file does on
// Windows. Links are never followed: every look is lstat/lgetxattr.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "internal.h"

namespace winhost {
namespace {

constexpr const char* kDosAttribName = "user.DOSATTRIB";
constexpr DWORD kStoredBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kSettableBits = FILE_ATTRIBUTE_READONLY | kStoredBits;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ull;

FILETIME ToFileTime(const struct statx_timestamp& t) {
  FILETIME ft = {0, 0};
  if (t.tv_sec < -static_cast<int64_t>(kEpochDifference)) return ft;
  const uint64_t ticks =
      (static_cast<uint64_t>(t.tv_sec + static_cast<int64_t>(kEpochDifference))) * 10000000ull + t.tv_nsec / 100;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses the start of a stored value: "0x22", or "0x22" followed by a zero
// byte and more (the form with a binary tail). Anything else is garbage and
// counts as nothing stored.
bool ParseDosAttrib(const std::vector<char>& raw, DWORD* bits) {
  size_t i = 0;
  if (raw.size() >= 2 && raw[0] == '0' && (raw[1] == 'x' || raw[1] == 'X')) i = 2;
  DWORD value = 0;
  size_t digits = 0;
  for (; i < raw.size(); ++i) {
    const int d = HexDigit(raw[i]);
    if (d < 0) break;
    if (++digits > 8) return false;
    value = value << 4 | static_cast<DWORD>(d);
  }
  if (digits == 0) return false;
  if (i < raw.size() && raw[i] != '\0' && raw[i] != '\n' && raw[i] != ' ') return false;
  *bits = value & kStoredBits;
  return true;
}

// The HIDDEN/SYSTEM/ARCHIVE bits stored for a path; false when none are
// stored, the value is garbage or the file system keeps no xattrs.
bool ReadDosAttrib(const std::string& host_path, DWORD* bits) {
  std::vector<char> raw(64);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t n = lgetxattr(host_path.c_str(), kDosAttribName, raw.data(), raw.size());
    if (n >= 0) {
      raw.resize(static_cast<size_t>(n));
      return ParseDosAttrib(raw, bits);
    }
    if (errno != ERANGE) return false;
    const ssize_t need = lgetxattr(host_path.c_str(), kDosAttribName, nullptr, 0);
    if (need <= 0) return false;
    raw.resize(static_cast<size_t>(need));
  }
  return false;
}

bool IsDotName(const std::string& name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

std::string LastComponent(const std::string& host_path) {
  const size_t slash = host_path.find_last_of('/');
  return slash == std::string::npos ? host_path : host_path.substr(slash + 1);
}

// chmod that never follows a link; the entry has been seen not to be one.
int ChangeMode(const std::string& host_path, mode_t mode) {
  if (fchmodat(AT_FDCWD, host_path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return 0;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  // Without /proc the C library cannot chmod without following; the lstat a
  // moment ago showed no link.
  return chmod(host_path.c_str(), mode) == 0 ? 0 : errno;
}

}  // namespace

std::string FileHostPath(const std::string& windows_path, bool* trailing) {
  std::string p = HostPath(windows_path);
  bool had = false;
  while (p.size() > 1 && p.back() == '/') {
    p.pop_back();
    had = true;
  }
  if (trailing) *trailing = had;
  return p;
}

DWORD ReadFileInfo(const std::string& host_path, const std::string& name, FileInfo* info) {
  struct statx st;
  if (statx(AT_FDCWD, host_path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
    const int err = errno;
    if (err != ENOENT) return ErrorFromErrno(err);
    // Windows tells a missing folder on the way (3) from a missing entry (2).
    const size_t slash = host_path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : host_path.substr(0, slash);
    struct stat pst;
    if (lstat(parent.c_str(), &pst) != 0 || !(S_ISDIR(pst.st_mode) || S_ISLNK(pst.st_mode)))
      return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
  }

  DWORD a = 0;
  const mode_t mode = st.stx_mode;
  if (S_ISLNK(mode)) {
    a = FILE_ATTRIBUTE_REPARSE_POINT;
    struct stat target;
    if (stat(host_path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
    info->size = 0;
  } else {
    const bool dir = S_ISDIR(mode);
    if (dir) a |= FILE_ATTRIBUTE_DIRECTORY;
    if ((mode & kWriteBits) == 0) a |= FILE_ATTRIBUTE_READONLY;
    DWORD stored = 0;
    if (ReadDosAttrib(host_path, &stored)) a |= stored;
    else if (!dir) a |= FILE_ATTRIBUTE_ARCHIVE;
    info->size = dir ? 0 : st.stx_size;
  }
  if (IsDotName(name)) a |= FILE_ATTRIBUTE_HIDDEN;
  info->attributes = a;
  info->write = ToFileTime(st.stx_mtime);
  info->access = ToFileTime(st.stx_atime);
  info->creation = (st.stx_mask & STATX_BTIME) ? ToFileTime(st.stx_btime) : info->write;
  return ERROR_SUCCESS;
}

}  // namespace winhost

using winhost::FileHostPath;
using winhost::FileInfo;

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  const std::string path = lpFileName ? lpFileName : "";
  if (const long hooked = winhost::CallHook("GetFileAttributesA", path)) {
    SetLastError(static_cast<DWORD>(hooked));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  bool trailing = false;
  const std::string host = FileHostPath(path, &trailing);
  FileInfo info;
  const DWORD err = winhost::ReadFileInfo(host, winhost::LastComponent(host), &info);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  // "name\" names a folder; a file given so is a bad name, as on Windows.
  if (trailing && !(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}

// NORMAL (or no settable bit) gives back the owner write bit when there was
// no write bit at all, and removes the stored value. Otherwise READONLY takes
// every write bit away (or its absence gives the owner's back) and the
// HIDDEN/SYSTEM/ARCHIVE bits are stored, "0x0" included, so that a file set to
// READONLY alone reads as exactly that.
extern "C" BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  const std::string path = lpFileName ? lpFileName : "";
  if (const long hooked = winhost::CallHook("SetFileAttributesA", path)) {
    SetLastError(static_cast<DWORD>(hooked));
    return FALSE;
  }
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool trailing = false;
  const std::string host = FileHostPath(path, &trailing);
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) {
    FileInfo info;
    SetLastError(winhost::ReadFileInfo(host, winhost::LastComponent(host), &info));
    return FALSE;
  }
  const DWORD wanted = dwFileAttributes & winhost::kSettableBits;
  if (S_ISLNK(st.st_mode)) {
    // A link has no mode or xattr of its own here, and its target is not
    // ours to change: only a request that asks for nothing can be met.
    if (wanted & ~FILE_ATTRIBUTE_ARCHIVE) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    return TRUE;
  }
  if (trailing && !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }

  const mode_t mode = st.st_mode & 07777;
  const bool readonly = wanted & FILE_ATTRIBUTE_READONLY;
  mode_t new_mode = mode;
  if (readonly) new_mode &= ~winhost::kWriteBits;
  else if ((mode & winhost::kWriteBits) == 0) new_mode |= S_IWUSR;

  // Write access first, so that a non-root owner may change the xattr; take
  // it away last.
  if (!readonly && new_mode != mode) {
    if (const int err = winhost::ChangeMode(host, new_mode)) {
      SetLastError(winhost::ErrorFromErrno(err));
      return FALSE;
    }
  }
  if (wanted == 0) {
    if (lremovexattr(host.c_str(), winhost::kDosAttribName) != 0 && errno != ENODATA && errno != ENOTSUP) {
      SetLastError(winhost::ErrorFromErrno(errno));
      return FALSE;
    }
  } else {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(wanted & winhost::kStoredBits));
    if (lsetxattr(host.c_str(), winhost::kDosAttribName, text, static_cast<size_t>(n), 0) != 0) {
      const int err = errno;
      // Without xattr support the mode is still kept up to date; only HIDDEN
      // and SYSTEM are then lost (ARCHIVE reads by default), and that fails.
      if (err != ENOTSUP || (wanted & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        SetLastError(err == ENOTSUP ? ERROR_INVALID_FUNCTION : winhost::ErrorFromErrno(err));
        return FALSE;
      }
    }
  }
  if (readonly && new_mode != mode) {
    if (const int err = winhost::ChangeMode(host, new_mode)) {
      SetLastError(winhost::ErrorFromErrno(err));
      return FALSE;
    }
  }
  return TRUE;
}
