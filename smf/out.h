#pragma once
#include <cstdarg>

// All of the program's output goes through here, to standard output.

// Formats like printf and writes the text to standard output.
void out_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The same with a va_list.
void out_vprintf(const char* fmt, va_list args) __attribute__((format(printf, 1, 0)));

// Gives standard output a large full buffer when it is not a terminal.
// Call once, before the first output.
void out_init_stdout();
