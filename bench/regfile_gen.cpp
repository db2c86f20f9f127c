// Writes a REGEDIT4 file of unrelated values, spread over many keys under
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT, as a filled
// desktop registry has them. Used to build the large registry and as the
// input of the import benchmarks.
//
// Usage: regfile_gen VALUES FILE [VALUES_PER_KEY]
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: regfile_gen VALUES FILE [VALUES_PER_KEY]\n");
    return 2;
  }
  const long values = std::atol(argv[1]);
  const long perKey = argc > 3 ? std::atol(argv[3]) : 100;
  if (values <= 0 || perKey <= 0) return 2;
  std::FILE* f = std::fopen(argv[2], "wb");
  if (!f) {
    std::perror(argv[2]);
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
  std::fputs("REGEDIT4\r\n", f);
  const long keys = (values + perKey - 1) / perKey;
  long written = 0;
  for (long k = 0; k < keys; ++k) {
    // Four in ten keys per user, three per machine, three as file classes.
    const long kind = k % 10;
    if (kind < 4) {
      std::fprintf(f, "\r\n[HKEY_CURRENT_USER\\Software\\BenchFill\\Vendor%ld\\App%ld]\r\n", k / 100, k);
    } else if (kind < 7) {
      std::fprintf(f, "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\BenchFill\\Vendor%ld\\Component%ld]\r\n", k / 100, k);
    } else if (kind < 9) {
      std::fprintf(f, "\r\n[HKEY_CLASSES_ROOT\\.bf%ld]\r\n@=\"bf%ldfile\"\r\n", k, k);
      ++written;
    } else {
      std::fprintf(f, "\r\n[HKEY_CLASSES_ROOT\\bf%ldfile\\shell\\open\\command]\r\n", k);
    }
    for (long j = (kind == 7 || kind == 8) ? 1 : 0; j < perKey && written < values; ++j, ++written) {
      if (j % 5 == 4) {
        std::fprintf(f, "\"Setting%ld\"=dword:%08lx\r\n", j, (k * 131 + j) & 0xffffffffL);
      } else {
        std::fprintf(f, "\"Value%ld\"=\"C:\\\\Program Files\\\\Vendor%ld\\\\item %ld of key %ld\"\r\n", j, k / 100, j,
                     k);
      }
    }
  }
  if (std::fclose(f) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  std::printf("%ld\n", written);
  return 0;
}
