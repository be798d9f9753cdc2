#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "smf/text.h"

namespace {

// Appends the UTF-8 form of `n` bytes of code page 932 text, or returns
// false when they do not all decode.
bool decode(const char* in, int n, char*& to) {
  wchar_t wide[1024];
  const int w = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in, n, wide, 1024);
  if (w <= 0) return false;
  to += WideCharToMultiByte(CP_UTF8, 0, wide, w, to, 3 * w, nullptr, nullptr);
  return true;
}

}  // namespace

size_t cp932_to_utf8(const char* in, size_t n, char* out) {
  char* to = out;
  if (n == 0 || decode(in, static_cast<int>(n), to)) return static_cast<size_t>(to - out);
  // Character by character: a byte that does not start a character, or a
  // lead byte without its trail, is shown by its value.
  for (size_t i = 0; i < n;) {
    const int length = IsDBCSLeadByteEx(932, static_cast<BYTE>(in[i])) && i + 1 < n ? 2 : 1;
    if (!decode(in + i, length, to)) {
      const unsigned char byte = static_cast<unsigned char>(in[i]);
      *to++ = '\\';
      *to++ = 'x';
      *to++ = "0123456789ABCDEF"[byte >> 4];
      *to++ = "0123456789ABCDEF"[byte & 15];
      i += 1;
      continue;
    }
    i += static_cast<size_t>(length);
  }
  return static_cast<size_t>(to - out);
}

bool is_utf8(const char* s, size_t n) {
  return n == 0 ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, static_cast<int>(n), nullptr, 0) > 0;
}
