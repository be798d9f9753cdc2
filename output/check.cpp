#include "output/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "smf/decode.h"
#include "smf/names.h"
#include "smf/song.h"
#include "smf/walker.h"

namespace {

using outfmt::Line;

// Every finding the check knows: its name for scripts, whether it is an
// error (readers will differ) or a warning (legal, but often misread).
enum Name : uint8_t {
  no_header,
  header_length,
  division_zero,
  format_unknown,
  format0_tracks,
  track_count,
  chunk_past_end,
  event_past_chunk,
  no_end_of_track,
  after_end_of_track,
  data_without_status,
  status_in_data,
  meta_length,
  long_quantity,
  sysex_unterminated,
  system_byte,
  truncated,
  trailing_bytes,
  first_warning,
  running_status_after_meta = first_warning,
  note_stuck,
  note_off_unmatched,
  note_retrigger,
  tempo_outside_first_track,
  tempo_zero,
  no_tempo,
  time_signature_invalid,
  foreign_chunk,
  riff_wrapper,
  smpte_division,
  text_encoding,
  kNames
};

const char* const kIds[kNames] = {
    "no-header",
    "header-length",
    "division-zero",
    "format-unknown",
    "format0-tracks",
    "track-count",
    "chunk-past-end",
    "event-past-chunk",
    "no-end-of-track",
    "after-end-of-track",
    "data-without-status",
    "status-in-data",
    "meta-length",
    "long-quantity",
    "sysex-unterminated",
    "system-byte",
    "truncated",
    "trailing-bytes",
    "running-status-after-meta",
    "note-stuck",
    "note-off-unmatched",
    "note-retrigger",
    "tempo-outside-first-track",
    "tempo-zero",
    "no-tempo",
    "time-signature-invalid",
    "foreign-chunk",
    "riff-wrapper",
    "smpte-division",
    "text-encoding",
};

// A finding: the first place where it stands, what it says there, and how
// many times it came within the track.
struct Finding {
  Name name;
  uint32_t order;  // the findings' own, for a stable sort
  uint32_t pos;
  uint64_t count;
  char text[96];
};

struct CheckView {
  const Image& image;
  List<Finding> findings;
  // Where the finding of each name stands in `findings` for the current
  // track (or the file, before the first track); -1: none yet.
  int32_t current[kNames];
  uint16_t format = 0, ntrks = 0, division = 0;
  bool header_seen = false;
  int32_t tracks = 0;  // MTrk chunks found
  int32_t track = -1;
  uint32_t chunk_pos = 0;
  uint64_t chunk_end = 0;
  bool ended = false;       // the track's end of track was seen
  uint8_t before_meta = 0;  // the running status a meta or sysex cancelled; 0: none
  bool after_meta = false;  // the event before was a meta or sysex event
  uint32_t open_sysex = 0;  // an F0 message without its F7, awaiting F7 continuations
  bool sysex_open = false;
  uint8_t running = 0;  // the running status, as the walk keeps it
  bool any_tempo = false;
  uint16_t sounding[kChannels][kKeys];  // notes on not yet ended, by channel and key
  uint32_t first_on[kChannels][kKeys];  // where the oldest of them began

  explicit CheckView(const Image& i) : image(i) { count_anew(); }

  // Findings from here on are counted apart from those before.
  void count_anew() {
    for (int32_t& at : current) at = -1;
  }

  // Takes in finding `name` at `pos`, saying F of the arguments where it is
  // the first of its name in the track.
  template <outfmt::Format F, typename... A>
  void find(Name name, uint32_t pos, A... a) {
    int32_t& at = current[name];
    if (at >= 0) {
      ++findings.items[at].count;
      return;
    }
    Finding f{name, findings.count, pos, 1, {}};
    Line text;
    put<F>(text, Encoding::cp932, a...);  // ASCII alone
    memcpy(f.text, text.buffer,
           std::min(sizeof f.text - 1, static_cast<size_t>(text.p - text.buffer)));
    at = static_cast<int32_t>(findings.count);
    findings.add(f);
    if (findings.count == static_cast<uint32_t>(at)) at = -1;  // no memory: not kept
  }

  void riff(const Riff&) { find<"wrapped in RIFF (RMID)">(riff_wrapper, 0); }

  void header(const HeaderChunk& h) {
    header_seen = true;
    division = h.division;
    format = h.format;
    ntrks = h.ntrks;
    const uint32_t pos = 0;
    if (h.length < 6) find<"header chunk of %u bytes, fewer than 6">(header_length, pos, h.length);
    if (h.division == 0) find<"division of 0 ticks a quarter note">(division_zero, pos);
    if (h.division & 0x8000) find<"SMPTE division: time in frames, no beats">(smpte_division, pos);
    if (h.format > 2) find<"format %u, not 0, 1 or 2">(format_unknown, pos, h.format);
    if (h.format == 0 && h.ntrks != 1)
      find<"format 0 with %u tracks">(format0_tracks, pos, h.ntrks);
  }

  void scan(uint32_t) {
    if (!header_seen) find<"no MThd header chunk">(no_header, 0);
  }

  void chunk(const Chunk& c) {
    bool printable = true;
    for (int i = 0; i < 4; ++i) printable = printable && c.id[i] >= 0x20 && c.id[i] < 0x7F;
    // Bytes that make no chunk id after the tracks are no chunk at all.
    if (!printable && tracks > 0) return find<"bytes after the last chunk">(trailing_bytes, c.pos);
    char id[17];
    for (int i = 0; i < 4; ++i) id[i] = printable ? static_cast<char>(c.id[i]) : '?';
    id[4] = '\0';
    find<"chunk \"%s\" of %lu bytes passed over">(foreign_chunk, c.pos, id,
                                                  static_cast<unsigned long>(c.length));
    past_end(c);
  }

  void past_end(const Chunk& c) {
    if (uint64_t{c.pos} + 8 + c.length > image.size)
      find<"chunk length %lu reaches past the end of the file">(
          chunk_past_end, c.pos, static_cast<unsigned long>(c.length));
  }

  void track_begin(const Chunk& c) {
    count_anew();  // findings count within a track
    ++tracks;
    track = c.track;
    chunk_pos = c.pos;
    chunk_end = uint64_t{c.pos} + 8 + c.length;
    ended = false;
    running = 0;
    before_meta = 0;  // so nothing counts as after a meta event of the track before
    memset(sounding, 0, sizeof sounding);
    past_end(c);
  }

  void track_end(uint32_t) {
    if (sysex_open)
      find<"system exclusive message without F7 at its end">(sysex_unterminated, open_sysex);
    sysex_open = false;
    if (!ended) find<"track without end of track (FF 2F)">(no_end_of_track, chunk_pos);
    uint32_t stuck = 0, first = UINT32_MAX;
    for (int ch = 0; ch < kChannels; ++ch)
      for (int key = 0; key < kKeys; ++key)
        if (sounding[ch][key]) {
          ++stuck;
          if (first_on[ch][key] < first) first = first_on[ch][key];
        }
    if (stuck) {
      find<"note on without a note off before the end of its track">(note_stuck, first);
      if (current[note_stuck] >= 0) findings.items[current[note_stuck]].count = stuck;
    }
  }

  void cut(const Cut& c) {
    // Less than a chunk's head after the tracks: bytes that are no chunk.
    if (!c.event && tracks > 0 && tracks >= ntrks && image.size - c.pos < 8) {
      count_anew();
      return find<"bytes after the last chunk">(trailing_bytes, c.pos);
    }
    count_anew();
    find<"the file ends inside an item">(truncated, c.pos);
  }

  // Whether the variable-length quantity at `pos` takes four bytes all with
  // their top bit set: more than four.
  bool too_long(uint32_t pos) const {
    const uint8_t* b = bytes_at(image, pos, 4);
    return b && (b[0] & b[1] & b[2] & b[3] & 0x80);
  }

  // The usual event, a channel message in its place, takes the shortest way;
  // the others go on in functions of their own.
  void event(const Event& e) {
    if (e.delta_bytes == 4 || e.end > chunk_end || ended || sysex_open) [[unlikely]]
      out_of_place(e);
    if (e.kind > Kind::pitch_bend) return other(e);
    after_meta = false;
    if (!e.running) running = e.status;
    channel_message(e);
  }

  [[gnu::noinline]] void out_of_place(const Event& e) {
    if (e.delta_bytes == 4 && too_long(e.pos))
      find<"variable-length quantity of more than 4 bytes">(long_quantity, e.pos);
    if (e.end > chunk_end) find<"event reaches past the end of its chunk">(event_past_chunk, e.pos);
    if (ended) find<"bytes after the end of track">(after_end_of_track, e.pos);
    // A sysex that F7 continuations do not go on ends unterminated.
    if (sysex_open && !(e.kind == Kind::sysex && e.status == 0xF7)) {
      find<"system exclusive message without F7 at its end">(sysex_unterminated, open_sysex);
      sysex_open = false;
    }
  }

  // A meta event, a system exclusive message or an unknown byte.
  [[gnu::noinline]] void other(const Event& e) {
    const bool was_after_meta = after_meta;
    after_meta = e.kind == Kind::meta || e.kind == Kind::sysex;
    if (after_meta && running) before_meta = running;
    if (!e.running && e.status >= 0x80) running = e.status < 0xF0 ? e.status : 0;
    const uint32_t status_pos = e.pos + e.delta_bytes;
    switch (e.kind) {
      case Kind::sysex:
        if (too_long(status_pos + 1))
          find<"variable-length quantity of more than 4 bytes">(long_quantity, e.pos);
        if (e.status == 0xF0 || sysex_open) {
          sysex_open = !(e.length > 0 && e.bytes[e.length - 1] == 0xF7);
          if (e.status == 0xF0) open_sysex = e.pos;
        }
        return;
      case Kind::meta:
        return meta(e, status_pos);
      case Kind::unknown:
      default:
        if (e.status >= 0x80)
          return find<"system message %02X inside a track">(system_byte, e.pos, e.status);
        if (was_after_meta && before_meta)
          return find<
              "data byte %02X after a meta or system exclusive event: running status "
              "%02X ended there">(running_status_after_meta, e.pos, e.status, before_meta);
        return find<"data byte %02X where a status belongs">(data_without_status, e.pos, e.status);
    }
  }

  void channel_message(const Event& e) {
    if ((e.data[0] | e.data[1]) & 0x80)  // a message of one data byte has 0 for the second
      for (const uint8_t b : e.data)
        if (b >= 0x80) find<"status byte %02X inside a channel message">(status_in_data, e.pos, b);
    if (e.kind != Kind::note_on && e.kind != Kind::note_off) return;
    const uint8_t key = e.data[0] & 0x7F;
    uint16_t& on = sounding[e.channel][key];
    if (e.kind == Kind::note_on && e.data[1] != 0) {
      if (on)
        find<"note on for %s on channel %u, which is sounding">(note_retrigger, e.pos,
                                                                note_name(key), e.channel);
      else
        first_on[e.channel][key] = e.pos;
      if (on < UINT16_MAX) ++on;
    } else if (on) {
      --on;
    } else {
      find<"note off for %s on channel %u, which is not sounding">(note_off_unmatched, e.pos,
                                                                   note_name(key), e.channel);
    }
  }

  void meta(const Event& e, uint32_t status_pos) {
    const uint8_t* b = e.bytes;
    if (!meta_length_fits(e.meta_type, e.declared))
      return find<"meta event %02X of length %lu">(meta_length, e.pos, e.meta_type,
                                                   static_cast<unsigned long>(e.declared));
    if (too_long(status_pos + 2))
      find<"variable-length quantity of more than 4 bytes">(long_quantity, e.pos);
    if (e.meta_type == 0x2F) ended = true;
    if (e.meta_type >= 0x01 && e.meta_type <= 0x0F) {
      const char* s = reinterpret_cast<const char*>(b);
      if (!is_utf8(s, e.length) && !is_cp932(s, e.length))
        find<"text neither ASCII, UTF-8 nor code page 932">(text_encoding, e.pos);
    }
    if (e.meta_type == 0x51) {
      any_tempo = true;
      if (format == 1 && track > 0)
        find<"tempo outside the first track">(tempo_outside_first_track, e.pos);
      if (tempo_micros(b) == 0) find<"tempo of 0 microseconds a quarter note">(tempo_zero, e.pos);
    }
    if (e.meta_type == 0x58) {
      // A beat of a whole number of ticks, at least one, where the division
      // counts ticks a quarter note.
      const uint64_t whole = uint64_t{division} * 4;
      const bool ticks = division != 0 && !(division & 0x8000);
      const bool beats = !ticks || (b[1] < 32 && whole >= (uint64_t{1} << b[1]) &&
                                    whole % (uint64_t{1} << b[1]) == 0);
      if (b[0] == 0 || !beats)
        find<"time signature %u/2^%u counts for nothing">(time_signature_invalid, e.pos, b[0],
                                                          b[1]);
    }
  }

  // The findings about the whole file, once it is walked.
  void finish() {
    count_anew();
    if (header_seen && tracks != ntrks)
      find<"the header announces %u tracks, the file holds %d">(track_count, 0, ntrks, tracks);
    if (!any_tempo && tracks > 0) find<"no tempo: 120 BPM taken">(no_tempo, 0);
  }
};

}  // namespace

CheckCounts check_file(const Image& image, const char* name, Output o) {
  CheckView view(image);
  walk(image, WalkOptions{true, true}, view);
  view.finish();
  // In the order of where they stand, the file's own at 0 first.
  std::sort(view.findings.items, view.findings.items + view.findings.count,
            [](const Finding& a, const Finding& b) {
              return a.pos != b.pos ? a.pos < b.pos : a.order < b.order;
            });
  CheckCounts counts{};
  const FileName shown{name, o.escape};
  for (const Finding& f : view.findings) {
    const bool error = f.name < first_warning;
    ++(error ? counts.errors : counts.warnings);
    Line line;
    put<"%s:0x%06lx: %s: %s">(line, o.encoding, shown, f.pos, error ? "error" : "warning", f.text);
    if (f.count > 1) put<TXT(" (×%lu)")>(line, o.encoding, f.count);
    put<" [%s]\n">(line, o.encoding, kIds[f.name]);
    line.flush();
  }
  if (counts.errors == 0 && counts.warnings == 0)
    out<"%s: ok\n">(o.encoding, shown);
  else
    out<"%s: %lu errors, %lu warnings\n">(o.encoding, shown, counts.errors, counts.warnings);
  return counts;
}
