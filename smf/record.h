#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

// What the walk learns about one track, by its index among the "MTrk" chunks.
struct TrackFacts {
  uint32_t pos;     // offset of the chunk's "MTrk"
  uint32_t size;    // the chunk's length field
  int16_t program;  // the number of the last program change; -1: none
  int8_t channel;   // 1..16 of the latest note on; 0: none
  bool used;        // a note on was reached
};

// Tracks beyond this many are walked but not recorded: a header announces
// at most 65,535, so no summary line could show them.
inline constexpr uint32_t kMaxRecordedTracks = 65536;

// What a walk gathers for the summary and the tempo copy. Made by
// make_record; its table is released with it.
struct Record {
  uint32_t header_size;  // "MThd", its length field and that many bytes; 0: no whole header chunk
  uint16_t format;
  uint16_t track_count;  // the tracks the header announces
  uint16_t division;
  uint32_t tempo;  // beats per minute of the last tempo event; 0: none
  uint16_t beat_numerator;
  uint16_t beat_denominator;
  int32_t conductor_track;     // the first track with a tempo event; -1: none
  int32_t system_setup_track;  // the last track named "System Setup"; -1: none
  bool data_without_status;    // a data byte stood where a status belongs
  struct Free {
    void operator()(void* p) const { free(p); }
  };
  std::unique_ptr<TrackFacts[], Free> tracks;  // entries 0..track_entries-1 were reached
  uint32_t track_entries;
  uint32_t track_capacity;
};

// Makes `rec` ready for the walk of a file of `size` bytes: cleared, no
// conductor or "System Setup" track, and a table for every track such a file
// can hold. 0 on success, 1 when there is no memory for the table.
int make_record(Record& rec, uint32_t size);

// The facts of track `i`; a cleared entry for a track the walk never reached.
const TrackFacts& track_facts(const Record& rec, uint32_t i);

// The writable entry of track `i`, or null beyond the table.
TrackFacts* new_track_slot(Record& rec, uint32_t i);
inline TrackFacts* track_slot(Record& rec, uint32_t i) {
  return i < rec.track_entries ? &rec.tracks[i] : new_track_slot(rec, i);
}
