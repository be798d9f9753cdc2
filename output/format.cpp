#include "output/format.h"

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"

namespace outfmt {

const char digit_pairs[201] =
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

// The program's one thread needs no locking of the stream where the C
// library offers that. On Windows standard output stays in text mode: "\n"
// goes out as "\r\n".
#ifndef __GLIBC__
#define fwrite_unlocked fwrite
#endif
void write_out(const char* bytes, size_t n) { fwrite_unlocked(bytes, 1, n, stdout); }

namespace {

// Room for a text as it is turned into another: on the stack for the usual
// short ones, else taken from the heap for as long as the text is printed.
struct Scratch {
  char small[1024];
  char* heap = nullptr;
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  ~Scratch() { free(heap); }
  char* room(size_t n) {
    if (n <= sizeof small) return small;
    free(heap);
    heap = static_cast<char*>(malloc(n));
    return heap;
  }
};

char* put_byte_code(char* to, unsigned char byte) {
  *to++ = '\\';
  *to++ = 'x';
  *to++ = "0123456789ABCDEF"[byte >> 4];
  *to++ = "0123456789ABCDEF"[byte & 15];
  return to;
}

bool is_control(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// The bytes of `s` with each control byte (and with `utf8`, each byte that
// starts no UTF-8 character) as "\xNN", into `to` (room for 4 * n).
size_t show_bytes(const unsigned char* s, size_t n, bool controls, bool utf8, char* to) {
  char* const start = to;
  for (size_t i = 0; i < n;) {
    const size_t length = utf8 ? utf8_length(s + i, n - i) : 1;
    if (length == 0 || (controls && is_control(s[i]))) {
      to = put_byte_code(to, s[i++]);
    } else {
      memcpy(to, s + i, length);
      to += length;
      i += length;
    }
  }
  return static_cast<size_t>(to - start);
}

}  // namespace

void put_bytes(Line& line, const uint8_t* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (line.room() < 3) line.flush();
    if (i > 0) *line.p++ = ' ';
    *line.p++ = "0123456789ABCDEF"[bytes[i] >> 4];
    *line.p++ = "0123456789ABCDEF"[bytes[i] & 15];
  }
}

void put_file_text(Line& line, FileText text, Encoding e, size_t bound) {
  const char* s = reinterpret_cast<const char*>(text.bytes);
  size_t n = text.length;
  Scratch shown, decoded;
  // Control bytes are never part of a code page 932 character: they can be
  // shown before the text is decoded.
  if (text.escape) {
    char* to = shown.room(4 * n);
    if (to) {
      n = show_bytes(text.bytes, n, true, false, to);
      s = to;
    }
  }
  if (e == Encoding::utf8 && !is_utf8(s, n)) {
    char* to = decoded.room(4 * n);
    if (to) {
      n = cp932_to_utf8(s, n, to);
      s = to;
    }
  }
  put_string(line, s, n, bound);
}

void put_file_name(Line& line, FileName name, Encoding e, size_t bound) {
  const char* s = name.name;
  size_t n = strlen(s);
  Scratch shown;
  const bool utf8 = e == Encoding::utf8;
  if (name.escape || (utf8 && !is_utf8(s, n))) {
    char* to = shown.room(4 * n);
    if (to) {
      n = show_bytes(reinterpret_cast<const unsigned char*>(name.name), n, name.escape, utf8, to);
      s = to;
    }
  }
  put_string(line, s, n, bound);
}

}  // namespace outfmt

size_t utf8_length(const unsigned char* s, size_t n) {
  const unsigned lead = s[0];
  if (lead < 0x80) return 1;
  size_t length = 4;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below
    if (lead == 0xED) high = 0x9F;  // surrogates above
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    if (lead == 0xF0) low = 0x90;   // overlong below
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF above
  } else {
    return 0;
  }
  if (n < length || s[1] < low || s[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((s[i] & 0xC0) != 0x80) return 0;
  return length;
}

bool is_cp932(const char* s, size_t n) {
  const auto* b = reinterpret_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n; ++i) {
    const unsigned c = b[i];
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (!lead || ++i == n) return false;
    const unsigned t = b[i];
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

bool is_utf8(const char* s, size_t n) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n;) {
    const size_t length = utf8_length(bytes + i, n - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool start_output() {
  // A trace of a large file is hundreds of megabytes: fewer, larger writes.
  static char buffer[1 << 20];
  const bool terminal = stdout_is_terminal();
  if (!terminal) setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return terminal;
}
