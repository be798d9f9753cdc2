#pragma once
#include <cstdarg>
#include <cstddef>

// All of the program's output goes through here, to standard output.
//
// The formatter handles the conversions the program uses itself: %d %u %x %X
// %c %s %ld %lu %lx and %%, each with an optional '0' flag and a decimal
// field width. Any other conversion, flag, precision or length modifier makes
// that one call go to the C runtime's formatter instead, so every format
// prints exactly as printf would print it.

// Formats like printf and writes the text to standard output.
void out_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The same with a va_list.
void out_vprintf(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

// Gives standard output a large full buffer when it is not a terminal.
// Call once, before the first output.
void out_init_stdout();

// Formats into `dst` exactly as snprintf does: writes at most cap - 1 bytes
// followed by a NUL (nothing at all when cap is 0, and `dst` may then be
// null) and returns the length of the whole text, or a negative value when
// it cannot be formatted.
int out_format(char* dst, size_t cap, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

// The same with a va_list.
int out_vformat(char* dst, size_t cap, const char* fmt, va_list args)
    __attribute__((format(printf, 3, 0)));

// When on, out_printf and out_vprintf hand every call to the C runtime's
// vprintf. Off at start.
void out_use_libc(bool on);
