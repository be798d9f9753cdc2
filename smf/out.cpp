#include "smf/out.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>

#include "smf/text.h"

namespace outfmt {

bool utf8_output = false;

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

Utf8Pieces make_utf8_pieces(const char* format, const Layout& layout) {
  Utf8Pieces pieces{};
  for (int i = 0; i <= layout.count; ++i) {
    const char* piece = format + (i == 0 ? 0 : layout.conversions[i - 1].after);
    const size_t n = i == 0 ? layout.lead_length : layout.conversions[i - 1].after_length;
    char* text = static_cast<char*>(calloc(4 * n + kPieceMove, 1));  // kept for the whole run
    pieces.length[i] = static_cast<uint16_t>(text ? cp932_to_utf8(piece, n, text) : 0);
    pieces.text[i] = text;
  }
  return pieces;
}

const char* utf8_of(const char* program_text, char* out, size_t& n) {
  n = 0;
  bool ascii = true;
  for (; program_text[n]; ++n) ascii = ascii && static_cast<unsigned char>(program_text[n]) < 0x80;
  if (ascii) return program_text;
  n = cp932_to_utf8(program_text, n, out);
  return out;
}

const char* utf8_of(FileText text, char* out, size_t& n) {
  n = strlen(text.text);
  if (is_utf8(text.text, n)) return text.text;
  n = cp932_to_utf8(text.text, n, out);
  return out;
}

}  // namespace outfmt

void out_init_stdout(bool utf8) {
  // A trace of a large file is hundreds of megabytes: fewer, larger writes.
  static char buffer[1 << 20];
#ifdef _WIN32
  const bool terminal = _isatty(_fileno(stdout));
#else
  const bool terminal = isatty(STDOUT_FILENO);
#endif
  if (!terminal) setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  outfmt::utf8_output = utf8;
}
