#pragma once
// The usual trace as a view of the walk; the complete trace prints its
// header, chunks and cuts alike.
#include <cstring>

#include "output/format.h"
#include "smf/decode.h"
#include "smf/event.h"
#include "smf/names.h"

template <Encoding E>
struct TraceView {
  uint32_t size;  // where the walk ends, shown beside the end of each track
  bool escape;

  // An event's line: its position, delta time and status byte ("r" where it
  // is the running status), then the event's own text F.
  template <outfmt::Format F, outfmt::Format U = F, typename... A>
  [[gnu::always_inline]] void line(const Event& e, A... a) {
    outfmt::Line line;
    start(line, e);
    put<F, U>(line, E, a...);
    line.flush();
  }

  // Every event line begins alike: made once, not again for each kind.
  [[gnu::noinline]] static void start(outfmt::Line& line, const Event& e) {
    put<"st 0x%06lx ---time %04lu %c[%02X] ">(line, E, e.pos, e.delta, e.running ? 'r' : 'R',
                                              e.status);
  }

  // A text of the file, up to its first NUL byte.
  FileText text(const Event& e) const {
    const size_t n = strnlen(reinterpret_cast<const char*>(e.bytes), e.length);
    return FileText{e.bytes, static_cast<uint32_t>(n), escape};
  }

  void riff(const Riff& r) {
    out<"RIFF RMID data 0x%06lx size %lu\n">(E, r.pos, r.length);
    size = r.end;
  }

  void header(const HeaderChunk& h) {
    out<"MThd\nReadMThd size %lu\nReadMThd formatid %u\nReadMThd track count %u\n"
        "ReadMThd deltatime %u\n">(E, h.length, h.format, h.ntrks, h.division);
  }

  void scan(uint32_t pos) { out<"pos=0x%lx\n">(E, pos); }

  void chunk(const Chunk& c) {
    out<"%06lx not Mtrk\npos %lx ->fsize %lx\n">(E, c.pos, c.pos, size);
  }

  void track_begin(const Chunk& c) {
    out<"========================================\n%d)MTrk (0x%06lx) track_no %02d\n"
        "========================================\nmtrk size %8lu 0x%06lx\n">(
        E, c.track, c.pos, c.track, c.length, c.length);
  }

  void track_end(uint32_t pos) { out<"pos %06lx\npos %lx ->fsize %lx\n">(E, pos, pos, size); }

  void cut(const Cut& c) {
    if (!c.event) return out<"unexpected end of file at 0x%06lx\n">(E, c.pos);
    const Event& e = *c.event;
    switch (c.reached) {
      case Cut::position:
        return out<"st 0x%06lx ---unexpected end of file at 0x%06lx\n">(E, e.pos, c.pos);
      case Cut::delta:
        return out<"st 0x%06lx ---time %04lu unexpected end of file at 0x%06lx\n">(E, e.pos,
                                                                                   e.delta, c.pos);
      case Cut::status:
        return line<"unexpected end of file at 0x%06lx\n">(e, c.pos);
      case Cut::meta_type:
        return line<"[%02X] unexpected end of file at 0x%06lx\n">(e, e.meta_type, c.pos);
    }
  }

  void event(const Event& e) {
    const uint8_t* d = e.data;
    // Tested in the order of how often files hold them: a table of jumps
    // would guess wrong at every change of kind.
    if (e.kind == Kind::note_on)
      return line<TXT("note %dch 音 %3d %3d\n")>(e, e.channel, d[0], d[1]);
    if (e.kind == Kind::note_off)
      return line<TXT("note off %dch 音 %2d %2d\n")>(e, e.channel, d[0], d[1]);
    if (e.kind == Kind::control) return controller(e);
    if (e.kind == Kind::pitch_bend)
      return line<TXT("Ex ピッチ・ベンド・チェンジ 0x%02x 0x%02x\n")>(e, d[0], d[1]);
    if (e.kind == Kind::meta) return meta(e);
    if (e.kind == Kind::program)
      return line<TXT("program change (楽器) %d (%x) %s \n")>(e, d[0], d[0] + 1,
                                                              program_name(d[0]));
    if (e.kind == Kind::sysex) return line<TXT("システムエクスクルーシブ \n")>(e);
    if (e.kind == Kind::poly_pressure)
      return line<TXT("ポリフォニック・キー・プレッシャー %dch 音 %3d %3d\n")>(e, e.channel, d[0],
                                                                               d[1]);
    if (e.kind == Kind::channel_pressure)
      return line<TXT("チャンネル・プレッシャー %dch %3d\n")>(e, e.channel, d[0]);
    line<"Track Event unknown %02X\n">(e, e.status);
  }

  void controller(const Event& e) {
    const uint8_t number = e.data[0], value = e.data[1];
    // clang-format off
    switch (number) {
      case 0: return line<TXT("バンクセレクトMSB (CC#0)\n")>(e);
      case 1: return line<TXT("モジュレーション %d\n")>(e, value);
      case 6: return line<TXT("データ・エントリー MSB %d\n")>(e, value);
      case 7: return line<TXT("ボリューム %d\n")>(e, value);
      case 10: return line<"PANPOT %d\n">(e, value);
      case 11: return line<TXT("エクスプレッション(Expression) %d\n")>(e, value);
      case 32: return line<TXT("バンクセレクトLSB (CC#32)\n")>(e);
      case 38: return line<TXT("データ・エントリー LSB %d\n")>(e, value);
      case 91: return line<TXT("CC)リバーブ %d\n")>(e, value);
      case 92:
      case 93:
      case 95: return line<TXT("未定義 (0x%x%d\n")>(e, number, value);
      case 99: return line<TXT("未定義(0x%x) %d\n")>(e, number, value);
      case 100: return line<"unknown(#100(0x64)) 0x%x %d\n">(e, value, value);
      case 101: return line<"unknown(#101(0x65)) 0x%x %d\n">(e, value, value);
      case 121: return line<TXT("リセットオールコントローラー (CC#121)\n")>(e);
      default: return line<"">(e);  // no name: the line stays open for the next event
    }
    // clang-format on
  }

  void meta(const Event& e) {
    const uint8_t* b = e.bytes;
    switch (e.meta_type) {
      case 0x01:
        return line<TXT("[01] テキスト=%s\n")>(e, text(e));
      case 0x02:
        return line<TXT("[02] 著作権表示=%s\n")>(e, text(e));
      case 0x03:
        return line<TXT("[03] シーケンス名=%s\n")>(e, text(e));
      case 0x06:
        return line<TXT("[06] マーカー=%s\n")>(e, text(e));
      case 0x21:
        return line<TXT("[21] 出力ポートの指定 %d\n")>(e, b[0]);
      case 0x2F:
        return line<TXT("[2F] トラック終端\n")>(e);
      case 0x51:
        return line<"[51] (0x%02x 0x%02x 0x%02x)tempo=%lu\n">(e, b[0], b[1], b[2], tempo_bpm(b));
      case 0x58:
        return line<TXT("[58] 拍子=%d/%d\n")>(e, b[0], time_signature_denominator(b[1]));
      case 0x59:
        return line<TXT("[59] 調号=%d %d %s %s\n")>(e, b[0], b[1], key_name(b[0]),
                                                    b[1] == 0 ? "M" : "m");
      default:
        return line<"[%02X] ">(e, e.meta_type);  // no text: the line stays open
    }
  }
};
