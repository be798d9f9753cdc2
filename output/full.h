#pragma once
#include "output/format.h"
#include "smf/image.h"
#include "smf/record.h"
#include "smf/song.h"

// Prints the complete trace of the image (-full): every event of every
// track, read with running status, each on a line of its own with all it
// holds written out and named, and where it sits in the song; the header,
// chunks and cuts as the usual trace prints them. Fills `record` as the walk
// does, and `song` (see start_song: where changes of tempo or meter stand
// beyond the first track, the image is walked twice).
void print_full(const Image& image, Output o, Song& song, Record& record);

// Prints what the song holds: its length, its tempo, meter and key maps,
// its markers and cue points, and a line for each channel used.
void print_song(const Song& song, Output o);
