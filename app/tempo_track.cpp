#include "app/tempo_track.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/options.h"
#include "output/json.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {

// The conductor track put in front: tempo (bytes 12-14, replaced before
// writing), 4/4, C major, end of track, all at time 0.
const uint8_t kTempoTrack[33] = {
    0x4D, 0x54, 0x72, 0x6B,  // "MTrk"
    0x00, 0x00, 0x00, 0x19,  // length 25
    0x00, 0xFF, 0x51, 0x03,  // tempo, microseconds per quarter note:
    0x09, 0xBD, 0x5A,        //   replaced before writing
    0x00, 0xFF, 0x58, 0x04,  // time signature
    0x04, 0x02, 0x18, 0x08,  //   4/4, 24 clocks a click, 8 32nds a quarter
    0x00, 0xFF, 0x59, 0x02,  // key signature
    0x00, 0x00,              //   C major
    0x00, 0xFF, 0x2F, 0x00,  // end of track
};

// Above this the tempo in microseconds would be 0; below the lower bound it
// would not fit the event's three bytes.
constexpr uint32_t kMinTempo = 4;
constexpr uint32_t kMaxTempo = 60000000;

bool tempo_in_range(uint32_t bpm) { return bpm >= kMinTempo && bpm <= kMaxTempo; }

// A message about the copy: a line, or with -json an object.
void say(Output o, const char* message) {
  if (o.json)
    print_json_message("tempo_copy", message);
  else
    out<"%s\n">(o.encoding, message);
}

void report_range(Output o) { say(o, "tempo must be 4 to 60000000"); }

// An answer at the prompt is read from at most this many bytes, and its
// rest is passed over up to a line end or this many bytes; after this many
// bad answers in a row the prompt gives up.
constexpr int kAnswerBytes = 4096;
constexpr int kAnswers = 100;

// Reads an answer from standard input as scanf("%lu") reads a number (white
// space, also line ends, is skipped; the first character after the number
// stays unread), but from no more than kAnswerBytes bytes. Returns false at
// the end of input, else true and the number in `value` (see read_number).
bool read_answer(uint32_t& value) {
  int budget = kAnswerBytes;
  auto next = [&budget] { return --budget < 0 ? '\0' : getchar(); };
  int c;
  do c = next();
  while (is_space(c));
  if (c == EOF) return false;
  value = read_number(c, next);
  if (c != EOF && budget >= 0) ungetc(c, stdin);
  return true;
}

// Asks for the tempo until an answer in range comes; 0 at the end of input
// or after kAnswers bad answers.
uint32_t ask_tempo(Output o) {
  for (int bad = 0; bad < kAnswers; ++bad) {
    // With -json the prompt, which is no JSON, goes to standard error.
    if (o.json) {
      fputs(reinterpret_cast<const char*>(u8"テンポ入力="), stderr);
    } else {
      out<TXT("テンポ入力=")>(o.encoding);
      fflush(stdout);
    }
    uint32_t answer;
    if (!read_answer(answer)) return 0;
    if (tempo_in_range(answer)) return answer;
    report_range(o);
    int c, rest = 0;
    do c = getchar();
    while (++rest < kAnswerBytes && c != '\n' && c != EOF);
  }
  return 0;
}

// Writes the copy: the header chunk with its track count raised by 1, the
// conductor track, then every byte of the image after the header chunk.
bool write_copy(RawFile& output, const Image& image, const Record& record, const uint8_t* track) {
  const uint8_t* header = bytes_at(image, 0, record.header_size);
  const uint8_t* rest = bytes_at(image, record.header_size, image.size - record.header_size);
  const uint16_t count = static_cast<uint16_t>(record.track_count + 1);
  const uint8_t raised[2] = {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  const struct {
    const uint8_t* data;
    uint64_t size;
  } pieces[] = {{header, 10},
                {raised, 2},
                {header + 12, record.header_size - 12},
                {track, sizeof kTempoTrack},
                {rest, image.size - record.header_size}};
  for (const auto& piece : pieces)
    if (write_bytes(output, piece.data, piece.size) != piece.size) return false;
  return true;
}

}  // namespace

TempoOutcome insert_tempo_track(const Record& record, const Image& image, const RawFile& input,
                                const char* midi_path, uint32_t newtempo, Output o) {
  const Encoding e = o.encoding;
  if (record.tempo != 0) {
    if (o.json)
      say(o, "the file holds a tempo: nothing written");
    else
      out<TXT("テンポ情報があります\n")>(e);
    return TempoOutcome::ends;
  }
  // A header chunk of at least 6 bytes: format, track count, division.
  if (record.header_size < 14) {
    say(o, "cannot add a track: no complete MThd header");
    return TempoOutcome::failed;
  }
  if (record.track_count == 65535) {
    say(o, "cannot add a track: the header already announces 65535 tracks");
    return TempoOutcome::failed;
  }

  if (newtempo == 0) {
    newtempo = ask_tempo(o);
    if (newtempo == 0) {
      say(o, "no tempo given");
      return TempoOutcome::failed;
    }
  } else if (!tempo_in_range(newtempo)) {
    report_range(o);
    return TempoOutcome::failed;
  }

  const size_t name_cap = strlen(midi_path) + sizeof "(newtempo=4294967295).mid";
  char* newtempofn = static_cast<char*>(malloc(name_cap));
  if (!newtempofn) {
    say(o, "out of memory");
    return TempoOutcome::failed;
  }
  snprintf(newtempofn, name_cap, "%s(newtempo=%lu).mid", midi_path,
           static_cast<unsigned long>(newtempo));
  if (!o.json)
    out<"newtempofn=%s\n">(e, FileName{shown_name(newtempofn, e == Encoding::utf8), o.escape});

  TempoOutcome outcome = TempoOutcome::failed;
  RawFile output;
  if (create_new(output, newtempofn, input) != 0) {
    say(o, "write error");
  } else {
    const uint32_t micros = 60000000u / newtempo;
    uint8_t track[sizeof kTempoTrack];
    memcpy(track, kTempoTrack, sizeof track);
    track[12] = static_cast<uint8_t>(micros >> 16);
    track[13] = static_cast<uint8_t>(micros >> 8);
    track[14] = static_cast<uint8_t>(micros);
    if (!o.json)
      out<"newtempocalc %lu\n%x %x %x\nCMIDI.Track_Count %d\n">(e, micros, track[12], track[13],
                                                                track[14], record.track_count);
    if (!write_copy(output, image, record, track)) {
      discard_new(output);
      say(o, "write error");
    } else if (finish_new(output, newtempofn) != 0) {
      say(o, "write error");
    } else {
      outcome = TempoOutcome::go_on;
      if (o.json) print_json_copy(newtempofn, micros, record.track_count);
    }
  }
  free(newtempofn);
  return outcome;
}
