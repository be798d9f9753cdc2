#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/console.h"

bool claim_standard_streams() {
  bool output_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    output_closed = output_closed || fd == 1;
    open("/dev/null", O_RDWR);  // the lowest free descriptor: this one
  }
  // A write beyond a file-size limit then fails like any other, and the
  // temporary copy is removed instead of left behind by a killed process.
  signal(SIGXFSZ, SIG_IGN);
  return output_closed;
}

const char* shown_name(const char* name, bool) { return name; }

bool stdout_is_terminal() { return isatty(STDOUT_FILENO); }

void binary_output() {}

void release_console() {}

namespace {
const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
// Opened once, kept for the whole run.
iconv_t g_from_cp932 = kNone;
}  // namespace

bool open_utf8_converter() {
  if (g_from_cp932 == kNone) g_from_cp932 = iconv_open("UTF-8", "CP932");
  return g_from_cp932 != kNone;
}

size_t cp932_to_utf8(const char* in, size_t n, char* out, bool replace) {
  open_utf8_converter();
  const iconv_t cd = g_from_cp932;
  char* from = const_cast<char*>(in);
  char* to = out;
  size_t room = 4 * n;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (n > 0 && iconv(cd, &from, &n, &to, &room) == static_cast<size_t>(-1)) {
    // A byte that does not start a character, or a lead byte without its
    // trail: shown by its value, and the text goes on after it.
    to = undecodable(static_cast<unsigned char>(*from), to, replace);
    room -= 4;
    ++from;
    --n;
  }
  return static_cast<size_t>(to - out);
}
