#include "smf/song.h"

#include <algorithm>
#include <bit>

#include "smf/decode.h"
#include "smf/record.h"
#include "smf/walker.h"

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // 120 beats per minute

// The ticks of a beat of a time signature's denominator 2^exponent: 0 when
// that is less than a tick or not a whole number of them.
uint64_t beat_ticks(uint16_t division, uint8_t exponent) {
  const uint64_t whole = uint64_t{division} * 4;
  if (exponent >= 32 || whole % (uint64_t{1} << exponent) != 0) return 0;
  return whole >> exponent;
}

// Whether change `a` stands before change `b` in a map.
bool stands_before(const Song& song, const Change& a, const Change& b) {
  if (song.separate && a.track != b.track) return a.track < b.track;
  return a.tick < b.tick;
}

// Change `i` of a map, and the one before it that holds for the same track.
const Change* previous(const Song& song, const List<Change>& map, uint32_t i) {
  return i > 0 && (!song.separate || map.items[i - 1].track == map.items[i].track)
             ? &map.items[i - 1]
             : nullptr;
}

// Where change `i` begins: for tempos the sum of ticks times tempo before
// it, for meters the bars before it, a bar that it cuts short counted whole.
void set_from(const Song& song, List<Change>& map, uint32_t i, bool tempos) {
  Change& c = map.items[i];
  const Change* before = previous(song, map, i);
  const uint64_t since = before ? before->tick : 0;
  if (tempos) {
    const uint32_t tempo = before ? before->value : kDefaultTempo;
    c.from = (before ? before->from : 0) + static_cast<unsigned __int128>(c.tick - since) * tempo;
  } else {
    const uint64_t bar = before ? before->beat * before->value : uint64_t{song.division} * 4;
    c.from = (before ? before->from : 0) + (bar ? (c.tick - since + bar - 1) / bar : 0);
  }
}

// The change of the tempo or meter event `e` of `track`, if it is one that
// counts; else one with a value of 0.
Change map_change(Song& song, int32_t track, const Event& e) {
  Change c{};
  c.tick = e.tick;
  c.track = track;
  const uint8_t* b = e.bytes;
  if (e.meta_type == 0x51 && e.declared == 3) {
    // A tempo of 0 microseconds has no time: it is no tempo.
    c.value = tempo_micros(b);
  } else if (e.meta_type == 0x58 && e.declared == 4) {
    c.exponent = b[1];
    c.beat = per_quarter(song.division) ? beat_ticks(song.division, b[1]) : 1;
    c.value = c.beat ? b[0] : 0;
  }
  return c;
}

// Sorts a map, gathered in file order, by where its changes stand; those
// at one place stay in file order. (A stable sort would take its buffer from
// the C++ runtime, which the program does without.)
void sort_map(const Song& song, List<Change>& map) {
  for (uint32_t i = 0; i < map.count; ++i) map.items[i].order = i;
  std::sort(map.items, map.items + map.count, [&](const Change& a, const Change& b) {
    return stands_before(song, a, b) || (!stands_before(song, b, a) && a.order < b.order);
  });
}

// Sorts a map and keeps of the changes at one tick the last in file order.
void sort_keeping_last(const Song& song, List<Change>& map) {
  sort_map(song, map);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < map.count; ++i) {
    const Change& c = map.items[i];
    if (kept > 0 && map.items[kept - 1].tick == c.tick &&
        (!song.separate || map.items[kept - 1].track == c.track))
      --kept;  // the earlier one at this tick gives way
    map.items[kept++] = c;
  }
  map.count = kept;
}

// Sorts a map as above and finds where each change begins.
void settle(Song& song, List<Change>& map, bool tempos) {
  sort_keeping_last(song, map);
  for (uint32_t i = 0; i < map.count; ++i) set_from(song, map, i, tempos);
}

// Gathers the tempo and meter maps as the walk hands over the events.
struct MapView {
  Song& song;
  int32_t track = -1;

  void riff(const Riff&) {}
  void header(const HeaderChunk&) {}
  void scan(uint32_t) {}
  void chunk(const Chunk&) {}
  void track_begin(const Chunk& c) { track = c.track; }
  void track_end(uint32_t) {}
  void cut(const Cut&) {}
  void event(const Event& e) {
    if (e.kind != Kind::meta || (e.meta_type != 0x51 && e.meta_type != 0x58)) return;
    const Change c = map_change(song, track, e);
    if (c.value != 0) (e.meta_type == 0x51 ? song.tempos : song.meters).add(c);
  }
};

// Where the image's first track ends, when no change of tempo or meter can
// stand after it (no bytes FF 51 03 or FF 58 04 there); else its end.
uint32_t maps_end(const Image& image) {
  Riff riff;
  uint32_t begin = 0;
  Image file = image;
  if (find_riff_data(image, riff)) {
    begin = riff.pos;
    file.size = riff.end;
  }
  const uint8_t* head = bytes_at(file, begin, 14);
  uint64_t pos =
      head && memcmp(head, "MThd", 4) == 0 ? begin + 8 + uint64_t{get_be32(head + 4)} : begin;
  for (const uint8_t* chunk; (chunk = bytes_at(file, static_cast<uint32_t>(pos), 8));) {
    pos += 8 + uint64_t{get_be32(chunk + 4)};
    if (memcmp(chunk, "MTrk", 4) == 0) break;
  }
  if (pos >= file.size) return file.size;
  const uint8_t* rest = bytes_at(file, static_cast<uint32_t>(pos), file.size - pos);
  const size_t n = file.size - pos;
  for (const uint8_t* p = rest; (p = static_cast<const uint8_t*>(memchr(p, 0xFF, n - (p - rest))));
       ++p) {
    const size_t left = static_cast<size_t>(rest + n - p);
    if (left >= 3 && ((p[1] == 0x51 && p[2] == 3) || (p[1] == 0x58 && p[2] == 4))) return file.size;
  }
  return static_cast<uint32_t>(pos);
}

}  // namespace

void start_song(const Image& image, Song& song) {
  Riff riff;
  const uint32_t begin = find_riff_data(image, riff) ? riff.pos : 0;
  if (const uint8_t* h = bytes_at(image, begin, 14); h && memcmp(h, "MThd", 4) == 0) {
    song.division = get_be16(h + 12);
    song.separate = get_be16(h + 8) == 2;
  }
  // A change counts for every track (in format 2 for its own), so the maps
  // are gathered first, from the first track alone where no change can
  // stand beyond it (the usual conductor track), else from the whole file.
  MapView view{song};
  walk(Image{image.data, song.separate ? image.size : maps_end(image)}, WalkOptions{true, true},
       view);
  settle(song, song.tempos, true);
  settle(song, song.meters, false);
}

void take_in_other(Song& song, int32_t track, const Event& e) {
  if (e.kind == Kind::meta) {
    if (e.meta_type == 0x59 && e.declared == 2) {
      Change c{};
      c.tick = e.tick;
      c.track = track;
      c.value = e.bytes[0];
      c.exponent = e.bytes[1];
      song.keys.add(c);
    } else if (e.meta_type == 0x06 || e.meta_type == 0x07) {
      Change c{};
      c.tick = e.tick;
      c.track = track;
      c.value = e.meta_type;
      c.text = e.bytes;
      c.length = e.length;
      song.marks.add(c);
    }
    return;
  }
  if (e.kind > Kind::pitch_bend) return;
  ChannelUse& c = song.channels[e.channel];
  use_channel(c, track);
  if (e.kind == Kind::program) {
    const int16_t* bank = song.state.channels[e.channel].bank;
    const ChannelUse::Program p{e.data[0], {bank[0], bank[1]}};
    // The program, the bank's bytes (-1 to 127) plus 1, and a bit that keeps the key from 0.
    const uint32_t key = 1u << 24 | uint32_t{p.number} << 16 |
                         static_cast<uint32_t>(p.bank[0] + 1) << 8 |
                         static_cast<uint32_t>(p.bank[1] + 1);
    const KeySet::Outcome seen = c.seen.add(key);
    const bool known =
        seen == KeySet::present ||
        (seen == KeySet::no_room &&
         std::any_of(c.programs.begin(), c.programs.end(), [&](const auto& q) {
           return q.number == p.number && q.bank[0] == p.bank[0] && q.bank[1] == p.bank[1];
         }));
    if (!known) c.programs.add(p);
  }
  update_channels(song.state, e);
}

namespace {

// Where `key` is first looked for among `capacity` slots (a power of two):
// the top bits of its product with 2^64 / the golden ratio.
uint32_t first_slot(uint32_t key, uint32_t capacity) {
  return static_cast<uint32_t>(key * 0x9E3779B97F4A7C15ull >> (64 - std::countr_zero(capacity)));
}

}  // namespace

KeySet::Outcome KeySet::add(uint32_t key) {
  if (2 * (count + 1) > capacity) {
    // Half full at most: grown to twice the room, the keys placed anew.
    const uint32_t more = capacity ? 2 * capacity : 64;
    uint32_t* grown =
        more > capacity ? static_cast<uint32_t*>(calloc(more, sizeof *grown)) : nullptr;
    if (!grown) return no_room;
    for (uint32_t i = 0; i < capacity; ++i) {
      if (slots[i] == 0) continue;
      uint32_t at = first_slot(slots[i], more);
      while (grown[at] != 0) at = (at + 1) & (more - 1);
      grown[at] = slots[i];
    }
    free(slots);
    slots = grown;
    capacity = more;
  }
  uint32_t at = first_slot(key, capacity);
  for (; slots[at] != 0; at = (at + 1) & (capacity - 1))
    if (slots[at] == key) return present;
  slots[at] = key;
  ++count;
  return added;
}

void end_track(Song& song, int32_t track, uint64_t last) {
  if (last > song.length || song.longest_track < 0) {
    song.length = last;
    song.longest_track = track;
  }
}

void finish_song(Song& song) {
  // The keys like the other maps; markers and cue points all, in order.
  sort_keeping_last(song, song.keys);
  sort_map(song, song.marks);
}

namespace {

// `n` / `d` and its remainder, for a divisor below 2^32, without the C
// runtime's division of 128-bit numbers; false when the quotient passes 64
// bits.
bool divide(unsigned __int128 n, uint64_t d, uint64_t& quotient, uint64_t& remainder) {
  const uint64_t high = static_cast<uint64_t>(n >> 64), low = static_cast<uint64_t>(n);
  if (high == 0) {
    quotient = low / d;
    remainder = low % d;
    return true;
  }
  if (high >= d) return false;
  uint64_t r = high, q = 0;
  for (int bit = 63; bit >= 0; --bit) {
    r = r << 1 | (low >> bit & 1);
    if (r >= d) {
      r -= d;
      q |= uint64_t{1} << bit;
    }
  }
  quotient = q;
  remainder = r;
  return true;
}

// The index of the first change of the map after `tick` of `track`: for a
// song of separate tracks, within the track's changes or the first of the
// next.
uint32_t after(const Song& song, const List<Change>& map, int32_t track, uint64_t tick) {
  Change at{};
  at.tick = tick;
  at.track = track;
  return static_cast<uint32_t>(std::upper_bound(map.begin(), map.end(), at,
                                                [&](const Change& a, const Change& b) {
                                                  return stands_before(song, a, b);
                                                }) -
                               map.begin());
}

// The change that holds before index `next`: the one in front of it, if it
// is of the same track.
const Change* before(const Song& song, const List<Change>& map, uint32_t next, int32_t track) {
  if (next == 0) return nullptr;
  const Change* c = &map.items[next - 1];
  return song.separate && c->track != track ? nullptr : c;
}

}  // namespace

void Locator::compute(const Change* tempo, const Change* meter) {
  Position& p = last;
  p = Position{};
  p.tick = tick;
  const uint16_t division = song.division;
  if (division & 0x8000) {
    // Frames a second (-29: 29.97) and ticks a frame.
    const int fps = -static_cast<int8_t>(division >> 8);
    const uint64_t per_frame = division & 0xFF;
    if (fps <= 0 || per_frame == 0) return;
    const unsigned __int128 ticks = tick;
    p.has_time = fps == 29 ? divide(ticks * 1000000 * 1001, 30000 * per_frame, p.micros, remainder)
                           : divide(ticks * 1000000, fps * per_frame, p.micros, remainder);
    return;
  }
  if (division == 0) return;
  inverse = ~uint64_t{0} / division + 1;
  tempo_value = tempo ? tempo->value : kDefaultTempo;
  const unsigned __int128 sum =
      (tempo ? tempo->from : 0) +
      static_cast<unsigned __int128>(tick - (tempo ? tempo->tick : 0)) * tempo_value;
  p.has_time = divide(sum, division, p.micros, remainder);

  beat = meter ? meter->beat : division;
  beats = meter ? meter->value : 4;
  const uint64_t bar = beat * beats;
  const uint64_t into = tick - (meter ? meter->tick : 0);
  p.has_bar = true;
  p.bar = static_cast<uint64_t>(meter ? meter->from : 0) + into / bar + 1;
  p.beat = into % bar / beat + 1;
  p.beat_tick = into % beat;
}

const Position& Locator::find(int32_t new_track, uint64_t new_tick) {
  if (found && new_track == track && new_tick >= tick) {
    while (reaches(song.tempos, next_tempo, new_tick)) ++next_tempo;
    while (reaches(song.meters, next_meter, new_tick)) ++next_meter;
  } else {
    next_tempo = after(song, song.tempos, new_track, new_tick);
    next_meter = after(song, song.meters, new_track, new_tick);
  }
  found = true;
  track = new_track;
  tick = new_tick;
  compute(before(song, song.tempos, next_tempo, track),
          before(song, song.meters, next_meter, track));
  const auto next = [&](const List<Change>& map, uint32_t i) {
    return i < map.count && (!song.separate || map.items[i].track == track) ? map.items[i].tick
                                                                            : ~uint64_t{0};
  };
  until = per_quarter(song.division)
              ? std::min(next(song.tempos, next_tempo), next(song.meters, next_meter))
              : 0;
  return last;
}
