#pragma once
#include <cstdint>

// The items a walk hands to its view, each decoded once. Positions are byte
// offsets in the file image; pointers point into it.

// The channels of a channel message's status, and the keys of a note.
inline constexpr int kChannels = 16;
inline constexpr int kKeys = 128;

// A chunk: its position (where its id begins), its id and its length field.
struct Chunk {
  uint32_t pos;
  const uint8_t* id;  // 4 bytes
  uint32_t length;
  int32_t track;  // the index among the "MTrk" chunks; -1 for a chunk of another id
};

enum class Kind : uint8_t {
  note_off,          // 8n key velocity
  note_on,           // 9n key velocity (velocity 0 included)
  poly_pressure,     // An key pressure (decoded with running status)
  control,           // Bn controller value
  program,           // Cn program
  channel_pressure,  // Dn pressure (decoded with running status)
  pitch_bend,        // En lsb msb
  sysex,             // F0 (and with running status F7) length bytes
  meta,              // FF type length bytes
  unknown,           // any other byte where a status belongs
};

struct Event {
  uint32_t pos;         // where its delta time begins
  uint32_t delta;       // the delta time in ticks
  uint8_t delta_bytes;  // the bytes of its variable-length quantity, 1 to 4
  uint64_t tick;        // ticks from the start of its track
  uint32_t end;         // the position after it
  uint8_t status;       // its status byte, or the running status it takes
  bool running;         // the status is the running status: not in the file
  Kind kind;
  uint8_t channel;    // the low 4 bits of the status
  uint8_t data[2];    // a channel message's data bytes
  uint8_t meta_type;  // meta events
  uint32_t declared;  // a meta event's length as the file gives it
  // The contents of a meta event (after its length, a variable-length
  // quantity; for the types of a fixed size, the bytes that size gives after
  // a length byte) or of a system exclusive message (after its length
  // quantity, a closing F7 included).
  const uint8_t* bytes;
  uint32_t length;
};

// A file wrapped in RIFF (".rmi"): the contents of its "data" chunk, where
// the file the walk reads begins, its length field, and where they end
// within the file.
struct Riff {
  uint32_t pos;
  uint32_t length;
  uint32_t end;
};

// The file ends inside an item that begins at `pos`: the header or a chunk
// (no event), or an event, decoded as far as `reached`.
struct Cut {
  enum Reached : uint8_t { position, delta, status, meta_type };
  uint32_t pos;
  const Event* event = nullptr;
  Reached reached = position;
};
