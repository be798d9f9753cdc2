#pragma once
#include <cstdint>

// Pure decoders of the file's numbers. They never print or allocate; the
// caller hands them a pointer from which the bytes they read are readable.

// Two bytes, first most significant: 0..65535.
uint16_t get_be16(const uint8_t* p);

// Four bytes, first most significant.
uint32_t get_be32(const uint8_t* p);

// The fields of the header chunk, whose id is "MThd", as the file holds them:
//   bytes 0-3  id ("MThd")        bytes 8-9   format
//   bytes 4-7  length             bytes 10-11 track count
//                                 bytes 12-13 division
struct HeaderChunk {
  uint32_t length;
  uint16_t format;
  uint16_t ntrks;
  uint16_t division;
};

// Fills `h` from the 14 bytes at `p`. Checks nothing.
void decode_header(const uint8_t* p, HeaderChunk* h);

// Decodes a variable-length quantity at `p`, of which `avail` bytes are
// readable: seven bits a byte, most significant first, ended by a byte with
// its top bit clear and never longer than four bytes (after four bytes with
// the top bit set the value is their 28 low bits). Stores the bytes consumed
// (1..4) in `*count` and returns the value; stores 0 and returns 0 when the
// quantity runs past the `avail` bytes.
uint32_t decode_vlq(const uint8_t* p, uint32_t avail, int32_t* count);

// The microseconds per quarter note of a tempo event's three bytes at `p`.
inline uint32_t tempo_micros(const uint8_t* p) {
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// The beats per minute of a tempo event's three bytes of microseconds per
// quarter note, truncated; 0 for 0 microseconds, which has none.
uint32_t tempo_bpm(const uint8_t* p);

// 2 to the power `exponent` as a signed 32-bit number, the denominator of a
// time signature; from 2^31 on it has no such value and stands as the
// smallest one.
int32_t time_signature_denominator(uint8_t exponent);

// The beats per minute of a tempo of `micros` microseconds per quarter note
// in hundredths, rounded; 0 for 0 microseconds, which has none.
uint32_t tempo_bpm_hundredths(uint32_t micros);
