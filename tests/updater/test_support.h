// Files, folders and processes for the updater's tests.
#ifndef QUILLON_TESTS_UPDATER_TEST_SUPPORT_H
#define QUILLON_TESTS_UPDATER_TEST_SUPPORT_H

#include <sys/types.h>

#include <string>
#include <vector>

// A fresh folder below /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content, unsigned mode = 0644);
// The whole file, or "<missing>".
std::string ReadFile(const std::string& path);
unsigned ModeOf(const std::string& path);  // permission bits; 0 when missing
bool Exists(const std::string& path);
// Names in a folder, "." and ".." left out, sorted.
std::vector<std::string> ListDir(const std::string& path);

// A /bin/sh script that writes `tag`, its $0 and its arguments, one a line,
// into `marker` (atomically, so a marker that exists is complete).
void WriteMarkerScript(const std::string& path, const std::string& tag, const std::string& marker);
// Waits, with a generous bound so a fault cannot hang the run, until the file
// exists; true when it does.
bool WaitForFile(const std::string& path);

// Starts a program directly (no shell); returns its pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv);
// Waits for a child to end (bounded, see WaitForFile) and returns its raw
// wait status, or -1.
int WaitChild(pid_t pid);
// The pid of a process that has ended and been reaped.
pid_t EndedPid();

#endif  // QUILLON_TESTS_UPDATER_TEST_SUPPORT_H
