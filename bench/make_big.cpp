// Writes a large, well-formed MIDI file for timing the trace.
//
//   make_big [--no-tempo] [--running-status] SIZE_MB OUT.mid
//
// SIZE_MB is in megabytes of 1,000,000 bytes and may have a fraction. The
// same arguments always give the same bytes. --no-tempo leaves out every
// tempo event (the file for timing "-t"). --running-status writes the same
// events with running status (the file for timing "-rs"); the file is then
// smaller than SIZE_MB.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/big_file.h"

int main(int argc, char** argv) {
  bool with_tempo = true;
  bool running_status = false;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
    if (strcmp(argv[i], "--no-tempo") == 0) {
      with_tempo = false;
    } else if (strcmp(argv[i], "--running-status") == 0) {
      running_status = true;
    } else {
      fprintf(stderr, "make_big: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc - i != 2) {
    fprintf(stderr, "usage: make_big [--no-tempo] [--running-status] SIZE_MB OUT.mid\n");
    return 2;
  }
  char* end = nullptr;
  const double mb = strtod(argv[i], &end);
  if (*end != '\0' || !(mb > 0) || mb > 4000) {
    fprintf(stderr, "make_big: size must be a number of megabytes above 0 and up to 4000\n");
    return 2;
  }
  BigFileCounts counts;
  const auto bytes =
      make_big_file(static_cast<uint64_t>(mb * 1e6), with_tempo, &counts, running_status);

  FILE* f = fopen(argv[i + 1], "wb");
  if (!f) {
    perror(argv[i + 1]);
    return 1;
  }
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (fclose(f) != 0 || !ok) {
    perror(argv[i + 1]);
    return 1;
  }
  fprintf(stderr, "make_big: %s: %zu bytes, %llu events (%llu note on, %llu note off, %llu tempo)",
          argv[i + 1], bytes.size(), static_cast<unsigned long long>(counts.events),
          static_cast<unsigned long long>(counts.note_ons),
          static_cast<unsigned long long>(counts.note_offs),
          static_cast<unsigned long long>(counts.tempos));
  if (running_status) {
    fprintf(stderr, ", %llu status bytes left out",
            static_cast<unsigned long long>(counts.omitted_status));
  }
  fprintf(stderr, "\n");
  return 0;
}
