// The fuzz target: the walk, the summary and the assembly of the tempo copy
// on arbitrary bytes, with and without the notes flag. Built with libFuzzer
// (clang) or, with replay_main.cpp, as a plain program that replays files.
// Besides the sanitizers' own checks it checks what must hold for every
// input and aborts when something does not:
//   - the walk ends, and what it records describes real "MTrk" chunks;
//   - the summary prints one "Track " line per track the header announces;
//   - the tempo copy is image.size + 33 bytes: the header with one more
//     track, the new track, then the input's bytes after its header; walked
//     again it announces one track more, holds the new tempo, time and key
//     signature in its first track and records the input's tracks after it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/summary.h"
#include "app/tempo_track.h"
#include "smf/decode.h"
#include "smf/image.h"
#include "smf/record.h"
#include "smf/walker.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  fflush(stdout);
  fprintf(stderr, "smf_fuzz: property violated: %s\n", what);
  abort();
}

// The record as the program prepares it before the walk.
CMIDI walked(const Image& image, bool notes) {
  CMIDI rec{};
  rec.fsize = image.size;
  rec.show_all_notes = notes ? 1 : 0;
  rec.Conductor_Track = -1;
  rec.System_Setup_Track = -1;
  check(walk_smf(image, rec) == 0, "walk_smf returns 0");
  return rec;
}

// What every walk must have recorded, whatever the input.
void check_record(const Image& image, const CMIDI& rec) {
  const uint8_t* h = bytes_at(image, 0, 14);
  if (h && memcmp(h, "MThd", 4) == 0) {
    check(rec.FormatID == get_be16(h + 8), "FormatID is the header's");
    check(rec.Track_Count == get_be16(h + 10), "Track_Count is the header's");
    check(rec.Delta_Time == get_be16(h + 12), "Delta_Time is the header's");
  } else {
    check(rec.FormatID == 0 && rec.Track_Count == 0 && rec.Delta_Time == 0,
          "no header, no header values");
  }
  check(rec.track_entries <= rec.track_capacity, "table entries within its capacity");
  for (uint32_t i = 0; i < rec.track_entries; ++i) {
    const TrackFacts& t = rec.tracks[i];
    const uint8_t* chunk = bytes_at(image, t.track_pos, 8);
    check(chunk && memcmp(chunk, "MTrk", 4) == 0, "a recorded track is an MTrk chunk");
    check(get_be32(chunk + 4) == t.track_size, "a track's size is its length field");
    check(i == 0 || t.track_pos > rec.tracks[i - 1].track_pos, "tracks in file order");
    check(t.track_channel >= 0 && t.track_channel <= 16, "channel 0..16");
  }
  const int64_t entries = rec.track_entries;
  check(rec.Conductor_Track >= -1 && rec.Conductor_Track < entries, "conductor is a track");
  check(rec.System_Setup_Track >= -1 && rec.System_Setup_Track < entries,
        "system setup is a track");
  check((rec.tempo == 0) == (rec.Conductor_Track == -1), "a tempo comes with its conductor");
}

// Counts the lines that begin with "Track " in what is written to it.
struct LineCounter {
  uint32_t lines = 0;
  uint32_t matched = 0;  // bytes of "Track " matched at the line start; 7: none
};

ssize_t count_lines(void* cookie, const char* text, size_t size) {
  static const char kPrefix[] = "Track ";
  LineCounter& c = *static_cast<LineCounter*>(cookie);
  size_t i = 0;
  while (i < size) {
    if (c.matched < 6) {
      if (text[i] == '\n') {
        c.matched = 0;
      } else {
        c.matched = text[i] == kPrefix[c.matched] ? c.matched + 1 : 7;
        if (c.matched == 6) ++c.lines;
      }
      ++i;
      continue;
    }
    const void* end = memchr(text + i, '\n', size - i);
    if (!end) break;
    i = static_cast<size_t>(static_cast<const char*>(end) - text) + 1;
    c.matched = 0;
  }
  return static_cast<ssize_t>(size);
}

// Prints the summary and counts its track lines, keeping none of it.
uint32_t summary_track_lines(const CMIDI& rec) {
  LineCounter counter;
  cookie_io_functions_t io{};
  io.write = count_lines;
  FILE* counting = fopencookie(&counter, "w", io);
  check(counting != nullptr, "fopencookie");
  static char buffer[1 << 16];
  setvbuf(counting, buffer, _IOFBF, sizeof buffer);
  fflush(stdout);
  FILE* const saved = stdout;
  stdout = counting;  // glibc's stdout is a variable: the summary writes there
  print_summary(rec);
  stdout = saved;
  check(fclose(counting) == 0, "fclose of the summary");
  check(counter.matched == 0, "the summary ends its last line");
  return counter.lines;
}

// A tempo in 4..60000000 taken from the input's bytes, now and then one of
// the two ends of the range.
uint32_t tempo_for(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  switch (hash % 8) {
    case 0: return 4;
    case 1: return 60000000;
    case 2: return 4 + hash / 8 % 300;
    default: return 4 + hash / 8 % (60000000 - 4 + 1);
  }
}

// Whether the chunk recorded as `t` in the copy ends, in the walk's 32-bit
// arithmetic, on a different side of its start than at 33 bytes less in the
// input: the two walks of the same bytes part there.
bool end_wraps_differently(const TrackFacts& t) {
  const uint64_t start = uint64_t{t.track_pos} + 8;
  const bool in_copy = start + t.track_size > UINT32_MAX;
  const bool in_input = start - 33 + t.track_size > UINT32_MAX;
  return in_copy != in_input;
}

void check_tempo_copy(const Image& image, const CMIDI& input_rec, bool notes) {
  const uint64_t header_size = header_chunk_size(image);
  if (header_size == 0) return;
  const uint16_t track_count = get_be16(image.data + 10);
  if (track_count == 65535) return;

  const uint32_t bpm = tempo_for(image.data, image.size);
  const uint32_t newtempocalc = 60000000u / bpm;
  uint8_t track[sizeof tempo_track_template];
  make_tempo_track(newtempocalc, track);
  const uint64_t total = uint64_t{image.size} + sizeof track;
  uint8_t* out = static_cast<uint8_t*>(malloc(total));
  check(out != nullptr, "memory for the copy");
  assemble_tempo_copy(image, header_size, track, out);
  const Image copy{out, static_cast<uint32_t>(total)};

  check(memcmp(out, image.data, 10) == 0, "copy: header start unchanged");
  check(get_be16(out + 10) == track_count + 1, "copy: one more track announced");
  check(memcmp(out + 12, image.data + 12, header_size - 12) == 0, "copy: header rest unchanged");
  check(memcmp(out + header_size, track, sizeof track) == 0, "copy: the new track after the header");
  check(memcmp(out + header_size + sizeof track, image.data + header_size,
               image.size - header_size) == 0,
        "copy: the input's bytes after its header");

  // The header and the new track alone: what the new track holds.
  CMIDI head = walked(Image{out, static_cast<uint32_t>(header_size + sizeof track)}, notes);
  check(head.tempo == 60000000u / newtempocalc, "new track: the new tempo");
  check(head.beat_numerator == 4 && head.beat_denominator == 4, "new track: 4/4");
  check(head.Conductor_Track == 0 && head.System_Setup_Track == -1, "new track: conductor");
  check(head.track_entries == 1 && head.tracks[0].track_pos == header_size &&
            head.tracks[0].track_size == 25 && head.tracks[0].track_used == 0,
        "new track: one track of 25 bytes after the header");
  release_tracks(head);

  CMIDI rec = walked(copy, notes);
  check_record(copy, rec);
  check(rec.Track_Count == track_count + 1, "copy walked: one more track");
  check(rec.Conductor_Track == 0, "copy walked: the new track is the conductor");
  check(rec.track_entries >= 1 && rec.tracks[0].track_pos == header_size &&
            rec.tracks[0].track_size == 25,
        "copy walked: the new track first");

  // After the new track the copy is walked as the input was, 33 bytes on,
  // unless a chunk's end wraps in one walk and not in the other.
  bool parted = false;
  for (uint32_t i = 1; i < rec.track_entries && !parted; ++i)
    parted = end_wraps_differently(rec.tracks[i]);
  if (!parted) {
    check(rec.tempo == (input_rec.tempo ? input_rec.tempo : head.tempo),
          "copy walked: the input's last tempo, else the new one");
    if (input_rec.beat_numerator != 0) {
      check(rec.beat_numerator == input_rec.beat_numerator &&
                rec.beat_denominator == input_rec.beat_denominator,
            "copy walked: the input's time signature");
    } else {
      check(rec.beat_numerator == 4 && rec.beat_denominator == 4, "copy walked: 4/4");
    }
    check(rec.System_Setup_Track ==
              (input_rec.System_Setup_Track == -1 ? -1 : input_rec.System_Setup_Track + 1),
          "copy walked: the system setup track one on");
    check(rec.track_entries == input_rec.track_entries + 1, "copy walked: one track more");
    for (uint32_t i = 0; i < input_rec.track_entries; ++i) {
      const TrackFacts& a = input_rec.tracks[i];
      const TrackFacts& b = rec.tracks[i + 1];
      check(b.track_pos == a.track_pos + 33 && b.track_size == a.track_size &&
                b.track_program == a.track_program && b.track_channel == a.track_channel &&
                b.track_used == a.track_used,
            "copy walked: the input's track, 33 bytes on");
    }
  }
  release_tracks(rec);
  free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = freopen("/dev/null", "w", stdout) != nullptr;
  check(quiet, "standard output to /dev/null");
  if (size > UINT32_MAX) return 0;

  // Exactly the input's bytes on the heap, so that any read past them is
  // caught; one byte for an empty input, as the program allocates it.
  uint8_t* bytes = static_cast<uint8_t*>(malloc(size ? size : 1));
  check(bytes != nullptr, "memory for the image");
  if (size) memcpy(bytes, data, size);
  const Image image{bytes, static_cast<uint32_t>(size)};

  for (int pass = 0; pass < 2; ++pass) {
    const bool notes = pass == 1;
    CMIDI rec = walked(image, notes);
    check_record(image, rec);
    check(summary_track_lines(rec) == rec.Track_Count, "one summary line per announced track");
    check_tempo_copy(image, rec, notes);
    release_tracks(rec);
  }
  free(bytes);
  return 0;
}
