#pragma once
// The check of a file (-check): is it sound?
#include <cstdint>

#include "output/format.h"
#include "smf/image.h"

struct CheckCounts {
  uint64_t errors;    // the file breaks the rules: readers will differ
  uint64_t warnings;  // legal, but readers and players often go wrong
};

// Walks the image of the file `name` (as -full reads it) and prints one
// line for each finding, "<name>:0x%06x: error: <text> [<id>]" (or
// "warning"), in the order of where they stand, a finding that comes again
// within a track once with its count; then "<name>: ok" or "<name>: <n>
// errors, <m> warnings". Returns the counts.
CheckCounts check_file(const Image& image, const char* name, Output o);
