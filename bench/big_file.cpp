#include "bench/big_file.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr int kTracks = 16;
constexpr uint16_t kDivision = 480;
// Room kept free at a track's end for its longest event, the notes still
// sounding and the end of track.
constexpr uint64_t kReserve = 400;

// A 64-bit linear congruential generator; its output is fixed by the seed
// alone, unlike the standard library's distributions.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : state_(seed * 2 + 1) {}
  uint32_t next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state_ >> 33);  // 31 bits
  }
  // 0 .. n-1.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((uint64_t{next()} * n) >> 31); }
  uint32_t range(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }

 private:
  uint64_t state_;
};

// Text bytes as the file holds them: ASCII, or code page 932.
struct Text {
  const char* bytes;
};

const Text kWords[] = {
    {"Verse"}, {"Chorus"}, {"Bridge"}, {"Fill in"}, {"Break"}, {"Outro"},
    {"\x41\x83\x81\x83\x8d"},                  // "A melo" in katakana
    {"\x83\x54\x83\x72"},                      // "sabi" (refrain)
    {"\x8a\xd4\x91\x74"},                      // "kansou" (interlude)
    {"\x89\xcc\x8e\x8c"},                      // "kashi" (lyrics)
    {"Take it to the top, then once more without the drums"},
};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

const char* const kTrackNames[kTracks] = {
    "Conductor",
    "\x83\x73\x83\x41\x83\x6d",                // "piano"
    "Strings \x83\x58\x83\x67\x83\x8a\x83\x93\x83\x4f\x83\x58",
    "\x83\x78\x81\x5b\x83\x58",                // "bass"
    "Guitar L", "Guitar R", "Brass", "Flute", "Pad", "Lead",
    "\x83\x68\x83\x89\x83\x80",                // "drums" (channel 10)
    "Choir", "Organ", "Harp", "Synth FX", "Percussion 2",
};

const uint8_t kPrograms[kTracks] = {0, 0, 48, 33, 25, 27, 61, 73, 89, 81, 0, 52, 16, 46, 98, 115};

// Controllers of the control changes in the body of a track, named ones and
// unnamed ones (2, 64, 71, 74) mixed about as a sequencer writes them.
const uint8_t kControllers[] = {1,  1,  1,  7,  10, 11, 11, 11, 64, 64, 64, 64, 91, 93, 92, 95,
                                99, 0,  32, 6,  38, 100, 101, 121, 74, 71, 2,  1,  11, 7};
constexpr uint32_t kControllerCount = sizeof kControllers;

class Writer {
 public:
  Writer(std::vector<uint8_t>& out, BigFileCounts& counts, bool running_status)
      : out_(out), counts_(counts), running_status_(running_status) {}

  void byte(uint32_t b) { out_.push_back(static_cast<uint8_t>(b)); }

  // A channel message's status byte, left out where running status repeats
  // it.
  void status(uint32_t s) {
    if (running_status_ && s == running_) {
      ++omitted_;
      ++counts_.omitted_status;
      return;
    }
    byte(s);
    running_ = s;
  }

  // A new track, a meta event or a system exclusive message: the next
  // channel message writes its status again.
  void cancel_running_status() { running_ = 0; }

  // A delta time of up to 3 bytes (below 2^21).
  void delta(uint32_t v) {
    if (v >= 1u << 14) byte(0x80 | (v >> 14 & 0x7F));
    if (v >= 1u << 7) byte(0x80 | (v >> 7 & 0x7F));
    byte(v & 0x7F);
  }

  void event3(uint32_t dt, uint32_t status, uint32_t a, uint32_t b) {
    delta(dt);
    this->status(status);
    byte(a);
    byte(b);
    ++counts_.events;
    if ((status & 0xF0) == 0x90) ++counts_.note_ons;
    if ((status & 0xF0) == 0x80) ++counts_.note_offs;
  }

  void event2(uint32_t dt, uint32_t status, uint32_t a) {
    delta(dt);
    this->status(status);
    byte(a);
    ++counts_.events;
  }

  // A meta event of the given type with `n` data bytes (n < 128).
  void meta(uint32_t dt, uint32_t type, const uint8_t* data, size_t n) {
    delta(dt);
    cancel_running_status();
    byte(0xFF);
    byte(type);
    byte(static_cast<uint32_t>(n));
    out_.insert(out_.end(), data, data + n);
    ++counts_.events;
    if (type == 0x51) ++counts_.tempos;
  }

  void text(uint32_t dt, uint32_t type, const char* s) {
    meta(dt, type, reinterpret_cast<const uint8_t*>(s), strlen(s));
  }

  // A text of one or two words and a number, e.g. "Verse 12".
  void phrase(uint32_t dt, uint32_t type, Lcg& rng) {
    char buf[128];
    size_t n = 0;
    const int words = 1 + static_cast<int>(rng.below(2));
    for (int w = 0; w < words; ++w) {
      const char* s = kWords[rng.below(kWordCount)].bytes;
      const size_t len = strlen(s);
      if (n + len + 12 > sizeof buf) break;
      if (n) buf[n++] = ' ';
      memcpy(buf + n, s, len);
      n += len;
    }
    buf[n++] = ' ';
    char digits[10];
    int d = 0;
    uint32_t v = rng.below(1000);
    do digits[d++] = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    while (d) buf[n++] = digits[--d];
    meta(dt, type, reinterpret_cast<const uint8_t*>(buf), n);
  }

  // F0, the length, `n` data bytes below 0x80 and a closing F7 counted in it.
  void sysex(uint32_t dt, const uint8_t* data, size_t n) {
    delta(dt);
    cancel_running_status();
    byte(0xF0);
    const uint32_t len = static_cast<uint32_t>(n + 1);
    if (len >= 128) byte(0x80 | len >> 7);
    byte(len & 0x7F);
    out_.insert(out_.end(), data, data + n);
    byte(0xF7);
    ++counts_.events;
  }

  void end_of_track(uint32_t dt) {
    const uint8_t none = 0;
    meta(dt, 0x2F, &none, 0);
  }

  // The bytes written, counting every status byte that running status left
  // out: the tracks fill their quotas by this, so that a file written with
  // running status holds exactly the events of the one written without.
  size_t size() const { return out_.size() + omitted_; }

 private:
  std::vector<uint8_t>& out_;
  BigFileCounts& counts_;
  const bool running_status_;
  uint32_t running_ = 0;  // the status that running status repeats; 0: none
  size_t omitted_ = 0;
};

// A delta time: mostly 0 (chords) or one byte, often two, now and then three.
uint32_t next_delta(Lcg& rng) {
  const uint32_t r = rng.below(100);
  if (r < 40) return 0;
  if (r < 75) return rng.range(1, 127);
  if (r < 97) return rng.range(128, 1920);
  return rng.range(16384, 40000);
}

void conductor_track(Writer& w, uint64_t quota, bool with_tempo, bool running_status, Lcg& rng) {
  // Counted as if every tempo event were written, so that the file without
  // tempo events holds exactly the same other events.
  uint64_t virtual_size = 0;
  const size_t start = w.size();
  auto tempo = [&](uint32_t bpm) {
    const uint32_t micros = 60000000u / bpm;
    const uint8_t data[3] = {static_cast<uint8_t>(micros >> 16),
                             static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)};
    if (with_tempo) {
      w.meta(0, 0x51, data, 3);
    } else {
      virtual_size += 7;
    }
  };
  w.text(0, 0x03, kTrackNames[0]);
  w.text(0, 0x02, "(C) smfscope bench \x92\x98\x8d\xec\x8c\xa0");  // "chosakuken"
  // Both comments have the same length, so that the track holds the same
  // events either way.
  w.text(0, 0x01, running_status ? "Generated for timing; channel messages use running status"
                                 : "Generated for timing; every event carries its status byte");
  tempo(120);
  const uint8_t four_four[4] = {4, 2, 24, 8};
  w.meta(0, 0x58, four_four, 4);
  const uint8_t c_major[2] = {0, 0};
  w.meta(0, 0x59, c_major, 2);
  w.text(0, 0x06, "Intro");

  uint32_t numerator = 4;
  uint32_t exponent = 2;
  while (virtual_size + (w.size() - start) + kReserve < quota) {
    const uint32_t bar = numerator * (kDivision * 4 >> exponent);
    // Now and then a long rest, whose delta time takes three bytes.
    const uint32_t dt = rng.below(20) == 0 ? bar * 12 : bar;
    w.phrase(dt, 0x06, rng);
    if (rng.below(4) == 0) tempo(rng.range(60, 220));
    if (rng.below(16) == 0) {
      const uint8_t numerators[] = {2, 3, 4, 5, 6, 7, 12};
      numerator = numerators[rng.below(sizeof numerators)];
      exponent = rng.range(1, 4);
      const uint8_t sig[4] = {static_cast<uint8_t>(numerator), static_cast<uint8_t>(exponent),
                              24, 8};
      w.meta(0, 0x58, sig, 4);
    }
    if (rng.below(32) == 0) {
      const uint8_t key[2] = {static_cast<uint8_t>(static_cast<int>(rng.below(13)) - 6),
                              static_cast<uint8_t>(rng.below(2))};
      w.meta(0, 0x59, key, 2);
    }
    if (rng.below(8) == 0) w.phrase(0, 0x01, rng);
  }
  w.end_of_track(0);
}

void instrument_track(Writer& w, int index, uint64_t quota, Lcg& rng) {
  const size_t start = w.size();
  const uint32_t ch = static_cast<uint32_t>(index - 1);  // track 10 gets channel 10 (9)
  const uint32_t cc = 0xB0 | ch;

  w.text(0, 0x03, kTrackNames[index]);
  const uint8_t port = index <= 8 ? 0 : 1;
  w.meta(0, 0x21, &port, 1);
  w.event3(0, cc, 121, 0);
  w.event3(0, cc, 0, 0);
  w.event3(0, cc, 32, 0);
  w.event2(0, 0xC0 | ch, kPrograms[index]);
  w.event3(0, cc, 101, 0);  // pitch bend sensitivity: 2 semitones
  w.event3(0, cc, 100, 0);
  w.event3(0, cc, 6, 2);
  w.event3(0, cc, 38, 0);
  w.event3(0, cc, 7, 100);
  w.event3(0, cc, 10, rng.below(128));
  w.event3(0, cc, 11, 127);
  w.event3(0, cc, 91, 40);
  w.event3(0, cc, 93, 0);
  if (index == 1) {
    const uint8_t gm_on[] = {0x7E, 0x7F, 0x09, 0x01};
    w.sysex(0, gm_on, sizeof gm_on);
  }

  // Notes sounding, oldest first.
  uint8_t sounding[8];
  uint32_t count = 0;
  auto note_off = [&](uint32_t dt) {
    const uint32_t key = sounding[0];
    memmove(sounding, sounding + 1, --count);
    if (rng.below(4) == 0) {
      w.event3(dt, 0x90 | ch, key, 0);  // a note on of velocity 0 ends it too
    } else {
      w.event3(dt, 0x80 | ch, key, rng.below(2) ? 64 : 0);
    }
  };

  while (w.size() - start + kReserve < quota) {
    const uint32_t dt = next_delta(rng);
    const uint32_t r = rng.below(1000);
    if (r < 880 || r >= 995) {
      if (count == 0 || (count < 8 && rng.below(2) == 0)) {
        const uint32_t key = rng.range(21, 108);
        sounding[count++] = static_cast<uint8_t>(key);
        w.event3(dt, 0x90 | ch, key, rng.range(1, 127));
      } else {
        note_off(dt);
      }
    } else if (r < 940) {
      w.event3(dt, cc, kControllers[rng.below(kControllerCount)], rng.below(128));
    } else if (r < 975) {
      w.event3(dt, 0xE0 | ch, rng.below(128), rng.below(128));
    } else if (r < 980) {
      w.event2(dt, 0xC0 | ch, rng.below(128));
    } else if (r < 990) {
      w.phrase(dt, rng.below(3) == 0 ? 0x06 : 0x01, rng);
    } else {
      uint8_t data[200];
      // Mostly a short parameter change, now and then a long bulk dump.
      const size_t n = rng.below(10) == 0 ? rng.range(130, 200) : rng.range(6, 12);
      data[0] = 0x41;  // maker id, then the body
      for (size_t i = 1; i < n; ++i) data[i] = static_cast<uint8_t>(rng.below(128));
      w.sysex(dt, data, n);
    }
  }
  while (count) note_off(rng.below(128));
  w.end_of_track(480);
}

void put_be32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v >> 24);
  out[at + 1] = static_cast<uint8_t>(v >> 16);
  out[at + 2] = static_cast<uint8_t>(v >> 8);
  out[at + 3] = static_cast<uint8_t>(v);
}

}  // namespace

std::vector<uint8_t> make_big_file(uint64_t target_bytes, bool with_tempo, BigFileCounts* counts,
                                   bool running_status) {
  if (target_bytes < 16384) target_bytes = 16384;
  BigFileCounts local;
  BigFileCounts& c = counts ? *counts : local;
  c = BigFileCounts{};

  std::vector<uint8_t> out;
  out.reserve(target_bytes + kReserve);
  const uint8_t header[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, kDivision >> 8,
                              kDivision & 0xFF};
  out.insert(out.end(), header, header + sizeof header);

  const uint64_t body = target_bytes - sizeof header - 8 * kTracks;
  const uint64_t conductor_quota = body / 100 > 1000 ? body / 100 : 1000;
  const uint64_t instrument_quota = (body - conductor_quota) / (kTracks - 1);

  Writer w(out, c, running_status);
  for (int t = 0; t < kTracks; ++t) {
    const size_t chunk = out.size();
    const uint8_t mtrk[8] = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    out.insert(out.end(), mtrk, mtrk + 8);
    // Every track has its own generator, so the tracks do not depend on
    // each other (nor on whether the conductor track holds tempo events).
    Lcg rng(0x534D4642ull * 31 + static_cast<uint64_t>(t));
    w.cancel_running_status();
    if (t == 0) {
      conductor_track(w, conductor_quota, with_tempo, running_status, rng);
    } else {
      instrument_track(w, t, instrument_quota, rng);
    }
    put_be32(out, chunk + 4, static_cast<uint32_t>(out.size() - chunk - 8));
  }
  return out;
}
