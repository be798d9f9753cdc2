#pragma once
#include <cstdint>

// Tracks beyond this many are walked but not recorded: a header announces
// at most 65,535, so no summary line could show them.
inline constexpr uint32_t kMaxRecordedTracks = 65536;

// What the walk learns about one track, by its index among the "MTrk" chunks.
struct TrackFacts {
  uint32_t track_pos;         // offset of the chunk's "MTrk"
  uint32_t track_size;        // the chunk's length field
  const char* track_program;  // name of the last program change; null: none
  int32_t track_channel;      // 1..16 of the latest note on; 0: none
  bool track_used;            // a note on was reached
};

// The analysis record: filled by the walker, read by the summary and the
// tempo-track insertion. Made by make_record.
struct CMIDI {
  uint32_t fsize;
  uint16_t FormatID;
  uint16_t Track_Count;
  uint16_t Delta_Time;
  uint32_t tempo;  // beats per minute; 0: no tempo event seen
  uint16_t beat_numerator;
  uint16_t beat_denominator;
  TrackFacts* tracks;      // entries 0..track_entries-1 were reached; malloc'ed
  uint32_t track_entries;
  uint32_t track_capacity;
  bool show_all_notes;     // trace every event, not each track up to its first note
  bool running_status;     // decode running status and every channel message (-rs)
  int32_t Conductor_Track;
  int32_t System_Setup_Track;
};

// Makes `rec` ready for the walk of a file of `fsize` bytes: cleared, with
// the walk's options, no conductor or "System Setup" track (-1) and a
// cleared table for every track such a file can hold. 0 on success, 1 when
// there is no memory for the table.
int make_record(CMIDI& rec, uint32_t fsize, bool show_all_notes, bool running_status);

// The facts of track `i`; a cleared entry for a track the walk never reached.
const TrackFacts& track_facts(const CMIDI& rec, uint32_t i);

// The writable entry of track `i`, or null beyond the table.
TrackFacts* track_slot(CMIDI& rec, uint32_t i);
