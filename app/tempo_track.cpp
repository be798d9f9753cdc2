#include "app/tempo_track.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "smf/decode.h"
#include "smf/out.h"

const uint8_t tempo_track_template[33] = {
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

namespace {

// Above this the tempo in microseconds would be 0; below the lower bound it
// would not fit the event's three bytes.
constexpr unsigned long kMinTempo = 4;
constexpr unsigned long kMaxTempo = 60000000;

bool tempo_in_range(unsigned long bpm) { return bpm >= kMinTempo && bpm <= kMaxTempo; }

void report_range() { out<"tempo must be 4 to 60000000\n">(); }

// An answer at the prompt is read from at most this many bytes, and its
// rest is passed over up to a line end or this many bytes; after this many
// bad answers in a row the prompt gives up.
constexpr int kAnswerBytes = 4096;
constexpr int kAnswers = 100;

// Reads an answer from standard input as scanf("%lu") reads a number (white
// space, also line ends, is skipped; an optional sign; decimal digits; the
// first other character stays unread), but from no more than kAnswerBytes
// bytes. Returns false at the end of input; else true and the number in
// `value`, 0 where there is none or it is negative, and a number out of
// range stays out of range whatever the width of long.
bool read_answer(unsigned long& value) {
  int budget = kAnswerBytes;
  auto next = [&budget] { return --budget < 0 ? '\0' : getchar(); };
  int c;
  do c = next();
  while (c == ' ' || (c >= '\t' && c <= '\r'));
  if (c == EOF) return false;
  const bool negative = c == '-';
  if (c == '+' || c == '-') c = next();
  value = 0;
  for (; c >= '0' && c <= '9'; c = next())
    if (value <= kMaxTempo) value = value * 10 + static_cast<unsigned long>(c - '0');
  if (c != EOF && budget >= 0) ungetc(c, stdin);
  if (negative) value = 0;
  return true;
}

// Asks for the tempo until an answer in range comes; 0 at the end of input
// or after kAnswers bad answers.
uint32_t ask_tempo() {
  for (int bad = 0; bad < kAnswers; ++bad) {
    out<"テンポ入力=">();
    fflush(stdout);
    unsigned long answer;
    if (!read_answer(answer)) return 0;
    if (tempo_in_range(answer)) return static_cast<uint32_t>(answer);
    report_range();
    int c, rest = 0;
    do c = getchar();
    while (++rest < kAnswerBytes && c != '\n' && c != EOF);
  }
  return 0;
}

}  // namespace

uint64_t header_chunk_size(const Image& image) {
  const uint8_t* h = bytes_at(image, 0, 14);
  if (!h || memcmp(h, "MThd", 4) != 0) return 0;
  const uint32_t length = get_be32(h + 4);
  if (length < 6 || !bytes_at(image, 0, 8 + uint64_t{length})) return 0;
  return 8 + uint64_t{length};
}

void make_tempo_track(uint32_t newtempocalc, uint8_t track[33]) {
  memcpy(track, tempo_track_template, sizeof tempo_track_template);
  track[12] = static_cast<uint8_t>(newtempocalc >> 16);
  track[13] = static_cast<uint8_t>(newtempocalc >> 8);
  track[14] = static_cast<uint8_t>(newtempocalc);
}

void plan_tempo_copy(const Image& image, uint64_t header_size, const uint8_t track[33],
                     TempoCopy& copy) {
  const uint16_t raised = static_cast<uint16_t>(get_be16(image.data + 10) + 1);
  copy.raised[0] = static_cast<uint8_t>(raised >> 8);
  copy.raised[1] = static_cast<uint8_t>(raised);
  memcpy(copy.track, track, sizeof copy.track);
  copy.pieces[0] = {image.data, 10};
  copy.pieces[1] = {copy.raised, 2};
  copy.pieces[2] = {image.data + 12, header_size - 12};
  copy.pieces[3] = {copy.track, sizeof copy.track};
  copy.pieces[4] = {image.data + header_size, image.size - header_size};
}

TempoOutcome insert_tempo_track(const CMIDI& rec, const Image& image, const char* midi_path,
                                uint32_t newtempo) {
  if (rec.tempo != 0) {
    out<"テンポ情報があります\n">();
    return TempoOutcome::ends;
  }

  const uint64_t header_size = header_chunk_size(image);
  if (header_size == 0) {
    out<"cannot add a track: no complete MThd header\n">();
    return TempoOutcome::failed;
  }
  const uint16_t track_count = get_be16(image.data + 10);
  if (track_count == 65535) {
    out<"cannot add a track: the header already announces 65535 tracks\n">();
    return TempoOutcome::failed;
  }

  if (newtempo == 0) {
    newtempo = ask_tempo();
    if (newtempo == 0) {
      out<"no tempo given\n">();
      return TempoOutcome::failed;
    }
  } else if (!tempo_in_range(newtempo)) {
    report_range();
    return TempoOutcome::failed;
  }

  const size_t name_cap = strlen(midi_path) + sizeof "(newtempo=4294967295).mid";
  char* newtempofn = static_cast<char*>(malloc(name_cap));
  if (!newtempofn) {
    out<"out of memory\n">();
    return TempoOutcome::failed;
  }
  snprintf(newtempofn, name_cap, "%s(newtempo=%lu).mid", midi_path,
           static_cast<unsigned long>(newtempo));
  out<"newtempofn=%s\n">(Raw{shown_name(newtempofn)});

  TempoOutcome outcome = TempoOutcome::failed;
  RawFile output;
  if (create_new(output, newtempofn) != 0) {
    out<"write error\n">();
  } else {
    const uint32_t newtempocalc = 60000000u / newtempo;
    out<"newtempocalc %lu\n">(static_cast<unsigned long>(newtempocalc));
    uint8_t track[sizeof tempo_track_template];
    make_tempo_track(newtempocalc, track);
    out<"%x %x %x\n">(track[12], track[13], track[14]);
    out<"CMIDI.Track_Count %d\n">(rec.Track_Count);
    TempoCopy copy;
    plan_tempo_copy(image, header_size, track, copy);
    bool written = true;
    for (const TempoCopy::Piece& piece : copy.pieces) {
      written = written && write_bytes(output, piece.data, piece.size) == piece.size;
    }
    if (!written) discard_new(output);
    if (written && finish_new(output, newtempofn) == 0) {
      outcome = TempoOutcome::go_on;
    } else {
      out<"write error\n">();
    }
  }
  free(newtempofn);
  return outcome;
}
