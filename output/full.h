#pragma once
#include "output/format.h"
#include "smf/image.h"
#include "smf/record.h"

// Prints the complete trace of the image (-full): every event of every
// track, read with running status, each on a line of its own with all it
// holds written out and named; the header, chunks and cuts as the usual
// trace prints them. Fills `record` as the walk does.
void print_full(const Image& image, Output o, Record& record);
