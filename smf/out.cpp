#include "smf/out.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>

namespace outfmt {

const char digit_pairs[201] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

void write_out(const char* bytes, size_t n) {
#ifdef __GLIBC__
  fwrite_unlocked(bytes, 1, n, stdout);
#else
  // On Windows standard output stays in text mode: "\n" goes out as "\r\n".
  fwrite(bytes, 1, n, stdout);
#endif
}


}  // namespace outfmt

void out_init_stdout() {
  // A trace of a large file is hundreds of megabytes: fewer, larger writes.
  static char buffer[1 << 20];
  static bool done = false;
  if (done) return;
  done = true;
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout));
#else
  const bool terminal = isatty(STDOUT_FILENO);
#endif
  if (!terminal) setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}
