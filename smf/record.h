#pragma once
#include <cstdint>

// Tracks the record has room for before its table first grows.
inline constexpr int MAX_TRACKS = 36;

// What the walk learns about one track, by its index among the "MTrk" chunks.
struct TrackFacts {
  uint32_t track_pos;         // offset of the chunk's "MTrk"
  uint32_t track_size;        // the chunk's length field
  const char* track_program;  // name of the last program change; null: none
  int32_t track_channel;      // 1..16 of the latest note on; 0: none
  uint8_t track_used;         // 1 once a note on was reached
};

// The analysis record: filled by the walker, read by the summary and the
// tempo-track insertion. Value-initialise it (`CMIDI rec{}`) to clear it.
struct CMIDI {
  uint32_t fsize;
  uint16_t FormatID;
  uint16_t Track_Count;
  uint16_t Delta_Time;
  uint32_t tempo;  // beats per minute; 0: no tempo event seen
  uint16_t beat_numerator;
  uint16_t beat_denominator;
  TrackFacts* tracks;  // entries 0..track_entries-1, grown by the walker
  uint32_t track_entries;
  uint32_t track_capacity;
  uint8_t show_all_notes;
  int32_t Conductor_Track;
  int32_t System_Setup_Track;
};

// The facts of track `i`; a cleared entry for a track the walk never reached.
const TrackFacts& track_facts(const CMIDI& rec, uint32_t i);

// The writable entry of track `i`, growing the table (cleared) as needed.
// Null only when memory for it cannot be had.
TrackFacts* track_slot(CMIDI& rec, uint32_t i);

// Releases the table and leaves the record without entries.
void release_tracks(CMIDI& rec);
