#pragma once
#include "output/format.h"
#include "smf/image.h"
#include "smf/record.h"
#include "smf/walker.h"

// Prints the usual trace of the image: the header chunk, the scan's start,
// each chunk with a heading and one line per event, and where each track's
// walk ended; a cut item as far as the file holds it, then "unexpected end
// of file at 0x%06lx\n". Fills `record` as the walk does.
void print_trace(const Image& image, const WalkOptions& options, Output o, Record& record);
