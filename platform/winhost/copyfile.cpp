// CopyFileA: the new content goes into a temporary file beside the target,
// which then takes the target's place in one step, so anyone looking at the
// target sees either the old file or the whole new one, never a part.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "internal.h"

namespace winhost {
namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int Close() {
    const int rc = fd_ >= 0 ? ::close(fd_) : 0;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// Removes the temporary file unless it has been renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

DWORD WriteError(int err) {
  return err == ENOSPC || err == EDQUOT ? static_cast<DWORD>(ERROR_DISK_FULL) : ErrorFromErrno(err);
}

DWORD ReadWriteCopy(int in, int out) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) return ERROR_SUCCESS;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrorFromErrno(errno);
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return WriteError(errno);
      }
      done += w;
    }
  }
}

// Errors that only say "this way of copying is not available here".
bool Unsupported(int err) {
  return err == EXDEV || err == ENOSYS || err == EINVAL || err == EOPNOTSUPP || err == EPERM ||
         err == EBADF;
}

// Copies the rest of `in` to `out`. Both descriptors' offsets advance with
// every way of copying, so a fallback carries on where the previous one
// stopped. copy_file_range keeps the data in the kernel (or shares extents
// where the file system can); sendfile and then read/write serve the file
// systems that cannot.
DWORD CopyData(int in, int out) {
  constexpr size_t kChunk = size_t{1} << 30;
  bool copied = false;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
    if (n > 0) {
      copied = true;
      continue;
    }
    if (n == 0) {
      // Some pseudo-files report nothing to copy_file_range yet can be read.
      if (!copied) break;
      return ERROR_SUCCESS;
    }
    if (errno == EINTR) continue;
    if (Unsupported(errno)) break;
    return WriteError(errno);
  }
  for (;;) {
    const ssize_t n = ::sendfile(out, in, nullptr, kChunk);
    if (n > 0) continue;
    if (n == 0) return copied ? ERROR_SUCCESS : ReadWriteCopy(in, out);
    if (errno == EINTR) continue;
    if (Unsupported(errno)) return ReadWriteCopy(in, out);
    return WriteError(errno);
  }
}

// The attributes that winhost keeps beside the mode bits (hidden, system,
// archive) go with the content, as Windows copies attributes. Best effort: a
// file system without extended attributes has none to lose.
void CopyDosAttributes(int in, int out) {
  char value[64];
  const ssize_t n = ::fgetxattr(in, "user.DOSATTRIB", value, sizeof value);
  if (n > 0) ::fsetxattr(out, "user.DOSATTRIB", value, static_cast<size_t>(n), 0);
}

DWORD PathError(int err) { return err == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(err); }

DWORD Copy(const std::string& source, const std::string& target, bool fail_if_exists) {
  // O_NONBLOCK: a FIFO must not block the open; it is refused below.
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.ok()) return errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
  struct stat from;
  if (::fstat(in.get(), &from) != 0) return ErrorFromErrno(errno);
  if (!S_ISREG(from.st_mode)) return ERROR_ACCESS_DENIED;

  // Everything that can refuse the copy is checked before anything is written.
  // A symbolic link as target is itself replaced; what it points to is never
  // opened, so the copy cannot land anywhere but at the target's own name.
  struct stat to;
  if (::lstat(target.c_str(), &to) == 0) {
    if (fail_if_exists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(to.st_mode)) return ERROR_ACCESS_DENIED;
    if (!S_ISLNK(to.st_mode) && (to.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
  } else if (errno != ENOENT) {
    return PathError(errno);
  }

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  std::string pattern = folder + (folder == "/" ? "" : "/") + ".winhost-copy-XXXXXX";
  Fd out(::mkostemp(&pattern[0], O_CLOEXEC));
  if (!out.ok()) return PathError(errno);
  TempFile temp(pattern);

  const DWORD copied = CopyData(in.get(), out.get());
  if (copied != ERROR_SUCCESS) return copied;
  CopyDosAttributes(in.get(), out.get());
  // Permission bits only: set-id bits are not handed to a file of another owner.
  if (::fchmod(out.get(), from.st_mode & 0777) != 0) return ErrorFromErrno(errno);
  // A write error that a file system reports late shows up here.
  if (out.Close() != 0) return WriteError(errno);

  if (fail_if_exists) {
    // The target may have appeared since the check: never replace it then.
    if (::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno != EINVAL && errno != ENOSYS) return errno == EEXIST ? ERROR_FILE_EXISTS : PathError(errno);
      if (::link(temp.path().c_str(), target.c_str()) != 0)
        return errno == EEXIST ? ERROR_FILE_EXISTS : PathError(errno);
    } else {
      temp.Keep();
    }
  } else {
    // Swapping the new file with the old one and then deleting the old one is
    // as atomic as a rename over it, and spares the flush of the whole new
    // file that ext4 makes for a rename onto an existing name. Where there is
    // no old file, or no exchange, a rename does.
    if (::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
      // The old target now has the temporary name: TempFile deletes it. A
      // folder that took the target's place meanwhile is swapped back.
      struct stat old;
      if (::lstat(temp.path().c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
        ::renameat2(AT_FDCWD, temp.path().c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
        return ERROR_ACCESS_DENIED;
      }
      return ERROR_SUCCESS;
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0) return PathError(errno);
    temp.Keep();
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace winhost

extern "C" BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  const long hooked = winhost::CallHook("CopyFileA", lpNewFileName ? lpNewFileName : "");
  if (hooked != 0) {
    SetLastError(static_cast<DWORD>(hooked));
    return FALSE;
  }
  if (!lpExistingFileName || !lpNewFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD err = winhost::Copy(winhost::HostPath(lpExistingFileName), winhost::HostPath(lpNewFileName),
                                  bFailIfExists != FALSE);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  return TRUE;
}
