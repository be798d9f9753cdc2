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
