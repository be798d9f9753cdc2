#pragma once
// The one walk over a file: it decodes the header chunk, every chunk and
// every event of each "MTrk" chunk once, hands each item to a view, and
// gathers in a Record what the summary and the tempo copy need. It never
// prints; the view does.
//
// A view is any type with these members, called in file order:
//   riff(const Riff&)           (running status only) the file is wrapped in RIFF
//   header(const HeaderChunk&)  the file begins with "MThd" and 14 bytes
//   scan(uint32_t pos)          where the scan for chunks begins
//   chunk(const Chunk&)         a chunk whose id is not "MTrk"
//   track_begin(const Chunk&)   an "MTrk" chunk
//   event(const Event&)         an event of the track
//   track_end(uint32_t pos)     the track's events end at `pos`
//   cut(const Cut&)             the file ends inside an item; the walk ends
// The walk is a template on the view, so that a view costs no call per
// event: add a view as a file of its own that calls walk().
#include <cstring>

#include "smf/decode.h"
#include "smf/event.h"
#include "smf/image.h"
#include "smf/record.h"

struct WalkOptions {
  bool all_notes = false;       // every event, not each track up to its first note (-noteon)
  bool running_status = false;  // running status, aftertouch and F7 decoded (-rs)
};

// Walks the image once, handing its items to `view` and filling `record`
// (made by make_record for the image's size).
template <class View>
void walk(const Image& image, const WalkOptions& options, View& view, Record& record);

// The same walk for a view that needs no record.
template <class View>
void walk(const Image& image, const WalkOptions& options, View& view);

// What a meta event tells the record: a track named "System Setup", a tempo
// (and so the conductor track), a time signature.
void gather_meta(Record& record, int32_t track, const Event& e);

// The "data" chunk of a file wrapped in RIFF: "RIFF", a length, "RMID",
// then chunks (an id, a 32-bit little-endian length, the contents padded to
// an even length). False unless the image is such a file and one "data"
// chunk's head lies inside it.
bool find_riff_data(const Image& image, Riff& riff);

namespace walker {

// The variable-length quantity at `pos`; a count of 0 when it runs past the
// image.
inline uint32_t vlq_at(const Image& image, uint32_t pos, uint32_t* count) {
  const uint8_t* first = bytes_at(image, pos, 1);
  if (first && *first < 0x80) {  // most delta times take one byte
    *count = 1;
    return *first;
  }
  int32_t n = 0;
  const uint32_t value = first ? decode_vlq(first, image.size - pos, &n) : 0;
  *count = static_cast<uint32_t>(n);
  return value;
}

// The kind of event a status byte starts, and how many data bytes follow it.
// Without running status (RS false), a data byte, An, Dn and F1 to FE are
// unknown and passed over with the byte after them, which keeps the walk in
// step for notes written with running status; with it, An and Dn are
// decoded, F7 is a system exclusive message and the others are passed over
// alone.
template <bool RS>
constexpr Kind kind_of_upper(uint8_t upper) {
  switch (upper) {
    case 0x8:
      return Kind::note_off;
    case 0x9:
      return Kind::note_on;
    case 0xA:
      return RS ? Kind::poly_pressure : Kind::unknown;
    case 0xB:
      return Kind::control;
    case 0xC:
      return Kind::program;
    case 0xD:
      return RS ? Kind::channel_pressure : Kind::unknown;
    case 0xE:
      return Kind::pitch_bend;
    default:
      return Kind::unknown;
  }
}

template <bool RS>
inline constexpr Kind kKinds[16] = {
    Kind::unknown,         Kind::unknown,         Kind::unknown,         Kind::unknown,
    Kind::unknown,         Kind::unknown,         Kind::unknown,         Kind::unknown,
    kind_of_upper<RS>(8),  kind_of_upper<RS>(9),  kind_of_upper<RS>(10), kind_of_upper<RS>(11),
    kind_of_upper<RS>(12), kind_of_upper<RS>(13), kind_of_upper<RS>(14), Kind::unknown};

template <bool RS>
constexpr Kind kind_of(uint8_t status) {
  if (status < 0xF0) return kKinds<RS>[status >> 4];
  if (status == 0xFF) return Kind::meta;
  return status == 0xF0 || (RS && status == 0xF7) ? Kind::sysex : Kind::unknown;
}

template <bool RS>
constexpr uint32_t data_bytes(Kind kind) {
  switch (kind) {
    case Kind::program:
    case Kind::channel_pressure:
      return 1;
    case Kind::unknown:
      return RS ? 0 : 1;
    default:
      return 2;
  }
}

// The size of a meta event of `type` from its FF byte on, for the types of a
// fixed size; 0 for the types whose length gives it.
constexpr uint32_t meta_size(uint8_t type) {
  switch (type) {
    case 0x21:
      return 4;  // port
    case 0x2F:
      return 3;  // end of track
    case 0x51:
      return 6;  // tempo
    case 0x58:
      return 7;  // time signature
    case 0x59:
      return 5;  // key signature
    default:
      return 0;
  }
}

struct TrackState {
  int32_t no;       // the index among the "MTrk" chunks
  uint8_t running;  // the running status (RS); 0: none
  uint64_t tick;
};

enum class Step { next, jump_to_chunk_end, cut };

inline void gather(Record& record, const TrackState& track, const Event& e) {
  if (e.kind == Kind::note_on) {
    if (TrackFacts* facts = track_slot(record, static_cast<uint32_t>(track.no))) {
      facts->channel = static_cast<int8_t>(e.channel + 1);
      facts->used = true;
    }
  } else if (e.kind == Kind::program) {
    if (TrackFacts* facts = track_slot(record, static_cast<uint32_t>(track.no)))
      facts->program = e.data[0];
  } else if (e.kind == Kind::meta) {
    gather_meta(record, track.no, e);
  } else if (e.kind == Kind::unknown && e.status < 0x80) {
    record.data_without_status = true;
  }
}

// Decodes the event whose delta time starts at `start` and hands it to the
// view; on success `next` is the position after it. An event the file cuts
// short goes to the view's cut as far as it was decoded.
template <bool RS, bool Gather, class View>
Step walk_event(const Image& image, const WalkOptions& options, View& view, Record* record,
                TrackState& track, uint32_t start, uint32_t& next) {
  Event e{};  // each kind sets the fields it has; the rest stay 0
  e.pos = start;
  uint32_t delta_length;
  e.delta = vlq_at(image, start, &delta_length);
  const uint32_t pos = start + delta_length;
  e.delta_bytes = static_cast<uint8_t>(delta_length);
  e.tick = track.tick + e.delta;
  const uint8_t* at = delta_length ? bytes_at(image, pos, 1) : nullptr;
  if (!at) {
    view.cut(Cut{start, &e, delta_length ? Cut::delta : Cut::position});
    return Step::cut;
  }
  // The status, and where the data begin: after the status byte, or under
  // running status at this byte, which is then the first data byte.
  e.status = at[0];
  uint32_t data = pos + 1;
  if (RS && e.status < 0x80 && track.running != 0) {
    e.status = track.running;
    e.running = true;
    data = pos;
  } else if (RS && e.status >= 0x80) {
    track.running = e.status < 0xF0 ? e.status : 0;  // system messages cancel it
  }
  e.kind = kind_of<RS>(e.status);
  e.channel = e.status & 0x0F;
  const Cut cut{start, &e, Cut::status};

  if (e.kind == Kind::meta) {
    const uint8_t* head = bytes_at(image, pos, 2);
    if (!head) return view.cut(cut), Step::cut;
    e.meta_type = head[1];
    // FF, the type, the length (one byte for the types of a fixed size, a
    // variable-length quantity for the others), then the data.
    const uint32_t fixed = meta_size(e.meta_type);
    uint32_t length_bytes = 1;
    e.length = fixed ? fixed - 3 : vlq_at(image, pos + 2, &length_bytes);
    const uint64_t size = 2 + uint64_t{length_bytes} + e.length;
    const uint8_t* p = length_bytes ? bytes_at(image, pos, size) : nullptr;
    if (!p) return view.cut(Cut{start, &e, Cut::meta_type}), Step::cut;
    e.declared = fixed ? p[2] : e.length;
    e.bytes = p + 2 + length_bytes;
    e.end = static_cast<uint32_t>(pos + size);
  } else if (e.kind == Kind::sysex) {
    uint32_t length_bytes;
    e.length = vlq_at(image, data, &length_bytes);
    const uint64_t size = 1 + uint64_t{length_bytes} + e.length;
    const uint8_t* p = length_bytes ? bytes_at(image, pos, size) : nullptr;
    if (!p) return view.cut(cut), Step::cut;
    e.bytes = p + 1 + length_bytes;
    e.end = static_cast<uint32_t>(pos + size);
  } else {
    const uint32_t n = data_bytes<RS>(e.kind);
    const uint8_t* p = bytes_at(image, data, n);
    if (!p) return view.cut(cut), Step::cut;
    if (n > 0) e.data[0] = p[0];
    if (n > 1) e.data[1] = p[1];
    e.end = data + n;
  }
  track.tick = e.tick;
  if constexpr (Gather) gather(*record, track, e);
  view.event(e);
  next = e.end;
  const bool note = e.kind == Kind::note_on || e.kind == Kind::note_off;
  return note && !options.all_notes ? Step::jump_to_chunk_end : Step::next;
}

// Gather: `record` is filled; without, it is null.
template <bool RS, bool Gather, class View>
void walk(const Image& whole, const WalkOptions& options, View& view, Record* record) {
  // Under running status a file wrapped in RIFF is walked as the file its
  // "data" chunk holds, at the positions it has in the whole file.
  Image image = whole;
  uint32_t pos = 0;
  Riff riff;
  if (RS && find_riff_data(whole, riff)) {
    view.riff(riff);
    image.size = riff.end;
    pos = riff.pos;
  }
  const uint32_t begin = pos;
  const uint8_t* magic = bytes_at(image, begin, 4);
  if (magic && memcmp(magic, "MThd", 4) == 0) {
    const uint8_t* h = bytes_at(image, begin, 14);
    if (!h) return view.cut(Cut{begin});
    HeaderChunk header;
    decode_header(h, &header);
    view.header(header);
    if constexpr (Gather) {
      record->format = header.format;
      record->track_count = header.ntrks;
      record->division = header.division;
    }
    if (!bytes_at(image, begin, 8 + uint64_t{header.length})) return view.cut(Cut{begin});
    // The copy of -t takes the header from the file's start alone.
    if (Gather && begin == 0) record->header_size = 8 + header.length;
    pos = begin + 8 + header.length;
  }
  view.scan(pos);

  TrackState track{};
  while (pos < image.size) {
    const uint8_t* head = bytes_at(image, pos, 8);
    if (!head) return view.cut(Cut{pos});
    Chunk chunk{pos, head, get_be32(head + 4), -1};
    if (memcmp(head, "MTrk", 4) != 0) {
      view.chunk(chunk);
      if (!bytes_at(image, pos, 8 + uint64_t{chunk.length})) return view.cut(Cut{pos});
      pos += 8 + chunk.length;
      continue;
    }
    chunk.track = track.no;
    if constexpr (Gather) {
      if (TrackFacts* facts = track_slot(*record, static_cast<uint32_t>(track.no))) {
        facts->pos = pos;
        facts->size = chunk.length;
      }
    }
    view.track_begin(chunk);
    pos += 8;
    const uint64_t chunk_end = uint64_t{pos} + chunk.length;  // wide enough never to wrap
    track.running = 0;
    track.tick = 0;
    while (pos < chunk_end) {
      uint32_t next = pos;
      const Step step = walk_event<RS, Gather>(image, options, view, record, track, pos, next);
      if (step == Step::cut) return;
      pos = next;
      if (step == Step::jump_to_chunk_end) {
        if (chunk_end > image.size) return view.cut(Cut{chunk.pos});
        pos = static_cast<uint32_t>(chunk_end);
      }
    }
    ++track.no;
    view.track_end(pos);
    // With running status the next chunk is looked for where this one ends
    // by its length, also when its last event reached past that.
    if (RS) pos = static_cast<uint32_t>(chunk_end);
  }
}

}  // namespace walker

template <class View>
void walk(const Image& image, const WalkOptions& options, View& view, Record& record) {
  if (options.running_status)
    walker::walk<true, true>(image, options, view, &record);
  else
    walker::walk<false, true>(image, options, view, &record);
}

template <class View>
void walk(const Image& image, const WalkOptions& options, View& view) {
  if (options.running_status)
    walker::walk<true, false>(image, options, view, nullptr);
  else
    walker::walk<false, false>(image, options, view, nullptr);
}
