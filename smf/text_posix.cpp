#include <iconv.h>

#include <cerrno>

#include "smf/text.h"

size_t cp932_to_utf8(const char* in, size_t n, char* out) {
  static const iconv_t cd = iconv_open("UTF-8", "CP932");
  char* from = const_cast<char*>(in);
  char* to = out;
  size_t room = 4 * n;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (n > 0 && iconv(cd, &from, &n, &to, &room) == static_cast<size_t>(-1)) {
    // A byte that does not start a character, or a lead byte without its
    // trail: shown by its value, and the text goes on after it.
    const unsigned char byte = static_cast<unsigned char>(*from);
    *to++ = '\\';
    *to++ = 'x';
    *to++ = "0123456789ABCDEF"[byte >> 4];
    *to++ = "0123456789ABCDEF"[byte & 15];
    room -= 4;
    ++from;
    --n;
  }
  return static_cast<size_t>(to - out);
}

bool is_utf8(const char* s, size_t n) {
  static const iconv_t cd = iconv_open("UTF-8", "UTF-8");
  char scratch[1024];
  char* from = const_cast<char*>(s);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (n > 0) {
    char* to = scratch;
    size_t room = sizeof scratch;
    if (iconv(cd, &from, &n, &to, &room) == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}
