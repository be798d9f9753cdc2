#include "smf/decode.h"

uint16_t get_be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t get_be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void decode_header(const uint8_t* p, HeaderChunk* h) {
  h->length = get_be32(p + 4);
  h->format = get_be16(p + 8);
  h->ntrks = get_be16(p + 10);
  h->division = get_be16(p + 12);
}

uint32_t decode_vlq(const uint8_t* p, uint32_t avail, int32_t* count) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < avail; ++i) {
    value = value << 7 | (p[i] & 0x7F);
    if (!(p[i] & 0x80) || i == 3) {
      *count = static_cast<int32_t>(i + 1);
      return value;
    }
  }
  *count = 0;
  return 0;
}

uint32_t tempo_bpm(const uint8_t* p) {
  const uint32_t micros = tempo_micros(p);
  return micros ? 60000000u / micros : 0;
}

int32_t time_signature_denominator(uint8_t exponent) {
  return exponent <= 30 ? int32_t{1} << exponent : INT32_MIN;
}

uint32_t tempo_bpm_hundredths(uint32_t micros) {
  return micros ? static_cast<uint32_t>((uint64_t{6000000000} + micros / 2) / micros) : 0;
}
