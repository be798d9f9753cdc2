#pragma once
#include <cstdint>

#include "output/format.h"
#include "platform/files.h"
#include "smf/image.h"
#include "smf/record.h"

enum class TempoOutcome {
  go_on,   // the copy was written; the run prints its closing lines
  ends,    // the input holds a tempo: the run ends with exit code 0
  failed,  // refused or not written (message printed): exit code 1
};

// With a tempo-less input (`record` from its walk), writes
// "<path>(newtempo=<bpm>).mid": the input's header chunk with one more track
// announced, a conductor track (the tempo, 4/4, C major), then the rest of
// the input unchanged. `input` is the open input, whose permissions the
// copy takes. `newtempo` 0 asks for the tempo on standard input. Prints
// what it does to `o`.
TempoOutcome insert_tempo_track(const Record& record, const Image& image, const RawFile& input,
                                const char* midi_path, uint32_t newtempo, Output o);
