#pragma once
#include <cstddef>

// Texts for UTF-8 output, converted by the system's own converters
// (text_posix.cpp: iconv; text_win32.cpp: the Windows code page functions).

// Writes the UTF-8 form of the `n` bytes of code page 932 text at `in` to
// `out`, which has room for 4 * n bytes: each byte that does not decode as
// "\xNN" (two upper-case hexadecimal digits). Returns the bytes written.
size_t cp932_to_utf8(const char* in, size_t n, char* out);

// Whether the `n` bytes at `s` are valid UTF-8.
bool is_utf8(const char* s, size_t n);
