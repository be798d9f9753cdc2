#pragma once
// JSON lines (-json): every item of a file as a JSON object on a line of its
// own, in file order, UTF-8 whatever the run prints, for scripts.
#include <cstdint>

#include "smf/image.h"
#include "smf/record.h"
#include "smf/song.h"

// {"type":"file",...}: the file's name (UTF-8, U+FFFD for a byte that is
// not) and size.
void print_json_file(const char* name, uint64_t size);

// {"type":TYPE,"message":MESSAGE}: an error, or a message of the copy of -t.
void print_json_message(const char* type, const char* message);

// Walks the image as -full does (see print_full) and prints each item: the
// header, RIFF wrapper, chunks, events with all they hold and where they sit,
// and cuts. Fills `record` and `song`.
void print_json(const Image& image, Song& song, Record& record);

// One object for each track the header announces (the summary's facts), one
// for each channel used, and the song's: its length and its tempo, meter
// and key maps and markers.
void print_json_song(const Record& record, Song& song);

// {"type":"tempo_copy","written":true,...}: the copy of -t written as
// `name`, with its tempo in microseconds a quarter and the input's tracks.
void print_json_copy(const char* name, uint32_t micros, uint16_t tracks);
