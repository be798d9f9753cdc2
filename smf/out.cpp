#include "smf/out.h"

#include <cstdio>

void out_vprintf(const char* fmt, va_list args) { vprintf(fmt, args); }

void out_printf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  out_vprintf(fmt, args);
  va_end(args);
}

void out_init_stdout() {}
