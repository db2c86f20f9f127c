// The per-call cost of the registry: N rounds of create/open a key, set a
// value, read it back and close the key, timed inside the process so that
// start-up (Wine's in particular) is not counted. The same source runs on the
// hosted layer and, built for Windows, under Wine.
//
// Usage: regloop [N]   prints "<N> <total ns> <ns per call>"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winapi.h"

int main(int argc, char** argv) {
  const long rounds = argc > 1 ? std::atol(argv[1]) : 10000;
  if (rounds <= 0) return 2;
  // A hundred keys: the first round of each creates it, the others open it,
  // as a program that writes several values under its keys does.
  const long kKeys = 100;
  char key[64];
  char name[32];
  char data[64];
  BYTE back[64];
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < rounds; ++i) {
    std::snprintf(key, sizeof key, "Software\\BenchLoop\\K%ld", i % kKeys);
    std::snprintf(name, sizeof name, "V%ld", i);
    const int length = std::snprintf(data, sizeof data, "data of round %ld", i);
    HKEY h = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &h,
                        &disposition) != ERROR_SUCCESS) {
      std::fprintf(stderr, "regloop: RegCreateKeyExA failed in round %ld\n", i);
      return 1;
    }
    LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                             static_cast<DWORD>(length + 1));
    DWORD type = 0;
    DWORD size = sizeof back;
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExA(h, name, nullptr, &type, back, &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || size != static_cast<DWORD>(length + 1) || std::memcmp(back, data, size) != 0) {
      std::fprintf(stderr, "regloop: value not stored or read back in round %ld\n", i);
      return 1;
    }
  }
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  std::printf("%ld %lld %.1f\n", rounds, static_cast<long long>(ns), static_cast<double>(ns) / (4.0 * rounds));
  return 0;
}
