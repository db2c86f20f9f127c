// The cost of the uninstall's journal replay per entry: fills the change
// journal with N entries in one batch, then times RestoreOldValues() over
// them, each entry put back with its own registry calls as at uninstall.
//
// Usage: WINHOST_REGISTRY=FILE journal_replay N
//        prints "<N> <total ns> <ns per entry> <CPU ns per entry>"; the CPU
//        time of this process tells a slow spell of a shared machine apart
//        from a cost that grows with the journal.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "batch.h"
#include "change_journal.h"
#include "winapi.h"

static bool Fill(long entries) {
  if (winhost::BeginBatch() != ERROR_SUCCESS) return false;
  HKEY journal = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kChangeJournalKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &journal, &disposition) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  char name[128];
  char data[64];
  for (long i = 0; i < entries && ok; ++i) {
    std::snprintf(name, sizeof name, "HKEY_CURRENT_USER\\Software\\Bench\\K%ld\\V%ld", i / 100, i);
    const int length = std::snprintf(data, sizeof data, "\"C:\\Old\\viewer%ld.exe\" \"%%1\"", i);
    ok = RegSetValueExA(journal, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                        static_cast<DWORD>(length + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(journal);
  if (!ok) {
    winhost::RollbackBatch();
    return false;
  }
  return winhost::CommitBatch() == ERROR_SUCCESS;
}

// The replay really wrote: the first and the last entry's values are back.
static bool Restored(long entries) {
  for (long i : {0L, entries - 1}) {
    char key[96];
    char value[32];
    std::snprintf(key, sizeof key, "Software\\Bench\\K%ld", i / 100);
    std::snprintf(value, sizeof value, "V%ld", i);
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    const LONG rc = RegQueryValueExA(h, value, nullptr, nullptr, nullptr, &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || size == 0) return false;
  }
  return true;
}

static long long CpuNs() {
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

int main(int argc, char** argv) {
  const long entries = argc > 1 ? std::atol(argv[1]) : 1000;
  if (entries <= 0) return 2;
  if (!Fill(entries)) {
    std::fprintf(stderr, "journal_replay: cannot fill the journal\n");
    return 1;
  }
  const long long cpuStart = CpuNs();
  const auto start = std::chrono::steady_clock::now();
  RestoreOldValues();
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  const long long cpu = CpuNs() - cpuStart;
  if (!Restored(entries)) {
    std::fprintf(stderr, "journal_replay: the replay did not put the values back\n");
    return 1;
  }
  std::printf("%ld %lld %.1f %.1f\n", entries, static_cast<long long>(ns), static_cast<double>(ns) / entries,
              static_cast<double>(cpu) / entries);
  return 0;
}
