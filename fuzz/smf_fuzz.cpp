// The fuzz target. For any bytes, with and without -noteon, -rs and -u8, it
// aborts unless
//   - the walk ends, and what it records describes "MTrk" chunks in order;
//   - the summary has one "Track " line per track the header announces;
//   - the walk of a prefix prints a prefix of the whole trace ("->fsize"
//     values aside), then at most the cut message;
//   - with -u8, all it prints is UTF-8;
//   - the tempo copy is the header with one more track announced, the
//     33-byte track, then the input's bytes after its header.
#include "fuzz/smf_fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/summary.h"
#include "app/tempo_track.h"
#include "smf/decode.h"
#include "smf/out.h"
#include "smf/text.h"
#include "smf/walker.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "smf_fuzz: property violated: %s\n", what);
  abort();
}

std::string without_fsize(std::string s) {
  for (size_t at = 0; (at = s.find("->fsize ", at)) != std::string::npos;)
    s.erase(at + 7, s.find('\n', at) - at - 7);
  return s;
}

void check_walk(const Image& image, const Walk& w) {
  const CMIDI& rec = w.rec;
  const uint8_t* h = bytes_at(image, 0, 14);
  check(rec.Track_Count == (h && memcmp(h, "MThd", 4) == 0 ? get_be16(h + 10) : 0),
        "Track_Count is the header's");
  for (size_t i = 0; i < w.tracks.size(); ++i) {
    const uint8_t* chunk = bytes_at(image, w.tracks[i].track_pos, 8);
    check(chunk && memcmp(chunk, "MTrk", 4) == 0 && get_be32(chunk + 4) == w.tracks[i].track_size,
          "a recorded track is an MTrk chunk with its length");
    check(i == 0 || w.tracks[i].track_pos > w.tracks[i - 1].track_pos, "tracks in file order");
  }
  check((rec.tempo == 0) == (rec.Conductor_Track == -1), "a tempo comes with its conductor");
  size_t lines = 0;
  for (size_t at = 0; (at = w.summary.find("\nTrack ", at)) != std::string::npos; ++at) ++lines;
  check(lines == rec.Track_Count, "one summary line per announced track");
}

void check_tempo_copy(const Image& image) {
  const uint64_t header = header_chunk_size(image);
  if (header == 0 || get_be16(image.data + 10) == 65535) return;
  uint8_t track[33];
  make_tempo_track(60000000u / (4 + image.size % 300), track);
  TempoCopy plan;
  plan_tempo_copy(image, header, track, plan);
  std::string copy, in(reinterpret_cast<const char*>(image.data), image.size);
  for (const TempoCopy::Piece& piece : plan.pieces)
    copy.append(reinterpret_cast<const char*>(piece.data), piece.size);
  const uint16_t count = get_be16(image.data + 10) + 1;
  in.replace(10, 2, {static_cast<char>(count >> 8), static_cast<char>(count)});
  in.insert(header, reinterpret_cast<const char*>(track), 33);
  check(copy == in, "copy: the header with one more track, the new track, the rest");
}

}  // namespace

Walk walk(const uint8_t* data, uint32_t size, int options) {
  Walk w;
  check(make_record(w.rec, size, options & kNotes, options & kRunningStatus) == 0, "a record");
  outfmt::utf8_output = options & kUtf8;
  char* text = nullptr;
  size_t length = 0;
  FILE* const saved = stdout;
  stdout = open_memstream(&text, &length);  // the program writes to whatever stdout is
  check(walk_smf(Image{data, size}, w.rec) == 0, "walk_smf returns 0");
  fflush(stdout);
  const size_t traced = length;
  print_summary(w.rec);
  fclose(stdout);
  stdout = saved;
  outfmt::utf8_output = false;
  w.trace.assign(text, traced);
  w.summary.assign(text + traced, length - traced);
  free(text);
  w.tracks.assign(w.rec.tracks, w.rec.tracks + w.rec.track_entries);
  free(w.rec.tracks);
  w.rec.tracks = nullptr;
  return w;
}

void check_prefix(const uint8_t* data, size_t size, size_t cut, int options) {
  if (cut < 4 || cut > size) return;  // shorter than "MThd": not the same file any more
  // One byte more in the buffer, unlike the file's: a read past the prefix
  // would show in its trace.
  std::string bytes(reinterpret_cast<const char*>(data), cut);
  bytes += static_cast<char>(cut < size ? data[cut] ^ 0x55 : 0x55);
  Walk whole = walk(data, static_cast<uint32_t>(size), options);
  Walk part = walk(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(cut), options);
  std::string trace = without_fsize(part.trace);
  const size_t at = trace.rfind("unexpected end of file at 0x");
  if (at != std::string::npos) {
    check(trace.find('\n', at) == trace.size() - 1, "the cut message ends the trace");
    check(strtoul(trace.c_str() + at + 28, nullptr, 16) <= cut, "a cut within the prefix");
    trace.erase(at);
  }
  check(without_fsize(whole.trace).starts_with(trace), "a prefix's trace is a prefix of the trace");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // Exactly the input's bytes on the heap, so that any read past them is caught.
  auto* bytes = static_cast<uint8_t*>(malloc(size ? size : 1));
  memcpy(bytes, data, size);
  const Image image{bytes, static_cast<uint32_t>(size)};
  for (int options = 0; options < kAllOptions; ++options) {
    Walk w = walk(bytes, image.size, options);
    check_walk(image, w);
    const std::string printed = w.trace + w.summary;
    check(!(options & kUtf8) || is_utf8(printed.data(), printed.size()), "-u8 prints UTF-8");
    check_prefix(bytes, size, size ? bytes[size / 2] * size / 256 : 0, options);
  }
  check_tempo_copy(image);
  free(bytes);
  return 0;
}
