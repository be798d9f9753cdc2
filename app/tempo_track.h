#pragma once
#include <cstdint>

#include "smf/image.h"
#include "smf/raw_file.h"
#include "smf/record.h"

// The conductor track put in front of a tempo-less file: tempo (bytes 12-14,
// replaced before writing), 4/4, C major, end of track, all at time 0.
extern const uint8_t tempo_track_template[33];

enum class TempoOutcome {
  go_on,     // the copy was written; the run prints its closing lines
  ends,      // the input holds a tempo: the run ends with exit code 0
  failed,    // refused or not written (message printed): exit code 1
};

// With a tempo-less input, writes "<path>(newtempo=<bpm>).mid": the input's
// header chunk with one more track announced, the conductor track, then the
// rest of the input unchanged. `newtempo` 0 asks for the tempo on standard
// input. Closes `input` when the run ends here.
TempoOutcome insert_tempo_track(const CMIDI& rec, const Image& image,
                                const char* midi_path, uint32_t newtempo,
                                RawFile& input);
