#pragma once
// All of the program's output goes through here, to standard output.
//
//   out<TXT("note %dch 音 %3d %3d\n")>(encoding, channel, key, velocity);
//
// prints exactly what printf prints for the same format and arguments, in
// the encoding of the run: TXT hands over both forms the compiler gives the
// literal, code page 932 and UTF-8, and `encoding` picks one. A format of
// ASCII alone needs only one: out<"pos %06lx\n">(encoding, pos).
//
// The format is taken apart when the program is compiled, so a line costs
// about as much as formatting it by hand: the literal pieces are copied, the
// numbers converted, and the whole line is written with one call. Formats may
// use %d %u %x %X %c %s, with a zero flag and a width before the numbers; an
// "l" before d, u or x changes nothing, as numbers of any integer type print
// as printf prints them for their own type. Anything else does not compile.
//
// %s takes a Text (a text of the program's own, in both encodings), a plain
// const char* or std::string_view (ASCII, such as the General MIDI names), a
// ShortName (the name of a key), a FileText (bytes taken from the file) or a
// FileName.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "smf/names.h"

enum class Encoding : uint8_t { cp932, utf8 };

// How a run prints: its encoding, and whether the bytes below 0x20 and 0x7F
// in texts of the file and in file names show as "\xNN" (standard output is
// a terminal, where they would move the cursor or worse).
struct Output {
  Encoding encoding;
  bool escape;
  bool json;  // JSON lines (-json), always UTF-8
};

// Bytes taken from the file. In code page 932 output they go out as they
// stand; in UTF-8 output as they stand when they are UTF-8, else decoded as
// code page 932, with "\xNN" for each byte that does not decode. With
// `escape`, every byte below 0x20 and 0x7F prints as "\xNN" too.
struct FileText {
  const uint8_t* bytes;
  uint32_t length;
  bool escape;
};

// A file name as given (on Windows already in the run's encoding). In UTF-8
// output a byte that is not part of UTF-8 prints as "\xNN"; with `escape`,
// every byte below 0x20 and 0x7F too.
struct FileName {
  const char* name;
  bool escape;
};

namespace outfmt {

// A format string as a template argument, from either form of the literal.
template <size_t N>
struct Format {
  char text[N];
  consteval Format(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  consteval Format(const char8_t (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = static_cast<char>(s[i]);
  }
};

// Whether this build's literals are code page 932, as the program's are;
// the fuzz target's build keeps them UTF-8.
inline constexpr bool kCp932Literals = static_cast<unsigned char>("音"[0]) == 0x89;

// Whether a format of bytes beyond ASCII comes with its other form: the
// two forms of such a literal differ.
template <Format F, Format U>
consteval bool both_forms() {
  bool ascii = true;
  for (char c : F.text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii || sizeof F.text != sizeof U.text) return true;
  for (size_t i = 0; i < sizeof F.text; ++i)
    if (F.text[i] != U.text[i]) return true;
  return false;
}

struct Conversion {
  char type;  // d u x X c s
  bool zero;
  uint8_t width;
  uint16_t after;  // the literal text that follows: offset and length
  uint16_t after_length;
};

inline constexpr int kMaxConversions = 10;

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
    const bool is_long = i < n && s[i] == 'l';
    if (is_long) ++i;
    if (i >= n) unsupported_format("a conversion without its letter");
    c.type = s[i++];
    const bool number = c.type == 'd' || c.type == 'u' || c.type == 'x' || c.type == 'X';
    if (!number && c.type != 'c' && c.type != 's') unsupported_format("an unknown conversion");
    if (!number && (c.zero || c.width || is_long)) unsupported_format("a flag on %c or %s");
    if (is_long && c.type == 'X') unsupported_format("%lX");
    if (layout.count == kMaxConversions) unsupported_format("too many conversions");
    c.after = static_cast<uint16_t>(i);
    while (i < n && s[i] != '%') ++i;
    c.after_length = static_cast<uint16_t>(i - c.after);
    layout.bound += (c.width > 20 ? c.width : 20) + c.after_length;
    layout.conversions[layout.count++] = c;
  }
  return layout;
}

template <Format F>
inline constexpr Layout layout_of = take_apart(F.text, sizeof F.text - 1);

// Room for a line; a longer string goes out on its own (see put_string).
inline constexpr size_t kLineRoom = 1024;

// Writes bytes to standard output (through the C runtime's buffer).
void write_out(const char* bytes, size_t n);

extern const char digit_pairs[201];

struct Line {
  char buffer[kLineRoom];
  char* p = buffer;

  [[gnu::always_inline]] void text(const char* s, size_t n) {
    memcpy(p, s, n);
    p += n;
  }
  size_t room() const { return static_cast<size_t>(buffer + kLineRoom - p); }
  void flush() {
    write_out(buffer, static_cast<size_t>(p - buffer));
    p = buffer;
  }
};

// A text held at the start of kHeldRoom bytes, such as a place written
// once for the events after it, put by copying a fixed length: the first 48
// bytes where it is that short, else all of them. Far cheaper than a copy
// of its own length.
inline constexpr size_t kHeldRoom = 128;
[[gnu::always_inline]] inline void put_held(Line& line, const char* held, size_t length) {
  if (line.room() < kHeldRoom) line.flush();
  if (length <= 48)
    memcpy(line.p, held, 48);
  else
    memcpy(line.p, held, kHeldRoom);
  line.p += length;
}

inline constexpr uint64_t kPowersOf10[20] = {1ull,
                                             10ull,
                                             100ull,
                                             1000ull,
                                             10000ull,
                                             100000ull,
                                             1000000ull,
                                             10000000ull,
                                             100000000ull,
                                             1000000000ull,
                                             10000000000ull,
                                             100000000000ull,
                                             1000000000000ull,
                                             10000000000000ull,
                                             100000000000000ull,
                                             1000000000000000ull,
                                             10000000000000000ull,
                                             100000000000000000ull,
                                             1000000000000000000ull,
                                             10000000000000000000ull};

// How many digits `v` has in base 10 or 16.
template <int Base>
[[gnu::always_inline]] inline unsigned digit_count(uint64_t v) {
  const unsigned bits = static_cast<unsigned>(std::bit_width(v | 1));
  if constexpr (Base == 16) return (bits + 3) / 4;
  // log10(2) is about 1233 / 4096: the digits of the largest number of that
  // many bits, or one fewer.
  const unsigned fewer = bits * 1233 >> 12;
  return fewer + (v >= kPowersOf10[fewer] ? 1 : 0) + (v == 0 ? 1 : 0);
}

// The 8 hexadecimal digits of `v`, most significant first, as the bytes of
// a number in memory order, each nibble spread to a byte of its own.
template <bool Upper>
[[gnu::always_inline]] inline uint64_t hex_digits(uint32_t v, unsigned keep) {
  uint64_t x = v;
  x = (x | x << 16) & 0x0000FFFF0000FFFFull;
  x = (x | x << 8) & 0x00FF00FF00FF00FFull;
  x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Full;  // byte i: nibble i
  const uint64_t letters = (x + 0x0606060606060606ull) >> 4 & 0x0101010101010101ull;
  x += 0x3030303030303030ull + letters * (Upper ? 'A' - '9' - 1 : 'a' - '9' - 1);
  return __builtin_bswap64(x << (64 - 8 * keep));  // the last `keep` digits first
}

// The two hexadecimal digits of every byte, in both cases.
struct HexPairs {
  char upper[256][2];
  char lower[256][2];
  consteval HexPairs() : upper{}, lower{} {
    for (int b = 0; b < 256; ++b) {
      upper[b][0] = "0123456789ABCDEF"[b >> 4];
      upper[b][1] = "0123456789ABCDEF"[b & 15];
      lower[b][0] = "0123456789abcdef"[b >> 4];
      lower[b][1] = "0123456789abcdef"[b & 15];
    }
  }
};
inline constexpr HexPairs kHexPairs;

// Two digits of `d` (below 100) at `p`.
[[gnu::always_inline]] inline char* put_two(char* p, uint32_t d) {
  memcpy(p, digit_pairs + 2 * d, 2);
  return p + 2;
}

// `x` (below 10^4) without leading zeros.
[[gnu::always_inline]] inline char* put_short(char* p, uint32_t x) {
  const uint32_t top = x < 100 ? x : x / 100;
  memcpy(p, digit_pairs + 2 * top + (top < 10), 2);
  p += 1 + (top >= 10);
  return x < 100 ? p : put_two(p, x % 100);
}

// The 2 * Pairs digits of `n` (below 10^(2 * Pairs), Pairs 2 or 3), leading
// zeros included. `n` times 2^32 / 10^(2 * Pairs - 2) rounded up holds the
// first pair in its top 32 bits and the rest as a fraction in its low ones;
// each multiplication of the fraction by 100 brings up the next pair. What
// the rounding adds stays below what would change a digit.
template <int Pairs>
[[gnu::always_inline]] inline char* put_pairs(char* p, uint32_t n) {
  constexpr uint64_t kScale = Pairs == 3 ? 10000 : 100;
  uint64_t t = n * ((uint64_t{1} << 32) / kScale + 1);
  p = put_two(p, static_cast<uint32_t>(t >> 32));
  for (int i = 1; i < Pairs; ++i) {
    t = (t & 0xFFFFFFFF) * 100;
    p = put_two(p, static_cast<uint32_t>(t >> 32));
  }
  return p;
}

// `v` (below 10^10) in decimal, a pair of digits at a time: far fewer
// steps, each waiting on the one before, than by dividing by 100.
[[gnu::always_inline]] inline char* put_decimal_by_pairs(char* p, uint64_t v) {
  if (v < 10000) return put_short(p, static_cast<uint32_t>(v));
  if (v < 1000000)
    return put_pairs<2>(put_short(p, static_cast<uint32_t>(v / 10000)),
                        static_cast<uint32_t>(v % 10000));
  return put_pairs<3>(put_short(p, static_cast<uint32_t>(v / 1000000)),
                      static_cast<uint32_t>(v % 1000000));
}

// A number in base 10 or 16, printf-style: zero flag, width and sign,
// written at `p`; returns the end. Its digits are written in place, from the
// last one back.
template <int Base, bool Upper, unsigned Width, bool Zero>
[[gnu::always_inline]] inline char* put_number(char* p, uint64_t magnitude, bool negative) {
  if constexpr (Base == 16 && Zero && Width == 2) {
    // A byte, as status bytes are: its pair from a table.
    if (magnitude < 256) {
      memcpy(p, (Upper ? kHexPairs.upper : kHexPairs.lower)[magnitude], 2);
      return p + 2;
    }
  }
  if constexpr (Base == 16 && Zero && Width >= 2 && Width <= 8) {
    // The usual case, all the digits within the width: written at once.
    if (magnitude >> (4 * Width) == 0) {
      const uint64_t text = hex_digits<Upper>(static_cast<uint32_t>(magnitude), Width);
      memcpy(p, &text, 8);
      return p + Width;
    }
  }
  if constexpr (Base == 10 && Width == 0) {
    // Small numbers, as bars and beats are: their one or two digits.
    if (!negative && magnitude < 100) {
      memcpy(p, digit_pairs + magnitude * 2 + (magnitude < 10), 2);
      return p + 1 + (magnitude >= 10);
    }
    // Positions, ticks and microseconds.
    if (!negative && magnitude < kPowersOf10[10]) return put_decimal_by_pairs(p, magnitude);
  }
  if constexpr (Base == 10 && Width >= 2 && Width <= 4) {
    // The usual case, all the digits within the width: written at once,
    // leading zeros blanked unless the format pads with zeros.
    if (!negative && magnitude < kPowersOf10[Width]) {
      // The four digits as the bytes of a word, in memory order, kept in a
      // register: written piecewise to memory and read back whole, they
      // would stall the processor.
      const unsigned v = static_cast<unsigned>(magnitude);
      uint16_t high, low;
      memcpy(&high, digit_pairs + v / 100 * 2, 2);
      memcpy(&low, digit_pairs + v % 100 * 2, 2);
      uint32_t digits = high | uint32_t{low} << 16;
      if constexpr (!Zero) {
        for (unsigned i = 4 - Width; i < 3; ++i)
          if (v < kPowersOf10[3 - i]) digits = (digits & ~(0xFFu << 8 * i)) | 0x20u << 8 * i;
      }
      digits >>= 8 * (4 - Width);
      memcpy(p, &digits, 4);
      return p + Width;
    }
  }
  const unsigned digits = digit_count<Base>(magnitude);
  const unsigned length = digits + (negative ? 1 : 0);
  if (Zero && negative) *p++ = '-';
  if (Width > length) {
    // The whole width at once, then as far as the padding goes.
    memset(p, Zero ? '0' : ' ', Width);
    p += Width - length;
  }
  if (!Zero && negative) *p++ = '-';
  char* const end = p + digits;
  char* q = end;
  if constexpr (Base == 10) {
    while (magnitude >= 100) {
      q -= 2;
      memcpy(q, digit_pairs + (magnitude % 100) * 2, 2);
      magnitude /= 100;
    }
    if (magnitude >= 10) {
      memcpy(q - 2, digit_pairs + magnitude * 2, 2);
    } else {
      q[-1] = static_cast<char>('0' + magnitude);
    }
  } else {
    const char* hex = Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      *--q = hex[magnitude & 15];
      magnitude >>= 4;
    } while (magnitude);
  }
  return end;
}

// A string of any length. One that would leave less room than the line's
// fixed parts can take goes out on its own, after the line so far.
inline void put_string(Line& line, const char* s, size_t n, size_t bound) {
  if (n + bound <= line.room()) {
    line.text(s, n);
  } else {
    line.flush();
    write_out(s, n);
  }
}

// `n` bytes as upper-case hexadecimal pairs with a blank between them, as
// many lines' worth as they take.
void put_bytes(Line& line, const uint8_t* bytes, uint32_t n);

// A file's text or a file name in UTF-8 or with its control bytes shown, as
// FileText and FileName say: converted, then put as put_string puts it.
void put_file_text(Line& line, FileText text, Encoding e, size_t bound);
void put_file_name(Line& line, FileName name, Encoding e, size_t bound);

// Conversion C of argument `a`, written at `p` in `line`; returns the end.
// Only strings, whose length is not known when compiling, go through the
// line itself: elsewhere the compiler keeps `p` at hand.
template <Conversion C, size_t Bound, typename A>
[[gnu::always_inline]] inline char* put_conversion(Line& line, char* p, Encoding e, A a) {
  if constexpr (C.type == 's' && std::is_same_v<A, ShortName>) {
    // Its slot whole, within the room the format's bound keeps for it.
    memcpy(p, a.slot, sizeof ShortName::Slot{});
    return p + a.length;
  } else if constexpr (C.type == 's') {
    line.p = p;
    if constexpr (std::is_same_v<A, FileText>) {
      if (e == Encoding::cp932 && !a.escape)
        put_string(line, reinterpret_cast<const char*>(a.bytes), a.length, Bound);
      else
        put_file_text(line, a, e, Bound);
    } else if constexpr (std::is_same_v<A, FileName>) {
      put_file_name(line, a, e, Bound);
    } else if constexpr (std::is_same_v<A, std::string_view>) {
      put_string(line, a.data(), a.size(), Bound);
    } else if constexpr (std::is_same_v<A, Text>) {
      const char* s = e == Encoding::utf8 ? reinterpret_cast<const char*>(a.utf8) : a.cp932;
      put_string(line, s, strlen(s), Bound);
    } else {
      static_assert(std::is_convertible_v<A, const char*>, "%s takes a text");
      put_string(line, a, strlen(a), Bound);
    }
    return line.p;
  } else if constexpr (C.type == 'c') {
    static_assert(std::is_integral_v<A>, "%c takes a character");
    *p = static_cast<char>(a);
    return p + 1;
  } else {
    static_assert(std::is_integral_v<A>, "a number conversion takes an integer");
    // As printf takes the argument for its own type: signed for d, the
    // unsigned value of the same width for u, x and X.
    using U = std::make_unsigned_t<A>;
    if constexpr (C.type == 'd' && std::is_signed_v<A>) {
      const bool negative = a < 0;
      const uint64_t magnitude =
          negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(a)) : static_cast<uint64_t>(a);
      return put_number<10, false, C.width, C.zero>(p, magnitude, negative);
    } else {
      constexpr int base = C.type == 'x' || C.type == 'X' ? 16 : 10;
      return put_number<base, C.type == 'X', C.width, C.zero>(
          p, static_cast<uint64_t>(static_cast<U>(a)), false);
    }
  }
}

template <Format F, size_t... I, typename... A>
[[gnu::always_inline]] inline void put(Line& line, [[maybe_unused]] Encoding e,
                                       std::index_sequence<I...>, A... a) {
  constexpr Layout L = layout_of<F>;
  static_assert(L.count == sizeof...(A), "the format and the arguments do not match");
  // A file's text takes up to four bytes for each of its bytes, a name or a
  // program text three; the formats' own pieces must leave room for them.
  static_assert(L.bound <= kLineRoom / 4, "the format is too long for a line");
  // What the line holds goes out first where the format could overrun it.
  if (line.room() < L.bound) line.flush();
  char* p = line.p;
  memcpy(p, F.text, L.lead_length);
  p += L.lead_length;
  ((p = put_conversion<L.conversions[I], L.bound>(line, p, e, a),
    memcpy(p, F.text + L.conversions[I].after, L.conversions[I].after_length),
    p += L.conversions[I].after_length),
   ...);
  line.p = p;
}

}  // namespace outfmt

// Adds the format with its arguments to `line`, as printf would print them,
// in encoding `e`: the code page 932 form F or the UTF-8 form U of the
// format. Several of them make one line, written with line.flush().
template <outfmt::Format F, outfmt::Format U = F, typename... A>
[[gnu::always_inline]] inline void put(outfmt::Line& line, Encoding e, A... args) {
  static_assert(outfmt::both_forms<F, U>() || !outfmt::kCp932Literals,
                "a format beyond ASCII needs both its forms: out<TXT(\"...\")>");
  if (e == Encoding::utf8)
    outfmt::put<U>(line, e, std::index_sequence_for<A...>{}, args...);
  else
    outfmt::put<F>(line, e, std::index_sequence_for<A...>{}, args...);
}

// Prints the format with its arguments, as printf would, in encoding `e`.
template <outfmt::Format F, outfmt::Format U = F, typename... A>
[[gnu::always_inline]] inline void out(Encoding e, A... args) {
  outfmt::Line line;
  put<F, U>(line, e, args...);
  line.flush();
}

// Gives standard output a large full buffer when it is not a terminal.
// Call once, before the first output; returns whether it is a terminal.
bool start_output();

// Whether the `n` bytes at `s` are UTF-8 as RFC 3629 defines it: no overlong
// forms, no surrogates, nothing past U+10FFFF.
bool is_utf8(const char* s, size_t n);

// Whether the `n` bytes at `s` are text in code page 932: single bytes
// 00-7F and A1-DF, lead bytes 81-9F and E0-FC each with a trail 40-7E or
// 80-FC.
bool is_cp932(const char* s, size_t n);

// The length of the UTF-8 character at `s`, of which `n` bytes are there; 0
// when none starts there.
size_t utf8_length(const unsigned char* s, size_t n);
