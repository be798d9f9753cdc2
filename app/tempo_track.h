#pragma once
#include <cstdint>

#include "smf/image.h"
#include "smf/raw_file.h"
#include "smf/record.h"

// The conductor track put in front of a tempo-less file: tempo (bytes 12-14,
// replaced before writing), 4/4, C major, end of track, all at time 0.
extern const uint8_t tempo_track_template[33];

// The size of the header chunk the image begins with ("MThd", its length
// field and that many bytes), or 0 when it does not begin with a whole one
// of at least 6 bytes.
uint64_t header_chunk_size(const Image& image);

// The conductor track with `newtempocalc` (microseconds per quarter note, its
// low 24 bits) in its tempo event.
void make_tempo_track(uint32_t newtempocalc, uint8_t track[33]);

// The copy as the pieces it is written in, in order: the header chunk of
// `header_size` bytes with its track count (bytes 10-11) raised by 1, then
// the track, then every byte of the image after the header chunk. Most of it
// is the image itself, so nothing large is copied in memory.
struct TempoCopy {
  struct Piece {
    const uint8_t* data;
    uint64_t size;
  };
  uint8_t raised[2];
  uint8_t track[33];
  Piece pieces[5];
};

// Plans the copy of `image` in `copy`, whose pieces point into the image and
// into `copy` itself.
void plan_tempo_copy(const Image& image, uint64_t header_size, const uint8_t track[33],
                     TempoCopy& copy);

enum class TempoOutcome {
  go_on,   // the copy was written; the run prints its closing lines
  ends,    // the input holds a tempo: the run ends with exit code 0
  failed,  // refused or not written (message printed): exit code 1
};

// With a tempo-less input, writes "<path>(newtempo=<bpm>).mid": the input's
// header chunk with one more track announced, the conductor track, then the
// rest of the input unchanged. `newtempo` 0 asks for the tempo on standard
// input.
TempoOutcome insert_tempo_track(const CMIDI& rec, const Image& image, const char* midi_path,
                                uint32_t newtempo);
