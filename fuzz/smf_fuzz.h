#pragma once
// The fuzz target and the checks it makes, also run by the tests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "smf/record.h"

// What a walk printed (the trace, then the summary) and recorded.
struct Walk {
  std::string trace, summary;
  CMIDI rec;  // its table released: the entries are in `tracks`
  std::vector<TrackFacts> tracks;
};

// The program's options that change a walk, as bits.
enum Options { kNotes = 1, kRunningStatus = 2, kUtf8 = 4, kAllOptions = 8 };

// Walks the `size` bytes at `data` as the program does with `options`, then
// prints the summary, keeping what both print.
Walk walk(const uint8_t* data, uint32_t size, int options);

// Checks that the walk of the first `cut` bytes prints a prefix of the whole
// trace, then at most a cut message at a position up to `cut`; aborts if not.
void check_prefix(const uint8_t* data, size_t size, size_t cut, int options);

// Checks every property of the fuzz target on the bytes; aborts if one fails.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
