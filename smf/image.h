#pragma once
#include <cstdint>

// The whole input file in memory. Positions are unsigned 32-bit offsets from
// `data`; `size` bytes are readable and nothing beyond them.
struct Image {
  const uint8_t* data;
  uint32_t size;
};

// The one way into the image: a pointer to the `n` bytes at `pos`, or null
// when they do not lie wholly inside it. Written so that no sum can wrap.
inline const uint8_t* bytes_at(const Image& image, uint32_t pos, uint64_t n) {
  return n <= image.size && pos <= image.size - n ? image.data + pos : nullptr;
}
