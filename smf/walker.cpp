#include "smf/walker.h"

void gather_meta(Record& record, int32_t track, const Event& e) {
  const uint8_t* b = e.bytes;
  if (e.meta_type == 0x03) {
    // The name up to its first NUL byte.
    const size_t n = strnlen(reinterpret_cast<const char*>(b), e.length);
    if (n == 12 && memcmp(b, "System Setup", 12) == 0) record.system_setup_track = track;
  } else if (e.meta_type == 0x51) {
    const uint32_t bpm = tempo_bpm(b);
    if (bpm != 0) {
      record.tempo = bpm;
      if (record.conductor_track == -1) record.conductor_track = track;
    }
  } else if (e.meta_type == 0x58 && b[0] != 0) {
    record.beat_numerator = b[0];
    record.beat_denominator = static_cast<uint16_t>(time_signature_denominator(b[1]));
  }
}

bool find_riff_data(const Image& image, Riff& riff) {
  const uint8_t* head = bytes_at(image, 0, 12);
  if (!head || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "RMID", 4) != 0) return false;
  for (uint64_t pos = 12; pos <= image.size;) {
    const uint8_t* chunk = bytes_at(image, static_cast<uint32_t>(pos), 8);
    if (!chunk) return false;
    const uint32_t length = uint32_t{chunk[4]} | uint32_t{chunk[5]} << 8 |
                            uint32_t{chunk[6]} << 16 | uint32_t{chunk[7]} << 24;
    if (memcmp(chunk, "data", 4) == 0) {
      const uint64_t end = pos + 8 + length;
      riff = Riff{static_cast<uint32_t>(pos + 8), length,
                  static_cast<uint32_t>(end < image.size ? end : image.size)};
      return true;
    }
    pos += 8 + uint64_t{length} + (length & 1);
  }
  return false;
}
