#pragma once
// All of the program's output goes through here, to standard output.
//
//   out<"note %dch 音 %3d %3d\n">(channel, key, velocity);
//
// prints exactly what printf prints for the same format and arguments. The
// format is taken apart when the program is compiled, so a line costs about
// as much as formatting it by hand: the literal pieces are copied, the
// numbers converted, and the whole line is written with one call. Formats may
// use %d %u %x %X %c %s, with an "l" before d, u or x, and a zero flag and a
// width before the numbers; anything else does not compile.
//
// The program's own texts (the format and a plain `const char*`) are code
// page 932. A text taken from the file is passed as FileText, one printed as
// it stands (a file name) as Raw. Normally all go out as their bytes; with
// UTF-8 output (-u8) the program's texts are converted, and a file's text is
// printed as it stands if it is UTF-8, else decoded as code page 932 with
// "\xNN" for every byte that does not decode.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

// A text taken from the file, and a text printed as it stands.
struct FileText {
  const char* text;
};
struct Raw {
  const char* text;
};

namespace outfmt {

// A format string as a template argument.
template <size_t N>
struct Format {
  char text[N];
  consteval Format(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = s[i];
  }
};

struct Conversion {
  char type;  // d u x X c s
  bool is_long;
  bool zero;
  uint8_t width;
  uint16_t after;  // the literal text that follows: offset and length
  uint16_t after_length;
};

inline constexpr int kMaxConversions = 8;

struct Layout {
  uint16_t lead_length;  // literal text before the first conversion
  int count;
  Conversion conversions[kMaxConversions];
  size_t bound;  // most bytes a line can take, its strings aside
};

// Not constexpr: reaching it while a format is taken apart stops the build.
void unsupported_format(const char* why);

consteval Layout take_apart(const char* s, size_t n) {
  Layout layout{};
  size_t i = 0;
  while (i < n && s[i] != '%') ++i;
  layout.lead_length = static_cast<uint16_t>(i);
  layout.bound = i;
  while (i < n) {
    Conversion c{};
    ++i;
    c.zero = i < n && s[i] == '0';  // read as the width's first digit too
    while (i < n && s[i] >= '0' && s[i] <= '9')
      c.width = static_cast<uint8_t>(c.width * 10 + (s[i++] - '0'));
    if (i < n && s[i] == 'l') {
      c.is_long = true;
      ++i;
    }
    if (i >= n) unsupported_format("a conversion without its letter");
    c.type = s[i++];
    const bool number = c.type == 'd' || c.type == 'u' || c.type == 'x' || c.type == 'X';
    if (!number && c.type != 'c' && c.type != 's') unsupported_format("an unknown conversion");
    if (!number && (c.zero || c.width || c.is_long)) unsupported_format("a flag on %c or %s");
    if (c.is_long && c.type == 'X') unsupported_format("%lX");
    if (layout.count == kMaxConversions) unsupported_format("too many conversions");
    c.after = static_cast<uint16_t>(i);
    while (i < n && s[i] != '%') ++i;
    c.after_length = static_cast<uint16_t>(i - c.after);
    layout.bound += (c.width > 20 ? c.width : 20) + c.after_length;
    layout.conversions[layout.count++] = c;
  }
  return layout;
}

// Room for a line; a longer string goes out on its own (see put_string).
inline constexpr size_t kLineRoom = 1024;

// Writes bytes to standard output (through the C runtime's buffer).
void write_out(const char* bytes, size_t n);

extern bool utf8_output;

// The literal pieces of a format (the lead, then the text after each
// conversion) in UTF-8, made once per format on its first use; each has at
// least kPieceMove readable bytes.
struct Utf8Pieces {
  const char* text[kMaxConversions + 1];
  uint16_t length[kMaxConversions + 1];
};
Utf8Pieces make_utf8_pieces(const char* format, const Layout& layout);

// The UTF-8 form of a text at `out`, which has room for 4 times its length,
// or the text itself when it needs no change; its length in `n`.
const char* utf8_of(const char* program_text, char* out, size_t& n);
const char* utf8_of(FileText text, char* out, size_t& n);

extern const char digit_pairs[201];

// Literal pieces up to this long are copied whole, in one fixed-size move.
inline constexpr size_t kPieceMove = 32;

struct Line {
  char buffer[kLineRoom + kPieceMove];  // room for the move of a short piece
  char* p = buffer;

  [[gnu::always_inline]] void text(const char* s, size_t n) {
    memcpy(p, s, n);
    p += n;
  }
  // A piece of at least kPieceMove readable bytes, of which n are the text.
  [[gnu::always_inline]] void piece(const char* s, size_t n) {
    if (n > kPieceMove) return text(s, n);
    memcpy(p, s, kPieceMove);
    p += n;
  }
  void flush() {
    write_out(buffer, static_cast<size_t>(p - buffer));
    p = buffer;
  }
};

[[gnu::always_inline]] inline void put_padding(Line& line, size_t width, size_t length, char fill) {
  if (width > length) {
    memset(line.p, fill, width - length);
    line.p += width - length;
  }
}

// A number in base 10 or 16, printf-style: zero flag, width and sign.
template <int Base, bool Upper>
[[gnu::always_inline]] inline void put_number(Line& line, unsigned long magnitude, bool negative,
                                              unsigned width, bool zero) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* q = end;
  if constexpr (Base == 10) {
    while (magnitude >= 100) {
      q -= 2;
      memcpy(q, digit_pairs + (magnitude % 100) * 2, 2);
      magnitude /= 100;
    }
    if (magnitude >= 10) {
      q -= 2;
      memcpy(q, digit_pairs + magnitude * 2, 2);
    } else {
      *--q = static_cast<char>('0' + magnitude);
    }
  } else {
    const char* hex = Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      *--q = hex[magnitude & 15];
      magnitude >>= 4;
    } while (magnitude);
  }
  const size_t length = static_cast<size_t>(end - q) + (negative ? 1 : 0);
  if (zero) {
    if (negative) *line.p++ = '-';
    put_padding(line, width, length, '0');
  } else {
    put_padding(line, width, length, ' ');
    if (negative) *line.p++ = '-';
  }
  line.text(q, static_cast<size_t>(end - q));
}

// A string of any length. One that would leave less room than the line's
// fixed parts can take goes out on its own, after the line so far.
template <size_t Bound>
inline void put_string(Line& line, const char* s, size_t n) {
  if (n + Bound <= static_cast<size_t>(line.buffer + kLineRoom - line.p)) {
    line.text(s, n);
  } else {
    line.flush();
    write_out(s, n);
  }
}

// The value printf would take for conversion `c` from an argument of type A.
template <Conversion C, typename A>
[[gnu::always_inline]] inline auto as_printed(A a) {
  if constexpr (C.type == 's') {
    if constexpr (std::is_same_v<A, FileText> || std::is_same_v<A, Raw>) {
      return a.text;
    } else {
      static_assert(std::is_convertible_v<A, const char*>, "%s takes a text");
      return static_cast<const char*>(a);
    }
  } else {
    static_assert(std::is_integral_v<A>, "a number conversion takes an integer");
    if constexpr (C.is_long) {
      static_assert(sizeof(A) == sizeof(long), "%l conversions take a long or unsigned long");
      if constexpr (C.type == 'd')
        return static_cast<long>(a);
      else
        return static_cast<unsigned long>(a);
    } else {
      static_assert(sizeof(A) <= sizeof(int), "a long argument needs an %l conversion");
      if constexpr (C.type == 'd' || C.type == 'c')
        return static_cast<int>(a);
      else
        return static_cast<unsigned>(a);
    }
  }
}

template <Conversion C, size_t Bound, typename A>
[[gnu::always_inline]] inline void put_conversion(Line& line, A a) {
  const auto v = as_printed<C>(a);
  if constexpr (C.type == 's') {
    put_string<Bound>(line, v, strlen(v));
  } else if constexpr (C.type == 'c') {
    *line.p++ = static_cast<char>(v);
  } else if constexpr (C.type == 'd') {
    const bool negative = v < 0;
    const unsigned long magnitude =
        negative ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    put_number<10, false>(line, magnitude, negative, C.width, C.zero);
  } else {
    put_number<C.type == 'u' ? 10 : 16, C.type == 'X'>(line, v, false, C.width, C.zero);
  }
}

template <Format F>
inline constexpr Layout layout_of = take_apart(F.text, sizeof F.text - 1);

// A conversion of the UTF-8 output: texts converted, all else as usual.
template <Conversion C, size_t Bound, typename A>
inline void put_utf8_conversion(Line& line, A a) {
  if constexpr (C.type == 's' && !std::is_same_v<A, Raw>) {
    char converted[4 * 1024];  // a file's texts hold at most 255 bytes, the program's fewer
    size_t n;
    const char* s = utf8_of(a, converted, n);
    put_string<Bound>(line, s, n);
  } else {
    put_conversion<C, Bound>(line, a);
  }
}

// Kept out of line, and compiled for speed (hot): only calls through
// reach_utf8 below get here.
template <Format F, size_t... I, typename... A>
[[gnu::noinline, gnu::hot]] void print_utf8(std::index_sequence<I...>, A... a) {
  constexpr Layout L = layout_of<F>;
  static const Utf8Pieces pieces = make_utf8_pieces(F.text, L);
  Line line;
  line.piece(pieces.text[0], pieces.length[0]);
  // A piece grows at most threefold in UTF-8.
  ((put_utf8_conversion<L.conversions[I], 3 * L.bound>(line, a),
    line.piece(pieces.text[I + 1], pieces.length[I + 1])),
   ...);
  line.flush();
}

// The way from a line to its UTF-8 form. Being cold, it lets the compiler
// lay out the usual output's callers as if no UTF-8 existed: called directly,
// print_utf8 made the usual trace 1.1 times slower; marked cold itself, it
// made -u8 1.5 times slower.
template <Format F, size_t... I, typename... A>
[[gnu::noinline, gnu::cold]] void reach_utf8(std::index_sequence<I...> i, A... a) {
  print_utf8<F>(i, a...);
}

template <Format F, size_t... I, typename... A>
[[gnu::always_inline]] inline void print(std::index_sequence<I...> i, A... a) {
  constexpr Layout L = layout_of<F>;
  static_assert(L.count == sizeof...(A), "the format and the arguments do not match");
  static_assert(L.bound <= kLineRoom / 4, "the format is too long for a line");
  if (__builtin_expect(utf8_output, 0)) {
    reach_utf8<F>(i, a...);
    return;
  }
  Line line;
  line.text(F.text, L.lead_length);
  ((put_conversion<L.conversions[I], L.bound>(line, a),
    line.text(F.text + L.conversions[I].after, L.conversions[I].after_length)),
   ...);
  line.flush();
}

}  // namespace outfmt

// Prints the format with its arguments, as printf would.
template <outfmt::Format F, typename... A>
[[gnu::always_inline]] inline void out(A... args) {
  outfmt::print<F>(std::index_sequence_for<A...>{}, args...);
}

// Gives standard output a large full buffer when it is not a terminal, and
// with `utf8` turns on UTF-8 output. Call once, before the first output.
void out_init_stdout(bool utf8);
