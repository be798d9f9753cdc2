#include "output/json.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "output/full.h"
#include "platform/console.h"
#include "smf/channels.h"
#include "smf/decode.h"
#include "smf/names.h"
#include "smf/walker.h"

namespace {

using outfmt::Line;
constexpr Encoding U = Encoding::utf8;  // JSON is UTF-8 whatever the run prints

// A JSON string of UTF-8 bytes: quotes, backslashes and bytes below 0x20
// escaped, each byte that starts no UTF-8 character as U+FFFD.
void put_string(Line& line, const char* s, size_t n) {
  const auto* b = reinterpret_cast<const unsigned char*>(s);
  if (line.room() < 8) line.flush();
  *line.p++ = '"';
  for (size_t i = 0; i < n;) {
    if (line.room() < 8) line.flush();
    const unsigned char c = b[i];
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
      *line.p++ = static_cast<char>(c);
      ++i;
    } else if (c < 0x80) {
      *line.p++ = '\\';
      if (c == '"' || c == '\\') {
        *line.p++ = static_cast<char>(c);
      } else if (c == '\n') {
        *line.p++ = 'n';
      } else if (c == '\t') {
        *line.p++ = 't';
      } else if (c == '\r') {
        *line.p++ = 'r';
      } else {
        memcpy(line.p, "u00", 3);
        line.p[3] = "0123456789abcdef"[c >> 4];
        line.p[4] = "0123456789abcdef"[c & 15];
        line.p += 5;
      }
      ++i;
    } else if (const size_t length = utf8_length(b + i, n - i)) {
      memcpy(line.p, b + i, length);
      line.p += length;
      i += length;
    } else {
      memcpy(line.p, "\xEF\xBF\xBD", 3);
      line.p += 3;
      ++i;
    }
  }
  *line.p++ = '"';
}

void put_string(Line& line, const char* s) { put_string(line, s, strlen(s)); }

// A name of the program's own, which needs no escaping.
void put_name(Line& line, const char* name) { put<"\"%s\"">(line, U, name); }
void put_name(Line& line, Text t) { put<"\"%s\"">(line, U, t); }

// A text of the file, decoded as -u8 decodes it, a byte that does not
// decode as U+FFFD.
void put_file_text(Line& line, const uint8_t* bytes, uint32_t n) {
  const char* s = reinterpret_cast<const char*>(bytes);
  if (is_utf8(s, n)) return put_string(line, s, n);
  char small[1024];
  char* to = 4 * uint64_t{n} <= sizeof small ? small : static_cast<char*>(malloc(4 * uint64_t{n}));
  if (!to) return put_string(line, s, n);
  put_string(line, to, cp932_to_utf8(s, n, to, true));
  if (to != small) free(to);
}

// Bytes as a string of lower-case hexadecimal pairs.
void put_hex(Line& line, const uint8_t* bytes, uint32_t n) {
  if (line.room() < 4) line.flush();
  *line.p++ = '"';
  for (uint32_t i = 0; i < n; ++i) {
    if (line.room() < 4) line.flush();
    *line.p++ = "0123456789abcdef"[bytes[i] >> 4];
    *line.p++ = "0123456789abcdef"[bytes[i] & 15];
  }
  *line.p++ = '"';
}

// A number that may not be known: null.
void put_part(Line& line, int v) {
  if (v < 0)
    put<"null">(line, U);
  else
    put<"%d">(line, U, v);
}

// A pair of numbers such as a bank, either part maybe unknown; null when
// neither is known.
void put_pair(Line& line, const int16_t* pair) {
  if (pair[0] < 0 && pair[1] < 0) return put<"null">(line, U);
  put<"[">(line, U);
  put_part(line, pair[0]);
  put<",">(line, U);
  put_part(line, pair[1]);
  put<"]">(line, U);
}

// Where something sits: "bbt" and "time_us", each null where the file's
// division gives none.
void put_place(Line& line, const Position& at) {
  if (at.has_bar)
    put<"\"bbt\":\"%lu:%lu:%03lu\",">(line, U, at.bar, at.beat, at.beat_tick);
  else
    put<"\"bbt\":null,">(line, U);
  if (at.has_time)
    put<"\"time_us\":%lu">(line, U, at.micros);
  else
    put<"\"time_us\":null">(line, U);
}

void put_bpm(Line& line, uint32_t micros) {
  const uint32_t hundredths = tempo_bpm_hundredths(micros);
  if (micros == 0) return put<"null">(line, U);
  put<"%u.%02u">(line, U, hundredths / 100, hundredths % 100);
}

// The name of a key signature, null outside -7..7.
void put_key_name(Line& line, uint8_t key, uint8_t mode) {
  const Text* name = key_signature_name(static_cast<int8_t>(key), mode);
  if (name)
    put_name(line, *name);
  else
    put<"null">(line, U);
}

// The name of a program on a channel: on channel 10 its drum kit.
void put_program_name(Line& line, uint8_t channel, uint8_t p) {
  if (channel != 9) return put_name(line, program_name(p));
  if (const char* kit = drum_kit_name(p)) return put_name(line, kit);
  put<"\"drum kit %d\"">(line, U, p + 1);
}

// Every item of the walk as a JSON object on a line of its own.
struct JsonView {
  explicit JsonView(Song& s) : song(s) {}

  Song& song;
  Locator locator{song};
  int32_t track = -1;
  uint64_t last = 0;
  // Where the last event sits, as written: most events stand where the one
  // before them stands.
  uint64_t shown_tick = ~uint64_t{0};
  Line shown;

  void riff(const Riff& r) {
    header_pos = r.pos;
    out<"{\"type\":\"riff\",\"pos\":%lu,\"size\":%lu,\"end\":%lu}\n">(U, r.pos, r.length, r.end);
  }
  void header(const HeaderChunk& h) {
    Line line;
    put<"{\"type\":\"header\",\"pos\":%lu,\"length\":%lu,\"format\":%u,\"tracks\":%u,"
        "\"division\":%u,\"smpte\":">(line, U, header_pos, h.length, h.format, h.ntrks, h.division);
    if (h.division & 0x8000)
      put<"{\"fps\":%d,\"ticks_per_frame\":%u}}\n">(line, U, -static_cast<int8_t>(h.division >> 8),
                                                    h.division & 0xFF);
    else
      put<"null}\n">(line, U);
    line.flush();
  }
  uint32_t header_pos = 0;  // where the header stands: after a RIFF wrapper, where its data begin
  void scan(uint32_t) {}
  void chunk(const Chunk& c) { put_chunk(c, "null"); }
  void track_begin(const Chunk& c) {
    track = c.track;
    last = 0;
    shown_tick = ~uint64_t{0};
    char index[16];
    snprintf(index, sizeof index, "%d", c.track);
    put_chunk(c, index);
  }
  void put_chunk(const Chunk& c, const char* index) {
    Line line;
    put<"{\"type\":\"chunk\",\"pos\":%lu,\"id\":">(line, U, c.pos);
    put_string(line, reinterpret_cast<const char*>(c.id), 4);
    put<",\"size\":%lu,\"track\":%s}\n">(line, U, c.length, index);
    line.flush();
  }
  void track_end(uint32_t) { end_track(song, track, last); }
  void cut(const Cut& c) {
    if (track >= 0) end_track(song, track, last);
    out<"{\"type\":\"cut\",\"pos\":%lu,\"message\":\"unexpected end of file\"}\n">(U, c.pos);
  }

  void event(const Event& e) {
    Line line;
    put<"{\"type\":\"event\",\"pos\":%lu,\"track\":%d,\"delta\":%lu,\"tick\":%lu,">(
        line, U, e.pos, track, e.delta, e.tick);
    if (e.tick != shown_tick) {
      shown.p = shown.buffer;
      put_place(shown, locator.at(track, e.tick));
      shown_tick = e.tick;
    }
    outfmt::put_held(line, shown.buffer, static_cast<size_t>(shown.p - shown.buffer));
    if (e.running)
      put<",\"status\":%u,\"running\":true,\"kind\":">(line, U, e.status);
    else
      put<",\"status\":%u,\"running\":false,\"kind\":">(line, U, e.status);
    body(line, e);
    put<"}\n">(line, U);
    line.flush();
    take_in(song, track, e);
    last = e.tick;
  }

  void note(Line& line, const Event& e) {
    put<",\"channel\":%u,\"note\":%u,">(line, U, e.channel, e.data[0]);
    if (e.kind == Kind::poly_pressure)
      put<"\"pressure\":%u,\"name\":">(line, U, e.data[1]);
    else
      put<"\"velocity\":%u,\"name\":">(line, U, e.data[1]);
    if (e.data[0] > 127)
      put<"null">(line, U);
    else
      put<"\"%s\"">(line, U, note_name(e.data[0]));
    if (e.kind == Kind::poly_pressure) return;
    const char* drum = e.channel == 9 ? drum_name(e.data[0]) : nullptr;
    if (!drum) return put<",\"drum\":null">(line, U);
    put<",\"drum\":">(line, U);
    put_name(line, drum);
  }

  void body(Line& line, const Event& e) {
    const uint8_t* d = e.data;
    switch (e.kind) {
      case Kind::note_on:
        put<"\"note_on\"">(line, U);
        note(line, e);
        if (d[1] == 0) return put<",\"off\":true">(line, U);
        return put<",\"off\":false">(line, U);
      case Kind::note_off:
        put<"\"note_off\"">(line, U);
        return note(line, e);
      case Kind::poly_pressure:
        put<"\"poly_pressure\"">(line, U);
        return note(line, e);
      case Kind::control:
        return controller(line, e);
      case Kind::program: {
        put<"\"program\",\"channel\":%u,\"program\":%u,\"name\":">(line, U, e.channel, d[0]);
        put_program_name(line, e.channel, d[0]);
        put<",\"bank\":">(line, U);
        return put_pair(line, song.state.channels[e.channel].bank);
      }
      case Kind::channel_pressure:
        return put<"\"channel_pressure\",\"channel\":%u,\"pressure\":%u">(line, U, e.channel, d[0]);
      case Kind::pitch_bend:
        return put<"\"pitch_bend\",\"channel\":%u,\"bend\":%d">(
            line, U, e.channel, ((d[1] & 0x7F) << 7 | (d[0] & 0x7F)) - 8192);
      case Kind::sysex:
        return sysex(line, e);
      case Kind::meta:
        return meta(line, e);
      case Kind::unknown:
        put<"\"unknown\",\"bytes\":">(line, U);
        return put_hex(line, &e.status, 1);
    }
  }

  void controller(Line& line, const Event& e) {
    const uint8_t number = e.data[0];
    put<"\"control\",\"channel\":%u,\"controller\":%u,\"value\":%u,\"name\":">(line, U, e.channel,
                                                                               number, e.data[1]);
    put_name(line, controller_name(number));
    const ChannelState::Channel& c = song.state.channels[e.channel];
    const bool sets = sets_parameter(number);
    put<",\"rpn\":">(line, U);
    if (sets && c.parameter == ChannelState::rpn)
      put_pair(line, c.rpn);
    else
      put<"null">(line, U);
    put<",\"nrpn\":">(line, U);
    if (sets && c.parameter == ChannelState::nrpn)
      put_pair(line, c.nrpn);
    else
      put<"null">(line, U);
  }

  void sysex(Line& line, const Event& e) {
    put<"\"sysex\",\"length\":%lu,\"bytes\":">(line, U, e.length);
    put_hex(line, e.bytes, e.length);
    const Sysex kind = e.status == 0xF0 ? sysex_kind(e.bytes, e.length) : Sysex::none;
    put<",\"name\":">(line, U);
    if (kind != Sysex::none)
      put_name(line, sysex_name(kind));
    else
      put<"null">(line, U);
    put<",\"checksum\":">(line, U);
    if (kind == Sysex::data_set)
      put<"%s">(line, U, data_set_checksum_ok(e.bytes, e.length) ? "\"ok\"" : "\"wrong\"");
    else
      put<"null">(line, U);
  }

  void meta(Line& line, const Event& e) {
    const uint8_t type = e.meta_type;
    const uint8_t* b = e.bytes;
    put<"\"meta\",\"meta_type\":%u,\"length\":%lu,\"bytes\":">(line, U, type, e.declared);
    put_hex(line, b, e.length);
    const bool fits = meta_length_fits(type, e.declared);
    put<",\"fits\":%s">(line, U, fits ? "true" : "false");
    if (type >= 0x01 && type <= 0x0F) {
      put<",\"text\":">(line, U);
      return put_file_text(line, b, e.length);
    }
    switch (type) {
      case 0x00:
        if (fits && e.declared == 2) return put<",\"number\":%u">(line, U, b[0] << 8 | b[1]);
        return put<",\"number\":null">(line, U);
      case 0x20:
        if (fits) return put<",\"channel\":%u">(line, U, b[0]);
        return put<",\"channel\":null">(line, U);
      case 0x21:
        if (fits) return put<",\"port\":%u">(line, U, b[0]);
        return put<",\"port\":null">(line, U);
      case 0x51: {
        if (!fits) return put<",\"tempo_us\":null,\"bpm\":null">(line, U);
        const uint32_t micros = tempo_micros(b);
        put<",\"tempo_us\":%u,\"bpm\":">(line, U, micros);
        return put_bpm(line, micros);
      }
      case 0x54: {
        if (!fits) return put<",\"smpte\":null">(line, U);
        static const char* const kRates[] = {"24", "25", "29.97", "30"};
        return put<
            ",\"smpte\":{\"hours\":%u,\"minutes\":%u,\"seconds\":%u,\"frames\":%u,"
            "\"fractions\":%u,\"rate\":\"%s\"}">(line, U, b[0] & 0x1F, b[1], b[2], b[3], b[4],
                                                 kRates[b[0] >> 5 & 3]);
      }
      case 0x58:
        if (!fits)
          return put<
              ",\"numerator\":null,\"denominator\":null,\"clocks\":null,"
              "\"thirty_seconds\":null">(line, U);
        put<",\"numerator\":%u,\"denominator\":">(line, U, b[0]);
        put_part(line, b[1] <= 30 ? time_signature_denominator(b[1]) : -1);
        return put<",\"clocks\":%u,\"thirty_seconds\":%u">(line, U, b[2], b[3]);
      case 0x59:
        if (!fits) return put<",\"key\":null,\"mode\":null,\"key_name\":null">(line, U);
        put<",\"key\":%d,\"mode\":%u,\"key_name\":">(line, U, static_cast<int8_t>(b[0]), b[1]);
        return put_key_name(line, b[0], b[1]);
      default:
        return;
    }
  }
};

template <typename F>
void put_changes(Line& line, Song& song, const List<Change>& map, const char* key, F put_values) {
  put<",\"%s\":[">(line, U, key);
  Locator locator{song};
  for (uint32_t i = 0; i < map.count; ++i) {
    const Change& c = map.items[i];
    put<"%s{\"tick\":%lu,\"track\":%d,">(line, U, i ? "," : "", c.tick, c.track);
    put_place(line, locator.at(c.track, c.tick));
    put_values(c);
    put<"}">(line, U);
  }
  put<"]">(line, U);
}

}  // namespace

void print_json(const Image& image, Song& song, Record& record) {
  start_song(image, song);
  JsonView view(song);
  walk(image, WalkOptions{true, true}, view, record);
  finish_song(song);
}

void print_json_file(const char* name, uint64_t size) {
  Line line;
  put<"{\"type\":\"file\",\"name\":">(line, U);
  put_string(line, name);
  put<",\"size\":%lu}\n">(line, U, size);
  line.flush();
}

void print_json_copy(const char* name, uint32_t micros, uint16_t tracks) {
  Line line;
  put<"{\"type\":\"tempo_copy\",\"written\":true,\"name\":">(line, U);
  put_string(line, name);
  put<",\"tempo_us\":%u,\"tracks\":%u}\n">(line, U, micros, tracks);
  line.flush();
}

void print_json_message(const char* type, const char* message) {
  Line line;
  put<"{\"type\":\"%s\",\"message\":">(line, U, type);
  put_string(line, message);
  put<"}\n">(line, U);
  line.flush();
}

void print_json_song(const Record& record, Song& song) {
  for (int32_t i = 0; i < record.track_count; ++i) {
    const TrackFacts& facts = track_facts(record, static_cast<uint32_t>(i));
    Line line;
    put<"{\"type\":\"track\",\"index\":%d,\"pos\":%lu,\"size\":%lu,\"channel\":">(
        line, U, i, facts.pos, facts.size);
    put_part(line, facts.channel - 1);  // 0..15, as the events have it
    put<",\"used\":%s,\"program\":">(line, U, facts.used ? "true" : "false");
    put_part(line, facts.program);
    put<",\"program_name\":">(line, U);
    if (facts.program >= 0)
      put_name(line, program_name(static_cast<uint8_t>(facts.program)));
    else
      put<"null">(line, U);
    put<",\"conductor\":%s,\"system_setup\":%s}\n">(
        line, U, i == record.conductor_track ? "true" : "false",
        i == record.system_setup_track ? "true" : "false");
    line.flush();
  }
  for (int ch = 0; ch < kChannels; ++ch) {
    const ChannelUse& use = song.channels[ch];
    if (!use.used) continue;
    Line line;
    put<"{\"type\":\"channel\",\"channel\":%d,\"tracks\":[">(line, U, ch);
    for (uint32_t i = 0; i < use.tracks.count; ++i)
      put<"%s%d">(line, U, i ? "," : "", use.tracks.items[i]);
    put<"],\"note_ons\":%lu,\"lowest\":">(line, U, use.note_ons);
    put_part(line, use.note_ons ? use.lowest : -1);
    put<",\"highest\":">(line, U);
    put_part(line, use.note_ons ? use.highest : -1);
    put<",\"programs\":[">(line, U);
    for (uint32_t i = 0; i < use.programs.count; ++i) {
      const ChannelUse::Program& p = use.programs.items[i];
      put<"%s{\"program\":%u,\"name\":">(line, U, i ? "," : "", p.number);
      put_program_name(line, static_cast<uint8_t>(ch), p.number);
      put<",\"bank\":">(line, U);
      put_pair(line, p.bank);
      put<"}">(line, U);
    }
    put<"]}\n">(line, U);
    line.flush();
  }
  Line line;
  put<"{\"type\":\"song\",\"length\":{\"tick\":%lu,\"track\":">(line, U, song.length);
  put_part(line, song.longest_track);
  put<",">(line, U);
  put_place(line, Locator{song}.at(song.longest_track, song.length));
  put<"}">(line, U);
  put_changes(line, song, song.tempos, "tempos", [&](const Change& c) {
    put<",\"tempo_us\":%u,\"bpm\":">(line, U, c.value);
    put_bpm(line, c.value);
  });
  put_changes(line, song, song.meters, "meters", [&](const Change& c) {
    put<",\"numerator\":%u,\"denominator\":%d">(line, U, c.value,
                                                time_signature_denominator(c.exponent));
  });
  put_changes(line, song, song.keys, "keys", [&](const Change& c) {
    put<",\"key\":%d,\"mode\":%u,\"key_name\":">(line, U, static_cast<int8_t>(c.value), c.exponent);
    put_key_name(line, static_cast<uint8_t>(c.value), c.exponent);
  });
  put_changes(line, song, song.marks, "markers", [&](const Change& c) {
    put<",\"meta_type\":%u,\"text\":">(line, U, c.value);
    put_file_text(line, c.text, c.length);
  });
  put<"}\n">(line, U);
  line.flush();
}
