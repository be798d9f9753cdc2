#include "smf/walker.h"

#include <cstring>

#include "smf/controllers.h"
#include "smf/decode.h"
#include "smf/meta.h"
#include "smf/out.h"
#include "smf/programs.h"

namespace {

void report_cut(uint32_t pos) {
  out<"unexpected end of file at 0x%06lx\n">(static_cast<unsigned long>(pos));
}

// Where one walked event leaves the walk.
enum class Step { next, jump_to_chunk_end, cut };

// The variable-length quantity at `pos`; a count of 0 when it runs past the
// image.
uint32_t vlq_at(const Image& image, uint32_t pos, int32_t* count) {
  *count = 0;
  if (pos >= image.size) return 0;
  return decode_vlq(image.data + pos, image.size - pos, count);
}

// Every event's line begins with its position, delta time and status byte,
// marked "r" under -rs where it is the running status, not in the file. The
// prefix is printed together with the event's own text F where it fits,
// which saves most of the formatting calls of a long trace; without -rs the
// mark is part of the format.
#define EVENT(F, ...)                                                                  \
  (RS ? out<"st 0x%06lx ---time %04lu %c[%02X] " F>(st, dt, mark,                      \
                                                    status __VA_OPT__(, ) __VA_ARGS__) \
      : out<"st 0x%06lx ---time %04lu R[%02X] " F>(st, dt, status __VA_OPT__(, ) __VA_ARGS__))

// What the walk keeps within one track.
struct Track {
  int32_t no;       // track_no
  uint8_t running;  // the running status (-rs); 0: none
};

// Walks the event whose delta time starts at `start`, decoding running
// status when `RS` (-rs). On success `next` is the position after it; on a
// cut the walk ends at `start`, and the line shows as much of the event as
// the file holds.
template <bool RS>
Step walk_event(const Image& image, CMIDI& rec, Track& track, uint32_t start, uint32_t& next,
                MetaResult& meta) {
  const unsigned long st = start;
  int32_t delta_length;
  const uint32_t delta = vlq_at(image, start, &delta_length);
  const unsigned long dt = delta;
  const uint32_t pos = start + static_cast<uint32_t>(delta_length);
  const uint8_t* at = delta_length ? bytes_at(image, pos, 1) : nullptr;
  if (!at) {
    out<"st 0x%06lx ---">(st);
    if (delta_length) out<"time %04lu ">(dt);
    return Step::cut;
  }
  // The event's status and where its data begin: after the status byte, or,
  // under running status, at this byte, which is then the first data byte.
  uint8_t status = at[0];
  uint32_t data = pos + 1;
  char mark = 'R';
  if (RS) {
    if (status < 0x80 && track.running == 0) {
      EVENT("Track Event unknown %02X\n", status);
      next = pos + 1;
      return Step::next;
    }
    if (status < 0x80) {
      status = track.running;
      data = pos;
      mark = 'r';
    } else {
      track.running = status < 0xF0 ? status : 0;  // system messages cancel it
    }
  }
  const uint8_t kind = status & 0xF0;
  const int channel = status & 0x0F;
  auto cut = [&] {
    EVENT("");
    return Step::cut;
  };

  uint32_t end = pos;  // each kind of event moves it on
  bool note = false;
  if (status == 0xFF) {
    EVENT("");
    memset(&meta, 0, sizeof meta);
    const uint32_t count = handle_meta(image, pos, &meta);
    if (count == 0) return Step::cut;
    if (strcmp(meta.name, "System Setup") == 0) rec.System_Setup_Track = track.no;
    if (meta.tempo != 0) {
      rec.tempo = meta.tempo;
      if (rec.Conductor_Track == -1) rec.Conductor_Track = track.no;
    }
    if (meta.beat_numerator != 0) {
      rec.beat_numerator = meta.beat_numerator;
      rec.beat_denominator = meta.beat_denominator;
    }
    end = pos + count;
  } else if (status == 0xF0 || (RS && status == 0xF7)) {
    int32_t length_bytes;
    const uint32_t length = vlq_at(image, data, &length_bytes);
    const uint64_t total = 1 + uint64_t(length_bytes) + length;
    if (length_bytes == 0 || !bytes_at(image, pos, total)) return cut();
    EVENT("システムエクスクルーシブ \n");
    end = static_cast<uint32_t>(pos + total);
  } else if (kind == 0xB0) {
    EVENT("");
    const uint32_t count = report_controller(image, status, data);
    if (count == 0) return Step::cut;
    end = data + count;
  } else if (kind == 0xC0) {
    const uint8_t* e = bytes_at(image, data, 1);
    if (!e) return cut();
    const char* name = program_name(e[0]);
    EVENT("program change (楽器) %d (%x) %s \n", e[0], e[0] + 1, name);
    if (TrackFacts* facts = track_slot(rec, static_cast<uint32_t>(track.no)))
      facts->track_program = name;
    end = data + 1;
  } else if (kind == 0xE0) {
    const uint8_t* e = bytes_at(image, data, 2);
    if (!e) return cut();
    EVENT(
        "Ex "
        "ピッチ・ベンド・チェンジ 0x%02x 0x%02x\n",
        e[0], e[1]);
    end = data + 2;
  } else if (kind == 0x80) {
    const uint8_t* e = bytes_at(image, data, 2);
    if (!e) return cut();
    EVENT("note off %dch 音 %2d %2d\n", channel, e[0], e[1]);
    end = data + 2;
    note = true;
  } else if (kind == 0x90) {
    const uint8_t* e = bytes_at(image, data, 2);
    if (!e) return cut();
    if (TrackFacts* facts = track_slot(rec, static_cast<uint32_t>(track.no))) {
      facts->track_channel = channel + 1;
      facts->track_used = true;
    }
    EVENT("note %dch 音 %3d %3d\n", channel, e[0], e[1]);
    end = data + 2;
    note = true;
  } else if (RS && kind == 0xA0) {
    const uint8_t* e = bytes_at(image, data, 2);
    if (!e) return cut();
    EVENT("ポリフォニック・キー・プレッシャー %dch 音 %3d %3d\n", channel, e[0], e[1]);
    end = data + 2;
  } else if (RS && kind == 0xD0) {
    const uint8_t* e = bytes_at(image, data, 1);
    if (!e) return cut();
    EVENT("チャンネル・プレッシャー %dch %3d\n", channel, e[0]);
    end = data + 1;
  } else if (RS) {
    // A system message that has no place in a file: its byte alone.
    EVENT("Track Event unknown %02X\n", status);
    end = pos + 1;
  } else {
    // Without -rs running status is not decoded: a data byte standing where
    // a status belongs is reported with the byte after it and passed over
    // as a pair, which keeps the walk in step for notes.
    if (!bytes_at(image, pos, 2)) return cut();
    EVENT("Track Event unknown %02X\n", status);
    end = pos + 2;
  }
  next = end;
  return note && !rec.show_all_notes ? Step::jump_to_chunk_end : Step::next;
}

}  // namespace

int walk_smf(const Image& image, CMIDI& rec) {
  uint32_t pos = 0;
  HeaderChunk header{};
  const uint8_t* magic = bytes_at(image, 0, 4);
  if (magic && memcmp(magic, "MThd", 4) == 0) {
    const uint8_t* h = bytes_at(image, 0, 14);
    if (!h) {
      report_cut(0);
      return 0;
    }
    decode_header(h, &header);
    out<"%c%c%c%c\n">(header.id[0], header.id[1], header.id[2], header.id[3]);
    out<"ReadMThd size %lu\n">(static_cast<unsigned long>(header.length));
    out<"ReadMThd formatid %u\n">(header.format);
    out<"ReadMThd track count %u\n">(header.ntrks);
    out<"ReadMThd deltatime %u\n">(header.division);
    rec.FormatID = header.format;
    rec.Track_Count = header.ntrks;
    rec.Delta_Time = header.division;
    if (!bytes_at(image, 0, 8 + uint64_t{header.length})) {
      report_cut(0);
      return 0;
    }
    pos = 8 + header.length;
  }
  Track track{};
  out<"pos=0x%lx\n">(static_cast<unsigned long>(pos));

  MetaResult meta;
  while (pos < rec.fsize) {
    const uint8_t* chunk = bytes_at(image, pos, 8);
    if (!chunk) {
      report_cut(pos);
      return 0;
    }
    const uint32_t chunk_pos = pos;
    const uint32_t length = get_be32(chunk + 4);
    if (memcmp(chunk, "MTrk", 4) != 0) {
      out<"%06lx not Mtrk\n">(static_cast<unsigned long>(pos));
      out<"pos %lx ->fsize %lx\n">(static_cast<unsigned long>(pos),
                                   static_cast<unsigned long>(rec.fsize));
      if (!bytes_at(image, pos, 8 + uint64_t{length})) {
        report_cut(pos);
        return 0;
      }
      pos += 8 + length;
      continue;
    }

    TrackFacts* facts = track_slot(rec, static_cast<uint32_t>(track.no));
    if (facts) {
      facts->track_pos = pos;
      facts->track_size = length;
    }
    out<"========================================\n">();
    out<"%d)MTrk (0x%06lx) ">(track.no, static_cast<unsigned long>(pos));
    out<"track_no %02d\n">(track.no);
    out<"========================================\n">();
    out<"mtrk size %8lu 0x%06lx\n">(static_cast<unsigned long>(length),
                                    static_cast<unsigned long>(length));
    pos += 8;
    const uint64_t chunk_end = uint64_t{pos} + length;  // wide enough never to wrap
    track.running = 0;

    while (pos < chunk_end) {
      uint32_t next = pos;
      const Step step = rec.running_status ? walk_event<true>(image, rec, track, pos, next, meta)
                                           : walk_event<false>(image, rec, track, pos, next, meta);
      if (step == Step::cut) {
        report_cut(pos);
        return 0;
      }
      pos = next;
      if (step == Step::jump_to_chunk_end) {
        if (chunk_end > image.size) {
          report_cut(chunk_pos);
          return 0;
        }
        pos = static_cast<uint32_t>(chunk_end);
      }
    }
    ++track.no;
    out<"pos %06lx\n">(static_cast<unsigned long>(pos));
    out<"pos %lx ->fsize %lx\n">(static_cast<unsigned long>(pos),
                                 static_cast<unsigned long>(rec.fsize));
    // With -rs the next chunk is looked for where this one ends by its
    // length, also when its last event reached past that.
    if (rec.running_status) pos = static_cast<uint32_t>(chunk_end);
  }
  return 0;
}
