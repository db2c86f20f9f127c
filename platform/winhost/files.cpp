// Deleting files and removing folders, with the refusals Windows makes where
// POSIX would go ahead: a read-only file is not deleted, a folder is never
// deleted as a file. A symbolic link is removed itself, never its target.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "internal.h"

namespace {

bool LinkLeadsToFolder(const std::string& host_path) {
  struct stat target;
  return stat(host_path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

// lstat with the Windows error for a missing entry or folder.
bool Look(const std::string& host_path, struct stat* st) {
  if (lstat(host_path.c_str(), st) == 0) return true;
  winhost::FileInfo info;
  const size_t slash = host_path.find_last_of('/');
  const DWORD err =
      winhost::ReadFileInfo(host_path, slash == std::string::npos ? host_path : host_path.substr(slash + 1), &info);
  SetLastError(err != ERROR_SUCCESS ? err : ERROR_ACCESS_DENIED);
  return false;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  const std::string path = lpFileName ? lpFileName : "";
  if (const long hooked = winhost::CallHook("DeleteFileA", path)) return Fail(static_cast<DWORD>(hooked));
  if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
  bool trailing = false;
  const std::string host = winhost::FileHostPath(path, &trailing);
  struct stat st;
  if (!Look(host, &st)) return FALSE;
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder reads as a folder and is removed with
    // RemoveDirectoryA, as on Windows.
    if (LinkLeadsToFolder(host)) return Fail(ERROR_ACCESS_DENIED);
  } else {
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (trailing) return Fail(ERROR_INVALID_NAME);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Fail(ERROR_ACCESS_DENIED);
  }
  if (unlink(host.c_str()) != 0) return Fail(winhost::ErrorFromErrno(errno));
  return TRUE;
}

extern "C" BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  const std::string path = lpPathName ? lpPathName : "";
  if (const long hooked = winhost::CallHook("RemoveDirectoryA", path)) return Fail(static_cast<DWORD>(hooked));
  if (!lpPathName) return Fail(ERROR_INVALID_PARAMETER);
  const std::string host = winhost::FileHostPath(path, nullptr);
  struct stat st;
  if (!Look(host, &st)) return FALSE;
  if (S_ISLNK(st.st_mode)) {
    // The link goes; the folder it leads to and its contents stay.
    if (!LinkLeadsToFolder(host)) return Fail(ERROR_DIRECTORY);
    if (unlink(host.c_str()) != 0) return Fail(winhost::ErrorFromErrno(errno));
    return TRUE;
  }
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
  if (rmdir(host.c_str()) != 0) {
    const int err = errno;
    return Fail(err == ENOTEMPTY || err == EEXIST ? ERROR_DIR_NOT_EMPTY : winhost::ErrorFromErrno(err));
  }
  return TRUE;
}
