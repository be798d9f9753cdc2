#include "smf/meta.h"

#include <cstring>

#include "smf/decode.h"
#include "smf/out.h"

namespace {

// The major key with -6..6 flats or sharps, by key byte + 6.
const char* const key_names[13] = {"B", "D♭", "A♭", "E♭", "B♭", "F", "C",
                                   "G", "D",  "A",  "E",  "B",  "F"};

// The fixed size of the known types that do not use the length byte.
uint32_t fixed_count(uint8_t type) {
  switch (type) {
    case 0x21:
      return 4;
    case 0x2F:
      return 3;
    case 0x51:
      return 6;
    case 0x58:
      return 7;
    case 0x59:
      return 5;
    default:
      return 0;
  }
}

bool is_text(uint8_t type) { return type == 0x01 || type == 0x02 || type == 0x03 || type == 0x06; }

}  // namespace

uint32_t handle_meta(const Image& image, uint32_t pos, MetaResult* result) {
  const uint8_t* head = bytes_at(image, pos, 2);
  if (!head) return 0;
  const uint8_t type = head[1];
  out<"[%02X] ">(type);

  uint32_t count = fixed_count(type);
  if (count == 0) {
    const uint8_t* length = bytes_at(image, pos, 3);
    if (!length) return 0;
    count = 3 + uint32_t{length[2]};
  }
  const uint8_t* e = bytes_at(image, pos, count);
  if (!e) return 0;

  char text[256];
  if (is_text(type)) {
    const uint32_t n = e[2];
    memcpy(text, e + 3, n);
    text[n] = '\0';
  }

  switch (type) {
    case 0x01:
      out<"テキスト=%s\n">(text);
      break;
    case 0x02:
      out<"著作権表示=%s\n">(text);
      break;
    case 0x03:
      out<"シーケンス名=%s\n">(text);
      strcpy(result->name, text);
      break;
    case 0x06:
      out<"マーカー=%s\n">(text);
      break;
    case 0x21:
      out<"出力ポートの指定 %d\n">(e[3]);
      break;
    case 0x2F:
      out<"トラック終端\n">();
      break;
    case 0x51: {
      const uint32_t micros = uint32_t{e[3]} << 16 | uint32_t{e[4]} << 8 | e[5];
      // A tempo of 0 microseconds has no beats per minute; it stays 0,
      // which the walker takes as no tempo at all.
      result->tempo = micros ? 60000000u / micros : 0;
      out<"(0x%02x 0x%02x 0x%02x)">(e[3], e[4], e[5]);
      out<"tempo=%lu\n">(static_cast<unsigned long>(result->tempo));
      break;
    }
    case 0x58: {
      const uint8_t exponent = e[4];
      // 2^d as a signed 32-bit number; from 2^31 on it has no such value and
      // stands as the smallest one.
      const int32_t denominator = exponent <= 30 ? int32_t{1} << exponent : INT32_MIN;
      result->beat_numerator = e[3];
      result->beat_denominator = static_cast<uint16_t>(denominator);
      out<"拍子=%d/%d\n">(e[3], denominator);
      break;
    }
    case 0x59: {
      const int8_t key = static_cast<int8_t>(e[3]);
      const char* name = key >= -6 && key <= 6 ? key_names[key + 6] : "---(out of -6～6";
      out<"調号=%d %d %s %s\n">(e[3], e[4], name, e[4] == 0 ? "M" : "m");
      break;
    }
    default:
      break;  // unhandled type: the tag stands alone and the line stays open
  }
  return count;
}
