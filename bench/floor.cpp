// The floor of the trace benchmark: the simplest fast dumper that prints the bytes that
// "smfscope -noteon FILE" prints for the files make_big writes.
//
//   floor -noteon FILE
//
// It reads the file whole and walks it trusting that it is well formed as those files are: a
// status byte on every event, lengths that fit, no events but the ones make_big writes. Event
// lines are formatted by hand into a 1 MiB buffer that goes out with write() when nearly full;
// the few lines of the header, the chunks and the summary use printf's formats. The names are
// the program's own (smf/names.cpp), and like the program it is built with
// -fexec-charset=CP932, so that its Japanese texts come out as code page 932 bytes.
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "smf/names.h"

namespace {

char out[1 << 20];
char* p = out;

void flush() {
  if (write(1, out, p - out) != p - out) exit(1);
  p = out;
}

template <size_t N>
inline void lit(const char (&s)[N]) {
  memcpy(p, s, N - 1);
  p += N - 1;
}

// v in decimal in at least `width` places, padded with `pad`.
inline void dec(uint32_t v, int width = 0, char pad = ' ') {
  char digits[10];
  int n = 0;
  do digits[n++] = static_cast<char>('0' + v % 10);
  while ((v /= 10) != 0);
  for (; width > n; --width) *p++ = pad;
  while (n) *p++ = digits[--n];
}

// v in hexadecimal with at least `width` digits.
inline void hex(uint32_t v, int width = 0, const char* digits = "0123456789abcdef") {
  char tmp[8];
  int n = 0;
  do tmp[n++] = digits[v & 15];
  while ((v >>= 4) != 0);
  for (; width > n; --width) *p++ = '0';
  while (n) *p++ = tmp[--n];
}

[[gnu::format(printf, 1, 2)]] void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  p += vsnprintf(p, 4096, format, args);
  va_end(args);
}

uint32_t be(const uint8_t* b, int n) {
  uint32_t v = 0;
  while (n--) v = v << 8 | *b++;
  return v;
}

inline uint32_t vlq(const uint8_t* b, uint32_t& pos) {
  uint32_t v = 0;
  do v = v << 7 | (b[pos] & 0x7F);
  while (b[pos++] & 0x80);
  return v;
}

const char kLine[] = "========================================\n";

struct Track {
  uint32_t pos, size;
  const char* program = "";
  int channel = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const char* path = argv[argc - 1];
  FILE* f = argc == 3 ? fopen(path, "rb") : nullptr;
  if (!f) return fprintf(stderr, "usage: floor -noteon FILE\n"), 2;
  fseek(f, 0, SEEK_END);
  const uint32_t size = static_cast<uint32_t>(ftell(f));
  rewind(f);
  uint8_t* b = static_cast<uint8_t*>(malloc(size));
  if (fread(b, 1, size, f) != size) return perror(path), 1;

  const unsigned format = be(b + 8, 2), ntrks = be(b + 10, 2), division = be(b + 12, 2);
  uint32_t pos = 8 + be(b + 4, 4);
  say("%d MIDIファイル %s\nfs %u\n%.4s\nReadMThd size %u\nReadMThd formatid %u\n", argc - 1, path,
      size, b, pos - 8, format);
  say("ReadMThd track count %u\nReadMThd deltatime %u\npos=0x%x\n", ntrks, division, pos);

  static Track tracks[64];
  unsigned tempo = 0, beat_num = 0, beat_den = 0;
  int conductor = -1;
  for (int track_no = 0; pos < size; ++track_no) {
    Track& t = tracks[track_no];
    t.pos = pos;
    t.size = be(b + pos + 4, 4);
    say("%s%d)MTrk (0x%06x) track_no %02d\n%smtrk size %8u 0x%06x\n", kLine, track_no, pos,
        track_no, kLine, t.size, t.size);
    pos += 8;
    for (const uint32_t end = pos + t.size; pos < end;) {
      if (p > out + sizeof out - 8192) flush();
      lit("st 0x");
      hex(pos, 6);
      lit(" ---time ");
      dec(vlq(b, pos), 4, '0');
      lit(" R[");
      const uint8_t* e = b + pos;
      hex(e[0], 2, "0123456789ABCDEF");
      lit("] ");
      const unsigned ch = e[0] & 0x0F;
      pos += 3;
      switch (e[0] >> 4) {
        case 0x9:
          t.channel = static_cast<int>(ch) + 1;
          lit("note ");
          dec(ch);
          lit("ch 音 ");
          dec(e[1], 3);
          *p++ = ' ';
          dec(e[2], 3);
          break;
        case 0x8:
          lit("note off ");
          dec(ch);
          lit("ch 音 ");
          dec(e[1], 2);
          *p++ = ' ';
          dec(e[2], 2);
          break;
        case 0xB:
          switch (e[1]) {
            // clang-format off
            case 0: lit("バンクセレクトMSB (CC#0)"); break;
            case 1: lit("モジュレーション "); dec(e[2]); break;
            case 6: lit("データ・エントリー MSB "); dec(e[2]); break;
            case 7: lit("ボリューム "); dec(e[2]); break;
            case 10: lit("PANPOT "); dec(e[2]); break;
            case 11: lit("エクスプレッション(Expression) "); dec(e[2]); break;
            case 32: lit("バンクセレクトLSB (CC#32)"); break;
            case 38: lit("データ・エントリー LSB "); dec(e[2]); break;
            case 91: lit("CC)リバーブ "); dec(e[2]); break;
            case 92: case 93: case 95: lit("未定義 (0x"); hex(e[1]); dec(e[2]); break;
            case 99: lit("未定義(0x63) "); dec(e[2]); break;
            case 100: case 101: say("unknown(#%u(0x%x)) 0x%x %u", e[1], e[1], e[2], e[2]); break;
            case 121: lit("リセットオールコントローラー (CC#121)"); break;
            // clang-format on
            default:  // no name: the next event goes on on this line
              continue;
          }
          break;
        case 0xC:
          t.program = program_names[e[1]];
          say("program change (楽器) %u (%x) %s ", e[1], e[1] + 1, t.program);
          --pos;
          break;
        case 0xE:
          lit("Ex ピッチ・ベンド・チェンジ 0x");
          hex(e[1], 2);
          lit(" 0x");
          hex(e[2], 2);
          break;
        default:
          if (e[0] == 0xF0) {  // F0, the length, the data
            lit("システムエクスクルーシブ ");
            pos -= 2;
            const uint32_t n = vlq(b, pos);
            pos += n;
            break;
          }
          pos += e[2];  // FF, the type, the length (below 128), the data
          *p++ = '[';
          hex(e[1], 2, "0123456789ABCDEF");
          lit("] ");
          switch (e[1]) {
            // clang-format off
            case 0x01: lit("テキスト="); break;
            case 0x02: lit("著作権表示="); break;
            case 0x03: lit("シーケンス名="); break;
            case 0x06: lit("マーカー="); break;
            case 0x21: say("出力ポートの指定 %u", e[3]); break;
            case 0x2F: lit("トラック終端"); break;
            // clang-format on
            case 0x51:
              tempo = 60000000 / be(e + 3, 3);
              if (conductor < 0) conductor = track_no;
              say("(0x%02x 0x%02x 0x%02x)tempo=%u", e[3], e[4], e[5], tempo);
              break;
            case 0x58:
              if (e[3]) beat_num = e[3], beat_den = (1u << e[4]) & 0xFFFF;
              say("拍子=%u/%u", e[3], 1u << e[4]);
              break;
            case 0x59:
              say("調号=%u %u %s %c", e[3], e[4], key_names[static_cast<int8_t>(e[3]) + 6].cp932,
                  e[4] ? 'm' : 'M');
              break;
          }
          if (e[1] < 0x10) memcpy(p, e + 3, e[2]), p += e[2];
      }
      *p++ = '\n';
    }
    say("pos %06x\npos %x ->fsize %x\n", pos, pos, size);
  }

  say("%stempo=%4u\n拍子 %u/%u\nCMIDI Conductor_Track= %d\n", kLine, tempo, beat_num, beat_den,
      conductor);
  for (unsigned i = 0; i < ntrks; ++i) {
    const Track& t = tracks[i];
    const char* state = static_cast<int>(i) == conductor ? "Conductor  "
                        : t.channel                      ? "  使用済   "
                                                         : "    -      ";
    say("Track %2u (MIDI Track %2d) %s pos 0x%06x size 0x%06x %s\n", i, t.channel, state, t.pos,
        t.size, t.program);
  }
  say("FormatID %u\nTrack_Count %u\nDelta_Time %u\n", format, ntrks, division);
  flush();
}
