// Writes a large, well-formed Standard MIDI File for timing the trace.
//
//   make_big [--no-tempo] [--running-status] SIZE_MB OUT.mid
//
// SIZE_MB is in megabytes of 1,000,000 bytes and may have a fraction; the file ends within a
// few hundred bytes of it, and its bytes depend on the arguments alone. It is format 1 with 16
// tracks and 480 ticks to the quarter note: track 0 a conductor track (names, copyright,
// tempos, time and key signatures, markers), tracks 1 to 15 one channel each, mostly notes on
// and off, with control changes of named and unnamed controllers, program changes, pitch
// bends, texts, markers and system exclusive messages. Every event has its own status byte.
// Delta times take 1 to 3 bytes, meta texts are shorter than 128 bytes.
//
// --no-tempo leaves out every tempo event (the file for timing -t). --running-status writes
// the same events with running status (the file for timing -rs), in some 8 % fewer bytes: a
// channel message whose status is its track's last channel status leaves it out, and a meta
// event or a system exclusive message makes the next one write it again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kTracks = 16;
constexpr uint16_t kDivision = 480;
// Room kept free at a track's end for its longest event, the notes still sounding and the end.
constexpr uint64_t kReserve = 400;

// A 64-bit linear congruential generator: its numbers depend on the seed alone, unlike the
// standard library's distributions.
struct Lcg {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((uint64_t{next()} * n) >> 31); }
  uint32_t range(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
};

// Texts as files hold them: ASCII or code page 932.
// clang-format off
const char* const kWords[] = {
    "Verse", "Chorus", "Bridge", "Fill in", "Break", "Outro",
    "\x41\x83\x81\x83\x8d",  // "A melo" in katakana
    "\x83\x54\x83\x72",      // "sabi" (refrain)
    "\x8a\xd4\x91\x74",      // "kansou" (interlude)
    "\x89\xcc\x8e\x8c",      // "kashi" (lyrics)
    "Take it to the top, then once more without the drums",
};

const char* const kTrackNames[kTracks] = {
    "Conductor",
    "\x83\x73\x83\x41\x83\x6d",  // "piano"
    "Strings \x83\x58\x83\x67\x83\x8a\x83\x93\x83\x4f\x83\x58",
    "\x83\x78\x81\x5b\x83\x58",  // "bass"
    "Guitar L", "Guitar R", "Brass", "Flute", "Pad", "Lead",
    "\x83\x68\x83\x89\x83\x80",  // "drums" (channel 10)
    "Choir", "Organ", "Harp", "Synth FX", "Percussion 2",
};
// clang-format on

const uint8_t kPrograms[kTracks] = {0, 0, 48, 33, 25, 27, 61, 73, 89, 81, 0, 52, 16, 46, 98, 115};

// Controllers of the control changes in a track's body, named ones and unnamed ones (2, 64,
// 71, 74) mixed about as a sequencer writes them.
const uint8_t kControllers[] = {1,  1,  1, 7,  10, 11, 11,  11,  64,  64, 64, 64, 91, 93, 92,
                                95, 99, 0, 32, 6,  38, 100, 101, 121, 74, 71, 2,  1,  11, 7};

struct Writer {
  std::vector<uint8_t> out;
  bool running_status;
  uint32_t running = 0;  // the status that running status repeats; 0: none
  size_t omitted = 0;

  // The bytes written, counting the status bytes that running status left out: the tracks
  // fill their quotas by this, so that both forms of a file hold exactly the same events.
  size_t size() const { return out.size() + omitted; }

  void put(const void* data, size_t n) {
    out.insert(out.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
  }

  void delta(uint32_t v) {  // below 2^21
    if (v >= 1u << 14) out.push_back(0x80 | (v >> 14 & 0x7F));
    if (v >= 1u << 7) out.push_back(0x80 | (v >> 7 & 0x7F));
    out.push_back(v & 0x7F);
  }

  // A channel message of one data byte, or two where b >= 0.
  void channel(uint32_t dt, uint32_t status, uint32_t a, int b = -1) {
    delta(dt);
    if (running_status && status == running) {
      ++omitted;
    } else {
      out.push_back(status);
      running = status;
    }
    out.push_back(a);
    if (b >= 0) out.push_back(b);
  }

  // A meta event of `type` with n < 128 data bytes; with type 0xF0, a system exclusive
  // message of n bytes and the F7 that ends it.
  void meta(uint32_t dt, uint8_t type, const void* data, size_t n) {
    delta(dt);
    running = 0;
    if (type == 0xF0) {
      out.push_back(0xF0);
      if (n + 1 >= 128) out.push_back(0x80 | (n + 1) >> 7);
      out.push_back((n + 1) & 0x7F);
      put(data, n);
      out.push_back(0xF7);
    } else {
      const uint8_t head[3] = {0xFF, type, static_cast<uint8_t>(n)};
      put(head, 3);
      put(data, n);
    }
  }

  void text(uint32_t dt, uint8_t type, const char* s) { meta(dt, type, s, strlen(s)); }

  // A text of one or two words and a number, e.g. "Verse 12".
  void phrase(uint32_t dt, uint8_t type, Lcg& rng) {
    char buf[128] = "";
    for (uint32_t w = 0, words = 1 + rng.below(2); w < words; ++w) {
      if (w) strcat(buf, " ");
      strcat(buf, kWords[rng.below(sizeof kWords / sizeof *kWords)]);
    }
    const size_t n = strlen(buf);
    snprintf(buf + n, sizeof buf - n, " %u", rng.below(1000));
    text(dt, type, buf);
  }
};

void conductor_track(Writer& w, uint64_t quota, bool with_tempo, Lcg& rng) {
  // Counted as if every tempo event were written, so that the file without tempo events holds
  // exactly the same other events.
  uint64_t left_out = 0;
  const size_t start = w.size();
  auto tempo = [&](uint32_t bpm) {
    const uint32_t micros = 60000000u / bpm;
    const uint8_t data[3] = {static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
                             static_cast<uint8_t>(micros)};
    if (with_tempo) {
      w.meta(0, 0x51, data, 3);
    } else {
      left_out += 7;
    }
  };
  w.text(0, 0x03, kTrackNames[0]);
  w.text(0, 0x02, "(C) smfscope bench \x92\x98\x8d\xec\x8c\xa0");  // "chosakuken"
  // Both comments have the same length, so that both forms hold the same events.
  w.text(0, 0x01,
         w.running_status ? "Generated for timing; channel messages use running status"
                          : "Generated for timing; every event carries its status byte");
  tempo(120);
  w.meta(0, 0x58, "\x04\x02\x18\x08", 4);
  w.meta(0, 0x59, "\0", 2);
  w.text(0, 0x06, "Intro");

  uint32_t numerator = 4, exponent = 2;
  while (left_out + (w.size() - start) + kReserve < quota) {
    const uint32_t bar = numerator * (kDivision * 4 >> exponent);
    w.phrase(rng.below(20) == 0 ? bar * 12 : bar, 0x06, rng);  // now and then a long rest
    if (rng.below(4) == 0) tempo(rng.range(60, 220));
    if (rng.below(16) == 0) {
      const uint8_t numerators[] = {2, 3, 4, 5, 6, 7, 12};
      numerator = numerators[rng.below(sizeof numerators)];
      exponent = rng.range(1, 4);
      const uint8_t signature[4] = {static_cast<uint8_t>(numerator), static_cast<uint8_t>(exponent),
                                    24, 8};
      w.meta(0, 0x58, signature, 4);
    }
    if (rng.below(32) == 0) {
      const uint8_t key[2] = {static_cast<uint8_t>(static_cast<int>(rng.below(13)) - 6),
                              static_cast<uint8_t>(rng.below(2))};
      w.meta(0, 0x59, key, 2);
    }
    if (rng.below(8) == 0) w.phrase(0, 0x01, rng);
  }
  w.meta(0, 0x2F, "", 0);
}

void instrument_track(Writer& w, uint8_t index, uint64_t quota, Lcg& rng) {
  const size_t start = w.size();
  const uint32_t ch = index - 1u, cc = 0xB0 | ch;  // track 10 gets channel 10
  w.text(0, 0x03, kTrackNames[index]);
  w.meta(0, 0x21, index <= 8 ? "\0" : "\1", 1);
  for (const uint32_t c : {121, 0, 32}) w.channel(0, cc, c, 0);
  w.channel(0, 0xC0 | ch, kPrograms[index]);
  // Pitch bend sensitivity of 2 semitones, volume, pan, expression, reverb, chorus.
  const uint8_t setup[9][2] = {{101, 0}, {100, 0},  {6, 2},   {38, 0}, {7, 100},
                               {10, 0},  {11, 127}, {91, 40}, {93, 0}};
  for (const auto& [c, v] : setup) w.channel(0, cc, c, c == 10 ? rng.below(128) : v);
  if (index == 1) w.meta(0, 0xF0, "\x7E\x7F\x09\x01", 4);  // General MIDI on

  uint8_t sounding[8];  // oldest first
  uint32_t count = 0;
  auto note_off = [&](uint32_t dt) {
    const uint32_t key = sounding[0];
    memmove(sounding, sounding + 1, --count);
    if (rng.below(4) == 0) return w.channel(dt, 0x90 | ch, key, 0);  // velocity 0 ends it too
    w.channel(dt, 0x80 | ch, key, rng.below(2) ? 64 : 0);
  };
  while (w.size() - start + kReserve < quota) {
    // A delta time: mostly 0 (chords) or one byte, often two, now and then three.
    const uint32_t d = rng.below(100);
    const uint32_t dt = d < 40   ? 0
                        : d < 75 ? rng.range(1, 127)
                        : d < 97 ? rng.range(128, 1920)
                                 : rng.range(16384, 40000);
    const uint32_t r = rng.below(1000);
    if (r < 880 || r >= 995) {
      if (count == 0 || (count < 8 && rng.below(2) == 0)) {
        sounding[count++] = static_cast<uint8_t>(rng.range(21, 108));
        w.channel(dt, 0x90 | ch, sounding[count - 1], rng.range(1, 127));
      } else {
        note_off(dt);
      }
    } else if (r < 940) {
      const uint32_t value = rng.below(128);
      w.channel(dt, cc, kControllers[rng.below(sizeof kControllers)], value);
    } else if (r < 975) {
      const uint32_t b = rng.below(128);
      w.channel(dt, 0xE0 | ch, rng.below(128), b);
    } else if (r < 980) {
      w.channel(dt, 0xC0 | ch, rng.below(128));
    } else if (r < 990) {
      w.phrase(dt, rng.below(3) == 0 ? 0x06 : 0x01, rng);
    } else {
      // Mostly a short parameter change, now and then a long bulk dump; the maker first.
      uint8_t data[200] = {0x41};
      const size_t n = rng.below(10) == 0 ? rng.range(130, 200) : rng.range(6, 12);
      for (size_t i = 1; i < n; ++i) data[i] = static_cast<uint8_t>(rng.below(128));
      w.meta(dt, 0xF0, data, n);
    }
  }
  while (count) note_off(rng.below(128));
  w.meta(480, 0x2F, "", 0);
}

}  // namespace

int main(int argc, char** argv) {
  bool with_tempo = true, running_status = false;
  int i = 1;
  for (; i < argc - 2; ++i) {
    if (strcmp(argv[i], "--no-tempo") == 0) {
      with_tempo = false;
    } else if (strcmp(argv[i], "--running-status") == 0) {
      running_status = true;
    } else {
      break;
    }
  }
  char* end = nullptr;
  const double mb = i == argc - 2 ? strtod(argv[i], &end) : 0;
  if (!end || *end || !(mb > 0) || mb > 4000) {
    fprintf(stderr,
            "usage: make_big [--no-tempo] [--running-status] SIZE_MB OUT.mid\n"
            "(SIZE_MB above 0 and up to 4000)\n");
    return 2;
  }
  const uint64_t target = mb * 1e6 < 16384 ? 16384 : static_cast<uint64_t>(mb * 1e6);
  Writer w{{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, kDivision >> 8, kDivision & 0xFF},
           running_status};
  w.out.reserve(target + kReserve);
  const uint64_t body = target - w.out.size() - 8 * kTracks;
  const uint64_t conductor_quota = body / 100 > 1000 ? body / 100 : 1000;
  for (uint8_t t = 0; t < kTracks; ++t) {
    const size_t chunk = w.out.size();
    w.put("MTrk\0\0\0", 8);
    // Each track has its own generator, so that no track depends on another (nor on whether
    // the conductor track holds tempo events).
    Lcg rng{(0x534D4642ull * 31 + t) * 2 + 1};
    w.running = 0;
    if (t == 0) conductor_track(w, conductor_quota, with_tempo, rng);
    if (t != 0) instrument_track(w, t, (body - conductor_quota) / (kTracks - 1), rng);
    const size_t length = w.out.size() - chunk - 8;
    for (int k = 0; k < 4; ++k) w.out[chunk + 4 + k] = static_cast<uint8_t>(length >> (24 - 8 * k));
  }
  FILE* f = fopen(argv[argc - 1], "wb");
  if (!f || fwrite(w.out.data(), 1, w.out.size(), f) != w.out.size() || fclose(f) != 0) {
    perror(argv[argc - 1]);
    return 1;
  }
  fprintf(stderr, "make_big: %s: %zu bytes\n", argv[argc - 1], w.out.size());
}
