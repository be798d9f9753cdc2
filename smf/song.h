#pragma once
// The song a file holds, as one walk over it gathers it: its tempo, meter
// and key maps, its markers, its length and what each channel does; and
// where a tick of a track sits in bars, beats and time.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "smf/channels.h"
#include "smf/event.h"
#include "smf/image.h"

// A list that grows as items come, for plain items. An item that finds no
// memory is dropped.
template <typename T>
struct List {
  T* items = nullptr;
  uint32_t count = 0;
  uint32_t capacity = 0;
  List() = default;
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() { free(items); }
  void add(const T& item) {
    if (count == capacity) {
      const uint32_t more = capacity ? capacity * 2 : 8;
      T* grown = more > capacity ? static_cast<T*>(realloc(items, more * sizeof(T))) : nullptr;
      if (!grown) return;
      items = grown;
      capacity = more;
    }
    items[count++] = item;
  }
  const T* begin() const { return items; }
  const T* end() const { return items + count; }
};

// A set of keys other than 0, to tell at once whether a key came before.
struct KeySet {
  enum Outcome { added, present, no_room };
  uint32_t* slots = nullptr;  // 0: empty
  uint32_t count = 0;
  uint32_t capacity = 0;  // a power of two, or 0
  KeySet() = default;
  KeySet(const KeySet&) = delete;
  KeySet& operator=(const KeySet&) = delete;
  ~KeySet() { free(slots); }
  // Adds `key` unless it is there; no_room when the set cannot grow for it.
  Outcome add(uint32_t key);
};

// A change of tempo, meter or key, or a marker or cue point, at a tick of a
// track. For tempos `value` is the microseconds per quarter note and `from`
// the sum of ticks times tempo before it; for meters `value` is the
// numerator, `exponent` the denominator's, `beat` the ticks of a beat and
// `from` the bars before it; for keys `value` and `exponent` are the key and
// mode bytes; for marks `value` is the meta type and `text` its bytes.
struct Change {
  uint64_t tick;
  int32_t track;
  uint32_t order;  // where it stands as gathered, while its map is sorted
  uint32_t value;
  uint8_t exponent;
  uint64_t beat;
  unsigned __int128 from;
  const uint8_t* text;
  uint32_t length;
};

// What one channel does over the whole file.
struct ChannelUse {
  struct Program {
    uint8_t number;
    int16_t bank[2];  // -1: not set
  };
  bool used = false;        // any channel message
  List<int32_t> tracks;     // the tracks it appears in, in order
  int32_t last_track = -1;  // the track of its last message
  uint64_t note_ons = 0;    // velocity above 0
  uint8_t lowest = 255;
  uint8_t highest = 0;
  List<Program> programs;  // in order of first use, each with its bank once
  KeySet seen;             // the programs with their banks, as keys
};

// Where a tick sits: bar, beat (both from 1) and tick within the beat; and
// the time in microseconds from the start.
struct Position {
  uint64_t tick;
  bool has_bar;
  uint64_t bar, beat, beat_tick;
  bool has_time;
  uint64_t micros;
};

struct Song {
  uint16_t division = 0;
  bool separate = false;  // format 2: each track has its own tempo and meter
  List<Change> tempos, meters, keys, marks;
  uint64_t length = 0;  // the tick of the last event of the longest track
  int32_t longest_track = -1;
  ChannelUse channels[kChannels];
  // What the walks keep as they go.
  ChannelState state;
};

// Gathers the song's tempo and meter maps, which must be whole before any
// event is shown: where an event sits depends on them. It walks the first
// track alone where no change of tempo or meter stands beyond it (the usual
// conductor track), else the whole file. Nothing is printed.
void start_song(const Image& image, Song& song);

// That a channel message of `track` stands on channel `c`.
inline void use_channel(ChannelUse& c, int32_t track) {
  c.used = true;
  if (c.last_track != track) c.tracks.add(track);
  c.last_track = track;
}

// take_in for an event other than a note.
void take_in_other(Song& song, int32_t track, const Event& e);

// Takes in what event `e` of `track` adds to the rest of the song: a key
// signature, a marker or cue point, what it does on its channel. Notes,
// most of a file, are taken in here.
inline void take_in(Song& song, int32_t track, const Event& e) {
  if (e.kind != Kind::note_on && e.kind != Kind::note_off) return take_in_other(song, track, e);
  ChannelUse& c = song.channels[e.channel];
  use_channel(c, track);
  if (e.kind == Kind::note_off || e.data[1] == 0) return;
  ++c.note_ons;
  if (e.data[0] < c.lowest) c.lowest = e.data[0];
  if (e.data[0] > c.highest) c.highest = e.data[0];
}

// Takes in that `track` ended with an event at tick `last`.
void end_track(Song& song, int32_t track, uint64_t last);

// Puts the key map and the markers in order, once the walk is done.
void finish_song(Song& song);

// Whether a division counts ticks a quarter note (not frames, not 0).
constexpr bool per_quarter(uint16_t division) { return division != 0 && !(division & 0x8000); }

// Where ticks sit in `song`: for one track after another, each at ticks
// that do not decrease, it goes on from the last place, by the changes of
// tempo and meter that come and the ticks in between, rather than counting
// again from the start; any other tick is found afresh.
struct Locator {
  const Song& song;
  bool found{};  // `last` holds a place
  int32_t track{};
  uint64_t tick{};
  uint32_t next_tempo{};  // the first change after `tick`, by index
  uint32_t next_meter{};
  Position last{};
  uint64_t remainder{};  // of the sum of ticks times tempo, by the division
  uint64_t inverse{};    // 2^64 / the division, rounded up (a division of 2 or more)
  uint32_t tempo_value{};
  uint64_t beat{}, beats{};  // ticks a beat, beats a bar
  // Where the next change of tempo or meter for `track` stands; 0 where a
  // step cannot go on from the last place (no division in ticks a quarter).
  uint64_t until{};

  const Position& at(int32_t new_track, uint64_t new_tick) {
    // The usual step, onward within one track and one tempo and meter, by
    // less than 2^32 ticks, taken here; the others by find.
    if (new_track == track && new_tick >= tick && new_tick < until &&
        new_tick - tick < (uint64_t{1} << 32)) {
      const uint64_t ticks = new_tick - tick;
      tick = new_tick;
      advance(ticks);
      return last;
    }
    return find(new_track, new_tick);
  }
  // Whether change `next` of `map` stands at `new_tick` of this track or
  // before it.
  bool reaches(const List<Change>& map, uint32_t next, uint64_t new_tick) const {
    return next < map.count && map.items[next].tick <= new_tick &&
           (!song.separate || map.items[next].track == track);
  }
  // Any other step: the changes that hold found, the place counted from them.
  const Position& find(int32_t new_track, uint64_t new_tick);
  void compute(const Change* tempo, const Change* meter);
  // The last place moved on by `ticks` within one tempo and meter.
  void advance(uint64_t ticks);
};

inline void Locator::advance(uint64_t ticks) {
  Position& p = last;
  p.tick = tick;
  if (p.has_time) {
    // The time's fraction of a microsecond, in ticks times tempo, goes on.
    remainder += ticks * tempo_value;
    const uint16_t division = song.division;
    // Below 2^48, the quotient by a multiplication with 2^64 / division
    // rounded up: exact, as the rounding adds less than remainder *
    // division / 2^64 < 1 to it; and far cheaper than a division.
    const uint64_t more =
        remainder < (uint64_t{1} << 48) && division > 1
            ? static_cast<uint64_t>((static_cast<unsigned __int128>(remainder) * inverse) >> 64)
            : remainder / division;
    remainder -= more * division;
    p.has_time = !__builtin_add_overflow(p.micros, more, &p.micros);
  }
  // Most steps pass at most one beat, and one bar: counted without dividing.
  p.beat_tick += ticks;
  if (p.beat_tick < beat) return;
  if (p.beat_tick < 2 * beat) {
    p.beat_tick -= beat;
    ++p.beat;
  } else {
    p.beat += p.beat_tick / beat;
    p.beat_tick %= beat;
  }
  if (p.beat <= beats) return;
  if (p.beat <= 2 * beats) {
    ++p.bar;
    p.beat -= beats;
  } else {
    p.bar += (p.beat - 1) / beats;
    p.beat = (p.beat - 1) % beats + 1;
  }
}

// The milliseconds, seconds and minutes of `micros`, truncated.
struct Clock {
  uint64_t minutes;
  uint32_t seconds, millis;
};
inline Clock clock_of(uint64_t micros) {
  const uint64_t ms = micros / 1000;
  if (ms >> 32 == 0) {  // under 50 days: in 32 bits, which take fewer steps
    const uint32_t m = static_cast<uint32_t>(ms), s = m / 1000, minutes = s / 60;
    return {minutes, s - minutes * 60, m - s * 1000};
  }
  return {ms / 60000, static_cast<uint32_t>(ms / 1000 % 60), static_cast<uint32_t>(ms % 1000)};
}
