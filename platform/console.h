#pragma once
#include <cstddef>

// What lies between the program and the person running it, each system its
// own (console_posix.cpp, console_win32.cpp, chosen when it is built): the
// standard streams, the console window, the names as given and the
// conversion of texts for UTF-8 output.

// Readies the process before anything is opened: standard input, output and
// error that are closed are opened on the null device, so that no file the
// program opens takes their place. Returns whether standard output was
// closed (nothing printed can reach anyone then).
bool claim_standard_streams();

// Whether standard output is a terminal (a console on Windows).
bool stdout_is_terminal();

// Standard output without the system's own line ends: "\n" goes out as it
// is, also on Windows. Call before the first output.
void binary_output();

// Readies the conversion from code page 932 to UTF-8; false when the system
// has no converter for it.
bool open_utf8_converter();

// Writes the UTF-8 form of the `n` bytes of code page 932 text at `in` to
// `out`, which has room for 4 * n bytes: each byte that does not decode as
// "\xNN" (two upper-case hexadecimal digits), or with `replace` as U+FFFD.
// Returns the bytes written.
size_t cp932_to_utf8(const char* in, size_t n, char* out, bool replace = false);

// `name` as the program prints it: as given, except on Windows in code page
// 932 output, where it is turned into code page 932 ("?" for characters
// outside it). The text lives until the program ends.
const char* shown_name(const char* name, bool utf8);

// Ends the program's use of the console. On Windows a console the program
// owns alone (it was started by a double-click or a drop) would close with
// the trace: it prints "Press Enter to close this window." and waits for
// Enter. Elsewhere nothing.
void release_console();

// A byte that does not decode, written at `to` as "\xNN" or as U+FFFD;
// returns the end.
inline char* undecodable(unsigned char byte, char* to, bool replace) {
  if (replace) {
    *to++ = '\xEF';
    *to++ = '\xBF';
    *to++ = '\xBD';
    return to;
  }
  *to++ = '\\';
  *to++ = 'x';
  *to++ = "0123456789ABCDEF"[byte >> 4];
  *to++ = "0123456789ABCDEF"[byte & 15];
  return to;
}

#ifdef _WIN32
// The wide-character arguments as UTF-8 texts that live until the end.
char** utf8_arguments(int argc, wchar_t** wargv);
#endif
