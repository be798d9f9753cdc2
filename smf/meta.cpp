#include "smf/meta.h"

#include <cstring>

#include "smf/out.h"

namespace {

// The major key with -6..6 flats or sharps, by key byte + 6.
const char* const key_names[13] = {"B", "D♭", "A♭", "E♭", "B♭", "F", "C",
                                   "G", "D",  "A",  "E",  "B",  "F"};

// The text of an event of a text type into `text` (room for 256 bytes): its
// n bytes and a NUL after them.
void take_text(const uint8_t* e, char* text) {
  memcpy(text, e + 3, e[2]);
  text[e[2]] = '\0';
}

template <outfmt::Format F>
void text(const uint8_t* e, MetaResult*) {
  char t[256];
  take_text(e, t);
  out<F>(FileText{t});
}

void sequence_name(const uint8_t* e, MetaResult* result) {
  take_text(e, result->name);
  out<"シーケンス名=%s\n">(FileText{result->name});
}

void port(const uint8_t* e, MetaResult*) { out<"出力ポートの指定 %d\n">(e[3]); }

void end_of_track(const uint8_t*, MetaResult*) { out<"トラック終端\n">(); }

void tempo(const uint8_t* e, MetaResult* result) {
  const uint32_t micros = uint32_t{e[3]} << 16 | uint32_t{e[4]} << 8 | e[5];
  // A tempo of 0 microseconds has no beats per minute; it stays 0, which the
  // walker takes as no tempo at all.
  result->tempo = micros ? 60000000u / micros : 0;
  out<"(0x%02x 0x%02x 0x%02x)">(e[3], e[4], e[5]);
  out<"tempo=%lu\n">(static_cast<unsigned long>(result->tempo));
}

void time_signature(const uint8_t* e, MetaResult* result) {
  const uint8_t exponent = e[4];
  // 2^d as a signed 32-bit number; from 2^31 on it has no such value and
  // stands as the smallest one.
  const int32_t denominator = exponent <= 30 ? int32_t{1} << exponent : INT32_MIN;
  result->beat_numerator = e[3];
  result->beat_denominator = static_cast<uint16_t>(denominator);
  out<"拍子=%d/%d\n">(e[3], denominator);
}

void key_signature(const uint8_t* e, MetaResult*) {
  const int8_t key = static_cast<int8_t>(e[3]);
  const char* name = key >= -6 && key <= 6 ? key_names[key + 6] : "---(out of -6～6";
  out<"調号=%d %d %s %s\n">(e[3], e[4], name, e[4] == 0 ? "M" : "m");
}

// Every type the handler knows: its size from the FF byte on (0: 3 + the
// length byte) and what it prints and reports.
struct MetaType {
  uint8_t type;
  uint8_t count;
  void (*report)(const uint8_t* event, MetaResult* result);
};

const MetaType kTypes[] = {
    {0x01, 0, text<"テキスト=%s\n">},
    {0x02, 0, text<"著作権表示=%s\n">},
    {0x03, 0, sequence_name},
    {0x06, 0, text<"マーカー=%s\n">},
    {0x21, 4, port},
    {0x2F, 3, end_of_track},
    {0x51, 6, tempo},
    {0x58, 7, time_signature},
    {0x59, 5, key_signature},
};

}  // namespace

uint32_t handle_meta(const Image& image, uint32_t pos, MetaResult* result) {
  const uint8_t* head = bytes_at(image, pos, 2);
  if (!head) return 0;
  out<"[%02X] ">(head[1]);
  const MetaType* known = nullptr;
  for (const MetaType& t : kTypes) known = t.type == head[1] ? &t : known;
  uint32_t count = known ? known->count : 0;
  if (count == 0) {
    const uint8_t* length = bytes_at(image, pos, 3);
    if (!length) return 0;
    count = 3 + uint32_t{length[2]};
  }
  const uint8_t* e = bytes_at(image, pos, count);
  if (!e) return 0;
  // An unknown type prints nothing: its tag stands alone, the line stays open.
  if (known) known->report(e, result);
  return count;
}
