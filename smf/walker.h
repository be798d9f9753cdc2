#pragma once
#include <cstdint>

#include "smf/image.h"
#include "smf/record.h"

// Walks the whole image once: traces the header, every chunk and every event
// of each "MTrk" chunk to standard output and fills `rec`, made by
// make_record. Without `show_all_notes` each track is traced up to its first
// note.
// An item that does not lie wholly inside the image ends the walk with
// "unexpected end of file at 0x%06lx\n". Always returns 0.
int walk_smf(const Image& image, CMIDI& rec);
