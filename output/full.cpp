#include "output/full.h"

#include <string_view>

#include "output/trace_view.h"
#include "smf/channels.h"
#include "smf/decode.h"
#include "smf/song.h"
#include "smf/walker.h"

namespace {

using outfmt::Line;

// The names of the text types 01 to 09; 0A to 0F are texts too.
Text text_name(uint8_t type) {
  static const Text kNames[] = {
      {TXT("テキスト")},       {TXT("著作権表示")},   {TXT("シーケンス名")},
      {TXT("楽器名")},         {TXT("歌詞")},         {TXT("マーカー")},
      {TXT("キューポイント")}, {TXT("プログラム名")}, {TXT("デバイス名")},
  };
  return type <= 9 ? kNames[type - 1] : kNames[0];
}

// The most bytes a place takes as write_place writes it.
constexpr size_t kPlaceRoom = outfmt::kHeldRoom;

// A number in decimal at `p`, of at least `Width` digits with leading zeros.
template <unsigned Width = 0>
[[gnu::always_inline]] inline char* put_decimal(char* p, uint64_t v) {
  return outfmt::put_number<10, false, Width, (Width > 0)>(p, v, false);
}

// The three digits of `v` (below 1000), leading zeros included.
[[gnu::always_inline]] inline char* put_three(char* p, uint32_t v) {
  *p = static_cast<char>('0' + v / 100);
  return outfmt::put_two(p + 1, v % 100);
}

// Where an event sits, written at `p`: its tick in the track, bar:beat:tick
// and time, each "-" where the file's division gives none, and a blank
// after each. Returns the end.
char* write_place(char* p, const Position& at) {
  p = put_decimal(p, at.tick);
  *p++ = ' ';
  if (at.has_bar) {
    p = put_decimal(p, at.bar);
    *p++ = ':';
    p = put_decimal(p, at.beat);
    *p++ = ':';
    p = at.beat_tick < 1000 ? put_three(p, static_cast<uint32_t>(at.beat_tick))
                            : put_decimal(p, at.beat_tick);
  } else {
    *p++ = '-';
  }
  *p++ = ' ';
  if (at.has_time) {
    const Clock c = clock_of(at.micros);
    p = put_decimal(p, c.minutes);
    *p++ = ':';
    p = outfmt::put_two(p, c.seconds);
    *p++ = '.';
    p = put_three(p, c.millis);
  } else {
    *p++ = '-';
  }
  *p++ = ' ';
  return p;
}

void put_position(Line& line, const Position& at) {
  if (line.room() < kPlaceRoom) line.flush();
  line.p = write_place(line.p, at);
}

template <Encoding E>
struct FullView {
  TraceView<E> frame;
  Locator locator;
  Song& song;  // its maps gathered; the rest gathered here
  int32_t track = -1;
  uint64_t last = 0;  // the tick of the track's last event
  // Where the last event sits, as printed: most events stand where the one
  // before them stands.
  uint64_t shown_tick = ~uint64_t{0};
  char shown[kPlaceRoom] = {};
  size_t shown_length = 0;

  void riff(const Riff& r) { frame.riff(r); }
  void header(const HeaderChunk& h) { frame.header(h); }
  void scan(uint32_t pos) { frame.scan(pos); }
  void track_begin(const Chunk& c) {
    track = c.track;
    last = 0;
    shown_tick = ~uint64_t{0};
    frame.track_begin(c);
  }
  void track_end(uint32_t pos) {
    end_track(song, track, last);
    frame.track_end(pos);
  }

  void put_site(Line& line, uint64_t tick) {
    if (tick != shown_tick) {
      shown_length = static_cast<size_t>(write_place(shown, locator.at(track, tick)) - shown);
      shown_tick = tick;
    }
    outfmt::put_held(line, shown, shown_length);
  }

  // An event's line as far as its status: position, delta time, where it
  // sits, status byte.
  void start(Line& line, const Event& e) {
    put<"st 0x%06lx ---time %04lu ">(line, E, e.pos, e.delta);
    put_site(line, e.tick);
    put<"%c[%02X] ">(line, E, e.running ? 'r' : 'R', e.status);
  }

  void cut(const Cut& c) {
    if (track >= 0) end_track(song, track, last);
    if (!c.event || c.reached == Cut::position) return frame.cut(c);
    const Event& e = *c.event;
    Line line;
    if (c.reached == Cut::delta) {
      put<"st 0x%06lx ---time %04lu ">(line, E, e.pos, e.delta);
      put_site(line, e.tick);
    } else {
      start(line, e);
    }
    if (c.reached == Cut::meta_type) put<"[%02X] ">(line, E, e.meta_type);
    put<"unexpected end of file at 0x%06lx\n">(line, E, c.pos);
    line.flush();
  }

  void chunk(const Chunk& c) {
    // The id with what cannot be printed as "\xNN".
    char id[17];
    char* p = id;
    for (int i = 0; i < 4; ++i) {
      const uint8_t b = c.id[i];
      if (b >= 0x20 && b < 0x7F) {
        *p++ = static_cast<char>(b);
      } else {
        *p++ = '\\';
        *p++ = 'x';
        *p++ = "0123456789ABCDEF"[b >> 4];
        *p++ = "0123456789ABCDEF"[b & 15];
      }
    }
    *p = '\0';
    out<"%06lx not Mtrk %s size %lu\npos %lx ->fsize %lx\n">(E, c.pos, id, c.length, c.pos,
                                                             frame.size);
  }

  void event(const Event& e) {
    Line line;
    start(line, e);
    body(line, e);
    put<"\n">(line, E);
    line.flush();
    take_in(song, track, e);
    last = e.tick;
  }

  // A number that may not be known: "-".
  static void put_part(Line& line, int16_t v) {
    if (v < 0)
      put<"-">(line, E);
    else
      put<"%d">(line, E, v);
  }

  void note(Line& line, const Event& e) {
    const uint8_t key = e.data[0];
    put<" %s">(line, E, note_name(key));
    const char* drum = e.channel == 9 ? drum_name(key) : nullptr;
    if (drum) put<" %s">(line, E, drum);
  }

  void body(Line& line, const Event& e) {
    const uint8_t* d = e.data;
    switch (e.kind) {
      case Kind::note_off:
        put<TXT("note off %dch 音 %2d %2d")>(line, E, e.channel, d[0], d[1]);
        return note(line, e);
      case Kind::note_on:
        put<TXT("note %dch 音 %3d %3d")>(line, E, e.channel, d[0], d[1]);
        note(line, e);
        if (d[1] == 0) put<" (note off)">(line, E);
        return;
      case Kind::poly_pressure:
        put<TXT("ポリフォニック・キー・プレッシャー %dch 音 %3d %3d")>(line, E, e.channel, d[0],
                                                                       d[1]);
        return note(line, e);
      case Kind::control:
        return controller(line, e);
      case Kind::program:
        return program(line, e);
      case Kind::channel_pressure:
        return put<TXT("チャンネル・プレッシャー %dch %3d")>(line, E, e.channel, d[0]);
      case Kind::pitch_bend: {
        const int bend = ((d[1] & 0x7F) << 7 | (d[0] & 0x7F)) - 8192;
        return put<TXT("Ex ピッチ・ベンド・チェンジ 0x%02x 0x%02x %c%d")>(
            line, E, d[0], d[1], bend < 0 ? '-' : '+', bend < 0 ? -bend : bend);
      }
      case Kind::sysex:
        return sysex(line, e);
      case Kind::meta:
        return meta(line, e);
      case Kind::unknown:
        return put<"Track Event unknown %02X">(line, E, e.status);
    }
  }

  void controller(Line& line, const Event& e) {
    const uint8_t number = e.data[0];
    put<"%s (CC#%d) %d">(line, E, controller_name(number), number, e.data[1]);
    const ChannelState::Channel& c = song.state.channels[e.channel];
    if (!sets_parameter(number) || c.parameter == ChannelState::none) return;
    const bool rpn = c.parameter == ChannelState::rpn;
    const int16_t* chosen = rpn ? c.rpn : c.nrpn;
    put<" %s ">(line, E, rpn ? "RPN" : "NRPN");
    put_part(line, chosen[0]);
    put<"/">(line, E);
    put_part(line, chosen[1]);
    const Text* name =
        rpn && chosen[0] >= 0 && chosen[1] >= 0
            ? rpn_name(static_cast<uint8_t>(chosen[0]), static_cast<uint8_t>(chosen[1]))
            : nullptr;
    if (name) put<" %s">(line, E, *name);
  }

  void program(Line& line, const Event& e) {
    const uint8_t p = e.data[0];
    put<TXT("program change (楽器) %d (%x) ")>(line, E, p, p + 1);
    if (e.channel != 9) {
      put<"%s ">(line, E, program_name(p));
    } else if (const char* kit = drum_kit_name(p)) {
      put<"%s ">(line, E, kit);
    } else {
      put<"drum kit %d ">(line, E, p + 1);
    }
    const ChannelState::Channel& c = song.state.channels[e.channel];
    if (c.bank[0] < 0 && c.bank[1] < 0) return;
    put<"bank ">(line, E);
    put_part(line, c.bank[0]);
    put<"/">(line, E);
    put_part(line, c.bank[1]);
  }

  void sysex(Line& line, const Event& e) {
    put<TXT("システムエクスクルーシブ 長さ=%u %02X")>(line, E, e.length, e.status);
    if (e.length > 0) put<" ">(line, E);
    outfmt::put_bytes(line, e.bytes, e.length);
    const Sysex kind = e.status == 0xF0 ? sysex_kind(e.bytes, e.length) : Sysex::none;
    const uint8_t* b = e.bytes;
    if (kind == Sysex::master_volume)
      return put<TXT(" マスター・ボリューム %d")>(line, E, (b[5] & 0x7F) << 7 | (b[4] & 0x7F));
    if (kind == Sysex::data_set) {
      if (data_set_checksum_ok(b, e.length)) return put<" DT1 checksum ok">(line, E);
      return put<" DT1 checksum wrong">(line, E);
    }
    if (kind != Sysex::none) put<" %s">(line, E, sysex_name(kind));
  }

  void meta(Line& line, const Event& e) {
    const uint8_t type = e.meta_type;
    const uint8_t* b = e.bytes;
    put<"[%02X] ">(line, E, type);
    if (!meta_length_fits(type, e.declared)) return bytes(line, e, true);
    switch (type) {
      case 0x00:
        if (e.declared == 0) return put<TXT("シーケンス番号=(トラックの順)")>(line, E);
        return put<TXT("シーケンス番号=%u")>(line, E, b[0] << 8 | b[1]);
      case 0x20:
        return put<TXT("チャンネル・プリフィックス %dch")>(line, E, b[0]);
      case 0x21:
        return put<TXT("出力ポートの指定 %d")>(line, E, b[0]);
      case 0x2F:
        return put<TXT("トラック終端")>(line, E);
      case 0x51: {
        const uint32_t micros = tempo_micros(b);
        const uint32_t hundredths = tempo_bpm_hundredths(micros);
        put<TXT("(0x%02x 0x%02x 0x%02x)tempo=%lu 四分音符=%luμs ")>(line, E, b[0], b[1], b[2],
                                                                    tempo_bpm(b), micros);
        if (micros == 0) return put<"-BPM">(line, E);
        return put<"%u.%02uBPM">(line, E, hundredths / 100, hundredths % 100);
      }
      case 0x54: {
        static const char* const kRates[4] = {"24", "25", "29.97", "30"};
        return put<TXT("SMPTEオフセット=%02d:%02d:%02d:%02d.%02d %sfps")>(
            line, E, b[0] & 0x1F, b[1], b[2], b[3], b[4], kRates[b[0] >> 5 & 3]);
      }
      case 0x58:
        return put<TXT("拍子=%d/%d クロック=%d 32分音符=%d")>(
            line, E, b[0], time_signature_denominator(b[1]), b[2], b[3]);
      case 0x59: {
        put<TXT("調号=%d %d ")>(line, E, b[0], b[1]);
        if (const Text* name = key_signature_name(static_cast<int8_t>(b[0]), b[1]))
          return put<"%s">(line, E, *name);
        return put<TXT("---(out of -7～7")>(line, E);
      }
      case 0x7F:
        put<TXT("シーケンサー固有 ")>(line, E);
        return bytes(line, e, false);
      default:
        if (type >= 0x01 && type <= 0x0F)
          return put<"%s=%s">(line, E, text_name(type), FileText{b, e.length, true});
        return bytes(line, e, false);
    }
  }

  // A meta event's length and its bytes, said to be wrong for its type.
  void bytes(Line& line, const Event& e, bool wrong) {
    if (wrong)
      put<TXT("長さ=%u(不正)")>(line, E, e.declared);
    else
      put<TXT("長さ=%u")>(line, E, e.length);
    if (e.length > 0) put<" ">(line, E);
    outfmt::put_bytes(line, e.bytes, e.length);
  }
};

template <Encoding E>
void full_in(const Image& image, Song& song, Record& record) {
  FullView<E> view{{image.size, true}, Locator{song}, song};
  walk(image, WalkOptions{true, true}, view, record);
  finish_song(song);
}

// The tracks a channel appears in, as "1,2,5".
template <Encoding E>
void put_tracks(Line& line, const List<int32_t>& tracks) {
  for (uint32_t i = 0; i < tracks.count; ++i) {
    if (i > 0) put<",">(line, E);
    put<"%d">(line, E, tracks.items[i]);
  }
}

template <Encoding E>
void print_song_in(const Song& song) {
  Line line;
  Locator locator{song};
  put<TXT("曲の長さ ")>(line, E);
  put_position(line, locator.at(song.longest_track, song.length));
  line.p[-1] = '\n';  // the position's blank ends the line
  for (const Change& c : song.tempos) {
    put<TXT("テンポ ")>(line, E);
    put_position(line, locator.at(c.track, c.tick));
    const uint32_t hundredths = tempo_bpm_hundredths(c.value);
    put<TXT("四分音符=%uμs %u.%02uBPM トラック %d\n")>(line, E, c.value, hundredths / 100,
                                                       hundredths % 100, c.track);
  }
  for (const Change& c : song.meters) {
    put<TXT("拍子 ")>(line, E);
    put_position(line, locator.at(c.track, c.tick));
    put<TXT("%u/%d トラック %d\n")>(line, E, c.value, time_signature_denominator(c.exponent),
                                    c.track);
  }
  for (const Change& c : song.keys) {
    put<TXT("調号 ")>(line, E);
    put_position(line, locator.at(c.track, c.tick));
    put<"%u %u ">(line, E, c.value, c.exponent);
    const Text* name = key_signature_name(static_cast<int8_t>(c.value), c.exponent);
    if (name)
      put<"%s">(line, E, *name);
    else
      put<TXT("---(out of -7～7")>(line, E);
    put<TXT(" トラック %d\n")>(line, E, c.track);
  }
  for (const Change& c : song.marks) {
    if (c.value == 0x06)
      put<TXT("マーカー ")>(line, E);
    else
      put<TXT("キューポイント ")>(line, E);
    put_position(line, locator.at(c.track, c.tick));
    put<TXT("%s トラック %d\n")>(line, E, FileText{c.text, c.length, true}, c.track);
  }
  for (int ch = 0; ch < kChannels; ++ch) {
    const ChannelUse& use = song.channels[ch];
    if (!use.used) continue;
    put<TXT("チャンネル %2d トラック ")>(line, E, ch + 1);
    put_tracks<E>(line, use.tracks);
    put<TXT(" ノート %lu")>(line, E, use.note_ons);
    if (use.note_ons > 0)
      put<TXT(" %s～%s")>(line, E, note_name(use.lowest), note_name(use.highest));
    for (uint32_t i = 0; i < use.programs.count; ++i) {
      const ChannelUse::Program& p = use.programs.items[i];
      if (i == 0)
        put<TXT(" 楽器 ")>(line, E);
      else
        put<", ">(line, E);
      if (ch != 9)
        put<"%s">(line, E, program_name(p.number));
      else if (const char* kit = drum_kit_name(p.number))
        put<"%s">(line, E, kit);
      else
        put<"drum kit %d">(line, E, p.number + 1);
      if (p.bank[0] < 0 && p.bank[1] < 0) continue;
      put<" bank ">(line, E);
      FullView<E>::put_part(line, p.bank[0]);
      put<"/">(line, E);
      FullView<E>::put_part(line, p.bank[1]);
    }
    put<"\n">(line, E);
  }
  line.flush();
}

}  // namespace

void print_full(const Image& image, Output o, Song& song, Record& record) {
  start_song(image, song);
  if (o.encoding == Encoding::utf8)
    full_in<Encoding::utf8>(image, song, record);
  else
    full_in<Encoding::cp932>(image, song, record);
}

void print_song(const Song& song, Output o) {
  if (o.encoding == Encoding::utf8)
    print_song_in<Encoding::utf8>(song);
  else
    print_song_in<Encoding::cp932>(song);
}
