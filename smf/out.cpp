#include "smf/out.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <unistd.h>

namespace {

// Text is formatted into [p, end); bytes that do not fit are only counted.
struct Sink {
  char* p;
  char* end;
  size_t dropped;
};

// A field width above this is left to the C runtime.
constexpr unsigned kMaxWidth = 1u << 20;

// Returned by the formatter when the C runtime has to format the call.
constexpr long kNotMine = -1;

constexpr char kDec2[201] =
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

constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

// Two hex digits per byte value, lower and upper case.
struct Hex2Table {
  char lower[512];
  char upper[512];
};

constexpr Hex2Table make_hex2() {
  Hex2Table t{};
  for (int i = 0; i < 256; ++i) {
    t.lower[2 * i] = kHexLower[i >> 4];
    t.lower[2 * i + 1] = kHexLower[i & 15];
    t.upper[2 * i] = kHexUpper[i >> 4];
    t.upper[2 * i + 1] = kHexUpper[i & 15];
  }
  return t;
}

constexpr Hex2Table kHex2 = make_hex2();

// The bytes that end a run of literal text: '%' and the terminating NUL.
struct StopTable {
  bool at[256];
};

constexpr StopTable make_stops() {
  StopTable t{};
  t.at[0] = true;
  t.at[static_cast<unsigned char>('%')] = true;
  return t;
}

constexpr StopTable kStopTable = make_stops();
constexpr const bool* kStops = kStopTable.at;

// Literal text is copied this many bytes at a time while they fit.
constexpr size_t kLiteralRun = 16;

bool g_use_libc = false;

[[gnu::always_inline]] inline void put_bytes(Sink& s, const char* src, size_t n) {
  size_t room = static_cast<size_t>(s.end - s.p);
  if (n <= room) {
    std::memcpy(s.p, src, n);
    s.p += n;
  } else {
    std::memcpy(s.p, src, room);
    s.p = s.end;
    s.dropped += n - room;
  }
}

[[gnu::always_inline]] inline void put_fill(Sink& s, char c, size_t n) {
  size_t room = static_cast<size_t>(s.end - s.p);
  if (n <= room) {
    std::memset(s.p, c, n);
    s.p += n;
  } else {
    std::memset(s.p, c, room);
    s.p = s.end;
    s.dropped += n - room;
  }
}

[[gnu::always_inline]] inline void put_char(Sink& s, char c) {
  if (s.p < s.end)
    *s.p++ = c;
  else
    ++s.dropped;
}

// Writes n bytes c at p, the few bytes of a field width without a call of
// memset; returns the end.
[[gnu::always_inline]] inline char* fill(char* p, char c, size_t n) {
  uint64_t w = 0x0101010101010101u * static_cast<unsigned char>(c);
  for (; n >= 8; n -= 8, p += 8) std::memcpy(p, &w, 8);
  if (n & 4) {
    std::memcpy(p, &w, 4);
    p += 4;
  }
  if (n & 2) {
    std::memcpy(p, &w, 2);
    p += 2;
  }
  if (n & 1) *p++ = c;
  return p;
}

template <class U>
[[gnu::always_inline]] inline unsigned dec_len(U u) {
  unsigned n = 1;
  for (;;) {
    if (u < 10) return n;
    if (u < 100) return n + 1;
    if (u < 1000) return n + 2;
    if (u < 10000) return n + 3;
    u /= 10000;
    n += 4;
  }
}

template <class U>
[[gnu::always_inline]] inline unsigned hex_len(U u) {
  unsigned used = 64u - static_cast<unsigned>(__builtin_clzll(static_cast<unsigned long long>(u) | 1u));
  return (used + 3) / 4;
}

// Writes the decimal digits of u so that they end just before q.
template <class U>
[[gnu::always_inline]] inline void write_dec(char* q, U u) {
  while (u >= 100) {
    U r = u % 100;
    u /= 100;
    q -= 2;
    std::memcpy(q, kDec2 + 2 * r, 2);
  }
  if (u >= 10) {
    q -= 2;
    std::memcpy(q, kDec2 + 2 * u, 2);
  } else {
    *--q = static_cast<char>('0' + u);
  }
}

// Writes the hex digits of u so that they end just before q.
template <class U>
[[gnu::always_inline]] inline void write_hex(char* q, U u, bool upper) {
  const char* pairs = upper ? kHex2.upper : kHex2.lower;
  while (u >= 0x100) {
    q -= 2;
    std::memcpy(q, pairs + 2 * (u & 0xff), 2);
    u >>= 8;
  }
  if (u >= 0x10) {
    q -= 2;
    std::memcpy(q, pairs + 2 * u, 2);
  } else {
    *--q = (upper ? kHexUpper : kHexLower)[u];
  }
}

// A number of nd digits, with a minus sign when neg, right-aligned in width
// with blanks, or with zeros after the sign when zero.
template <bool kHex, class U>
[[gnu::always_inline]] inline void put_number(Sink& s, U u, bool neg, unsigned width, bool zero, bool upper) {
  unsigned nd = kHex ? hex_len(u) : dec_len(u);
  size_t len = nd + (neg ? 1u : 0u);
  size_t pad = width > len ? width - len : 0;
  if (len + pad <= static_cast<size_t>(s.end - s.p)) {
    char* p = s.p;
    if (!zero) p = fill(p, ' ', pad);
    if (neg) *p++ = '-';
    if (zero) p = fill(p, '0', pad);
    p += nd;
    if (kHex)
      write_hex(p, u, upper);
    else
      write_dec(p, u);
    s.p = p;
    return;
  }
  char digits[24];
  if (kHex)
    write_hex(digits + nd, u, upper);
  else
    write_dec(digits + nd, u);
  if (!zero) put_fill(s, ' ', pad);
  if (neg) put_char(s, '-');
  if (zero) put_fill(s, '0', pad);
  put_bytes(s, digits, nd);
}

template <class S>
[[gnu::always_inline]] inline void put_signed(Sink& s, S v, unsigned width, bool zero) {
  using U = std::make_unsigned_t<S>;
  U u = v < 0 ? static_cast<U>(U{0} - static_cast<U>(v)) : static_cast<U>(v);
  put_number<false>(s, u, v < 0, width, zero, false);
}

// Formats fmt into [dst, dst + lim) and returns the length of the whole
// text, or kNotMine when the C runtime must format it. Consumes args.
long format_into(char* dst, size_t lim, const char* f, va_list args) {
  Sink s{dst, dst + lim, 0};
  for (;;) {
    // Literal bytes, kLiteralRun at a time while there is room for them.
    while (static_cast<size_t>(s.end - s.p) >= kLiteralRun) {
      size_t k = 0;
#pragma GCC unroll 16
      for (; k < kLiteralRun; ++k) {
        char b = f[k];
        if (kStops[static_cast<unsigned char>(b)]) break;
        s.p[k] = b;
      }
      s.p += k;
      f += k;
      if (k < kLiteralRun) break;
    }
    char c = *f;
    while (c != '%') {
      if (c == '\0') {
        size_t total = static_cast<size_t>(s.p - dst) + s.dropped;
        if (total > static_cast<size_t>(INT_MAX)) return kNotMine;
        return static_cast<long>(total);
      }
      if (s.p < s.end)
        *s.p++ = c;
      else
        ++s.dropped;
      c = *++f;
    }
    c = *++f;
    if (c == '%') {
      put_char(s, '%');
      ++f;
      continue;
    }
    bool zero = false;
    while (c == '0') {
      zero = true;
      c = *++f;
    }
    unsigned width = 0;
    while (static_cast<unsigned>(c - '0') < 10) {
      width = width * 10 + static_cast<unsigned>(c - '0');
      if (width > kMaxWidth) return kNotMine;
      c = *++f;
    }
    bool is_long = false;
    if (c == 'l') {
      is_long = true;
      c = *++f;
    }
    switch (c) {
      case 'd':
        if (is_long)
          put_signed(s, va_arg(args, long), width, zero);
        else
          put_signed(s, va_arg(args, int), width, zero);
        break;
      case 'u':
        if (is_long)
          put_number<false>(s, va_arg(args, unsigned long), false, width, zero, false);
        else
          put_number<false>(s, va_arg(args, unsigned), false, width, zero, false);
        break;
      case 'x':
        if (is_long)
          put_number<true>(s, va_arg(args, unsigned long), false, width, zero, false);
        else
          put_number<true>(s, va_arg(args, unsigned), false, width, zero, false);
        break;
      case 'X':
        if (is_long) return kNotMine;
        put_number<true>(s, va_arg(args, unsigned), false, width, zero, true);
        break;
      case 'c': {
        if (is_long || zero) return kNotMine;
        char ch = static_cast<char>(static_cast<unsigned char>(va_arg(args, int)));
        if (width > 1) put_fill(s, ' ', width - 1);
        put_char(s, ch);
        break;
      }
      case 's': {
        if (is_long || zero) return kNotMine;
        const char* str = va_arg(args, const char*);
        if (str == nullptr) return kNotMine;
        size_t n = std::strlen(str);
        if (width > n) put_fill(s, ' ', width - n);
        put_bytes(s, str, n);
        break;
      }
      default:
        return kNotMine;
    }
    ++f;
  }
}

// Room for every line the program prints but the longest file names.
constexpr size_t kLineBuffer = 4096;

// Standard output's buffer when it is not a terminal.
char g_stdout_buffer[1u << 20];

// Ends a text of n bytes formatted into dst for a buffer of cap bytes.
int finish(char* dst, size_t cap, long n) {
  if (cap != 0) dst[static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1] = '\0';
  return static_cast<int>(n);
}

// Formats into a stack buffer and writes that to standard output; false,
// having written nothing, when the C runtime must print it.
[[gnu::always_inline]] inline bool print_line(const char* fmt, va_list args) {
  char line[kLineBuffer];
  long n = format_into(line, sizeof line, fmt, args);
  if (n == kNotMine || static_cast<size_t>(n) > sizeof line) return false;
  fwrite_unlocked(line, 1, static_cast<size_t>(n), stdout);
  return true;
}

}  // namespace

int out_vformat(char* dst, size_t cap, const char* fmt, va_list args) {
  char none;  // where nothing is written when cap is 0 and dst may be null
  va_list mine;
  va_copy(mine, args);
  long n = format_into(cap == 0 ? &none : dst, cap == 0 ? 0 : cap - 1, fmt, mine);
  va_end(mine);
  if (n == kNotMine) return vsnprintf(dst, cap, fmt, args);
  return finish(dst, cap, n);
}

// The variadic entry points start their va_list twice rather than copy it:
// a copy right after va_start costs more than the formatting of a short line.

int out_format(char* dst, size_t cap, const char* fmt, ...) {
  char none;  // where nothing is written when cap is 0 and dst may be null
  va_list args;
  va_start(args, fmt);
  long n = format_into(cap == 0 ? &none : dst, cap == 0 ? 0 : cap - 1, fmt, args);
  va_end(args);
  if (n != kNotMine) return finish(dst, cap, n);
  va_start(args, fmt);
  int r = vsnprintf(dst, cap, fmt, args);
  va_end(args);
  return r;
}

void out_vprintf(const char* fmt, va_list args) {
  if (!g_use_libc) {
    va_list mine;
    va_copy(mine, args);
    bool done = print_line(fmt, mine);
    va_end(mine);
    if (done) return;
  }
  vprintf(fmt, args);
}

void out_printf(const char* fmt, ...) {
  va_list args;
  if (!g_use_libc) {
    va_start(args, fmt);
    bool done = print_line(fmt, args);
    va_end(args);
    if (done) return;
  }
  va_start(args, fmt);
  vprintf(fmt, args);
  va_end(args);
}

void out_init_stdout() {
  static bool done = false;
  if (done) return;
  done = true;
  if (!isatty(fileno(stdout))) setvbuf(stdout, g_stdout_buffer, _IOFBF, sizeof g_stdout_buffer);
}

void out_use_libc(bool on) { g_use_libc = on; }
