#pragma once
#include <cstdint>

#include "smf/image.h"

// What a meta event tells the walker. Cleared by the caller before each call;
// a field the event's type does not set stays zero or empty.
struct MetaResult {
  char name[1024];          // text of a sequence/track name (type 03)
  uint32_t tempo;           // beats per minute (type 51)
  uint16_t beat_numerator;  // type 58
  uint16_t beat_denominator;
};

// Traces the meta event whose 0xFF byte stands at `pos` and fills `result`.
// The event, from its 0xFF byte:
//   0 FF   1 type   2 length n (one byte)   3.. data
// Prints the tag "[%02X] " once the type is known, then the type's own text.
// Returns the bytes the event occupies (3 + n for texts and unhandled types,
// fixed counts for port, end of track, tempo, time and key signature), or 0
// when those bytes do not lie wholly inside the image; nothing is printed
// after the tag then.
uint32_t handle_meta(const Image& image, uint32_t pos, MetaResult* result);
