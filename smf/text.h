#pragma once
#include <cstddef>

// Texts for UTF-8 output, converted by the system's own converters: iconv
// on Linux, the code page functions on Windows (in raw_file_posix.cpp and
// raw_file_win32.cpp, with all else that differs between systems).

// Writes the UTF-8 form of the `n` bytes of code page 932 text at `in` to
// `out`, which has room for 4 * n bytes: each byte that does not decode as
// "\xNN" (two upper-case hexadecimal digits). Returns the bytes written.
size_t cp932_to_utf8(const char* in, size_t n, char* out);

// Whether the `n` bytes at `s` are valid UTF-8.
bool is_utf8(const char* s, size_t n);
