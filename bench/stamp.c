/* The command the updater starts in the reaction benchmark: writes the
   CLOCK_MONOTONIC time at which it runs, in ns, to the file it is given. */
#include <stdio.h>
#include <time.h>

int main(int argc, char** argv) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (argc < 2) return 2;
  FILE* f = fopen(argv[1], "w");
  if (!f) return 1;
  fprintf(f, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  return fclose(f) == 0 ? 0 : 1;
}
