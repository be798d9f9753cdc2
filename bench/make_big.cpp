// Writes a large, well-formed Standard MIDI File for timing the trace, its bytes depending on
// the arguments alone: format 1, 16 tracks, 480 ticks to the quarter note, a conductor track
// and one track a channel, within a few hundred bytes of SIZE_MB megabytes (of 10^6 bytes).
//
//   make_big [--no-tempo] [--running-status] SIZE_MB > OUT.mid
//
// --no-tempo leaves out the tempo events (the file for timing -t), --running-status each
// status byte that repeats the track's last channel status (the file for timing -rs); the
// other events are the same in every form.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using std::string_view;
constexpr int kTracks = 16, kDivision = 480;
// Room kept free at a track's end for its longest event, the notes still sounding and the end.
constexpr uint64_t kReserve = 400;

// Its numbers depend on the seed alone, unlike the standard library's distributions.
struct Lcg {
  uint64_t state;
  uint32_t below(uint32_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) * n >> 31);
  }
  uint32_t range(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
};

// Texts as files hold them, ASCII or code page 932: "A melo", "sabi" (refrain), "kansou"
// (interlude), "kashi" (lyrics); "piano", "strings", "bass", "drums" (channel 10).
// clang-format off
const char* const kWords[] = {"Verse", "Chorus", "Bridge", "Fill in", "Break", "Outro",
    "\x41\x83\x81\x83\x8d", "\x83\x54\x83\x72", "\x8a\xd4\x91\x74", "\x89\xcc\x8e\x8c",
    "Take it to the top, then once more without the drums"};
const char* const kTrackNames[kTracks] = {"Conductor", "\x83\x73\x83\x41\x83\x6d",
    "Strings \x83\x58\x83\x67\x83\x8a\x83\x93\x83\x4f\x83\x58", "\x83\x78\x81\x5b\x83\x58",
    "Guitar L", "Guitar R", "Brass", "Flute", "Pad", "Lead", "\x83\x68\x83\x89\x83\x80", "Choir",
    "Organ", "Harp", "Synth FX", "Percussion 2"};
// clang-format on
const uint8_t kPrograms[kTracks] = {0, 0, 48, 33, 25, 27, 61, 73, 89, 81, 0, 52, 16, 46, 98, 115};
// Controllers of the control changes in a track's body, named ones and unnamed ones (2, 64,
// 71, 74) mixed about as a sequencer writes them.
const uint8_t kControllers[] = {1,  1,  1, 7,  10, 11, 11,  11,  64,  64, 64, 64, 91, 93, 92,
                                95, 99, 0, 32, 6,  38, 100, 101, 121, 74, 71, 2,  1,  11, 7};

struct Writer {
  std::string out;
  bool tempos = true, running_status = false;
  uint32_t running = 0;  // the status that running status repeats; 0: none
  // The bytes left out (status bytes, tempo events): size() counts them, as the tracks fill
  // their quotas by it, so that every form of a file holds the same other events.
  size_t omitted = 0;
  size_t size() const { return out.size() + omitted; }

  void vlq(uint32_t v) {  // below 2^21
    if (v >= 1u << 14) out.push_back(0x80 | (v >> 14 & 0x7F));
    if (v >= 1u << 7) out.push_back(0x80 | (v >> 7 & 0x7F));
    out.push_back(v & 0x7F);
  }
  // A channel message of one data byte, or two where b >= 0.
  void channel(uint32_t dt, uint32_t status, uint32_t a, int b = -1) {
    vlq(dt);
    const bool omit = running_status && status == running;
    omitted += omit;
    if (!omit) out.push_back(running = status);
    out.push_back(a);
    if (b >= 0) out.push_back(b);
  }
  // A meta event, its data shorter than 128 bytes; a tempo event only where tempos are on.
  void meta(uint32_t dt, uint8_t type, string_view data) {
    if (type == 0x51 && !tempos) return void(omitted += 7);  // 00 FF 51 03 and 3 bytes
    vlq(dt);
    out += {'\xFF', static_cast<char>(type), static_cast<char>(data.size())};
    out += data;
    running = 0;
  }
  void sysex(uint32_t dt, string_view data) {  // F0, the length, the data, F7
    vlq(dt);
    out.push_back('\xF0');
    vlq(data.size() + 1);
    out.append(data).push_back('\xF7');
    running = 0;
  }
  // A text of one or two words and a number, e.g. "Verse 12".
  void phrase(uint32_t dt, uint8_t type, Lcg& rng) {
    std::string s;
    for (uint32_t i = 0, words = 1 + rng.below(2); i < words; ++i) {
      s.append(kWords[rng.below(std::size(kWords))]).push_back(' ');
    }
    meta(dt, type, s + std::to_string(rng.below(1000)));
  }
};

void conductor_track(Writer& w, uint64_t quota, Lcg& rng) {
  const size_t start = w.size();
  auto tempo = [&](uint32_t bpm) {
    const uint32_t us = 60000000 / bpm;
    w.meta(0, 0x51, std::string{char(us >> 16), char(us >> 8), char(us)});
  };
  w.meta(0, 0x03, kTrackNames[0]);
  w.meta(0, 0x02, "(C) smfscope bench \x92\x98\x8d\xec\x8c\xa0");  // "chosakuken"
  w.meta(0, 0x01,  // of the same length in both forms, so that they hold the same events
         w.running_status ? "Generated for timing; channel messages use running status"
                          : "Generated for timing; every event carries its status byte");
  tempo(120);
  w.meta(0, 0x58, "\x04\x02\x18\x08");
  w.meta(0, 0x59, {"\0", 2});
  w.meta(0, 0x06, "Intro");

  uint32_t numerator = 4, exponent = 2;
  while (w.size() - start + kReserve < quota) {
    const uint32_t bar = numerator * (kDivision * 4 >> exponent);
    w.phrase(rng.below(20) == 0 ? bar * 12 : bar, 0x06, rng);  // now and then a long rest
    if (rng.below(4) == 0) tempo(rng.range(60, 220));
    if (rng.below(16) == 0) {
      numerator = "\2\3\4\5\6\7\14"[rng.below(7)];
      exponent = rng.range(1, 4);
      w.meta(0, 0x58, std::string{char(numerator), char(exponent), 24, 8});
    }
    if (rng.below(32) == 0) {
      w.meta(0, 0x59, std::string{char(rng.below(13) - 6), char(rng.below(2))});  // key, mode
    }
    if (rng.below(8) == 0) w.phrase(0, 0x01, rng);
  }
  w.meta(0, 0x2F, "");
}

void instrument_track(Writer& w, uint8_t index, uint64_t quota, Lcg& rng) {
  const size_t start = w.size();
  const uint32_t ch = index - 1u, cc = 0xB0 | ch;  // track 10 gets channel 10
  w.meta(0, 0x03, kTrackNames[index]);
  w.meta(0, 0x21, {index <= 8 ? "\0" : "\1", 1});
  for (const uint32_t c : {121, 0, 32}) w.channel(0, cc, c, 0);
  w.channel(0, 0xC0 | ch, kPrograms[index]);
  // Pitch bend sensitivity of 2 semitones, volume, pan, expression, reverb, chorus.
  const uint8_t setup[9][2] = {{101, 0}, {100, 0},  {6, 2},   {38, 0}, {7, 100},
                               {10, 0},  {11, 127}, {91, 40}, {93, 0}};
  for (const auto& [c, v] : setup) w.channel(0, cc, c, c == 10 ? rng.below(128) : v);
  if (index == 1) w.sysex(0, "\x7E\x7F\x09\x01");  // General MIDI on

  std::string sounding;  // the keys, oldest first
  auto note_off = [&](uint32_t dt) {
    const uint8_t key = sounding[0];
    sounding.erase(0, 1);
    const bool zero = rng.below(4) == 0;  // a note on of velocity 0 ends a note too
    w.channel(dt, (zero ? 0x90 : 0x80) | ch, key, zero ? 0 : 64 * rng.below(2));
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
      if (sounding.empty() || (sounding.size() < 8 && rng.below(2) == 0)) {
        sounding.push_back(rng.range(21, 108));
        w.channel(dt, 0x90 | ch, sounding.back(), rng.range(1, 127));
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
      std::string data(rng.below(10) == 0 ? rng.range(130, 200) : rng.range(6, 12), '\x41');
      for (size_t i = 1; i < data.size(); ++i) data[i] = static_cast<char>(rng.below(128));
      w.sysex(dt, data);
    }
  }
  while (!sounding.empty()) note_off(rng.below(128));
  w.meta(480, 0x2F, "");
}

}  // namespace

int main(int argc, char** argv) {
  Writer w;
  int i = 1;
  for (; i < argc - 1 && string_view(argv[i]) == "--no-tempo"; ++i) w.tempos = false;
  for (; i < argc - 1 && string_view(argv[i]) == "--running-status"; ++i) w.running_status = true;
  char* end = nullptr;
  const uint64_t mb = i == argc - 1 ? strtoul(argv[i], &end, 10) : 0;
  if (!end || *end || mb < 1 || mb > 4000) {
    fprintf(stderr, "usage: make_big [--no-tempo] [--running-status] SIZE_MB > OUT.mid\n");
    return 2;
  }
  w.out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, kDivision >> 8, char(kDivision)};
  w.out.reserve(mb * 1000000 + kReserve);
  const uint64_t body = mb * 1000000 - w.out.size() - 8 * kTracks, conductor_quota = body / 100;
  for (uint8_t t = 0; t < kTracks; ++t) {
    const size_t chunk = w.out.size();
    w.out += string_view("MTrk\0\0\0", 8);
    // Each track has its own generator, so that no track depends on another.
    Lcg rng{(0x534D4642ull * 31 + t) * 2 + 1};
    t == 0 ? conductor_track(w, conductor_quota, rng)
           : instrument_track(w, t, (body - conductor_quota) / (kTracks - 1), rng);
    const size_t length = w.out.size() - chunk - 8;
    for (int k = 0; k < 4; ++k) w.out[chunk + 4 + k] = static_cast<char>(length >> (24 - 8 * k));
  }
  if (fwrite(w.out.data(), 1, w.out.size(), stdout) != w.out.size() || fflush(stdout) != 0) {
    return perror("make_big"), 1;
  }
}
