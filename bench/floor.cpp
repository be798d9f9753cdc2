// The floor of the trace benchmark: the plainest fast dumper that prints the bytes of
// "smfscope -noteon FILE" for the files make_big writes, trusting them to be as those are (a
// status byte on every event, lengths that fit, no other events). The frequent lines are
// formatted by hand, the rare ones with printf. The names are the program's own
// (smf/names.cpp) and, like the program, it is built with -fexec-charset=CP932.
//
//   floor -noteon FILE
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "smf/names.h"

namespace {

char out[1 << 20];  // written out when nearly full
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

// v in base 10 or 16 in at least `width` places, padded with `pad`.
template <unsigned Base = 10>
inline void num(uint32_t v, int width = 0, char pad = ' ',
                const char* digits = "0123456789abcdef") {
  char tmp[10];
  int n = 0;
  do tmp[n++] = digits[v % Base];
  while ((v /= Base) != 0);
  for (; width > n; --width) *p++ = pad;
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

const char kHEX[] = "0123456789ABCDEF", kLine[] = "========================================\n";
const char* const kTexts[] = {"", "テキスト=", "著作権表示=", "シーケンス名=", "", "", "マーカー="};

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

  struct Track {
    uint32_t pos, size;
    const char* program = "";
    unsigned channel = 0;
  } tracks[16];
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
      num<16>(pos, 6, '0');
      lit(" ---time ");
      num(vlq(b, pos), 4, '0');
      lit(" R[");
      const uint8_t* e = b + pos;
      num<16>(e[0], 2, '0', kHEX);
      lit("] ");
      const unsigned ch = e[0] & 0x0F, on = e[0] >> 4 == 9;
      pos += 3;
      switch (e[0] >> 4) {
        case 0x8:
        case 0x9:  // the numbers of a note on are wider
          if (on) t.channel = ch + 1;
          on ? lit("note ") : lit("note off ");
          num(ch);
          lit("ch 音 ");
          num(e[1], 2 + on);
          *p++ = ' ';
          num(e[2], 2 + on);
          break;
        case 0xB:
          switch (e[1]) {  // a text that ends in a space is followed by the value
            // clang-format off
            case 0: lit("バンクセレクトMSB (CC#0)"); break;
            case 1: lit("モジュレーション "); break;
            case 6: lit("データ・エントリー MSB "); break;
            case 7: lit("ボリューム "); break;
            case 10: lit("PANPOT "); break;
            case 11: lit("エクスプレッション(Expression) "); break;
            case 32: lit("バンクセレクトLSB (CC#32)"); break;
            case 38: lit("データ・エントリー LSB "); break;
            case 91: lit("CC)リバーブ "); break;
            case 92: case 93: case 95: lit("未定義 (0x"); num<16>(e[1]); num(e[2]); break;
            case 99: lit("未定義(0x63) "); break;
            case 100: case 101: say("unknown(#%u(0x%x)) 0x%x %u", e[1], e[1], e[2], e[2]); break;
            case 121: lit("リセットオールコントローラー (CC#121)"); break;
            // clang-format on
            default:  // no name: the next event goes on on this line
              continue;
          }
          if (p[-1] == ' ') num(e[2]);
          break;
        case 0xC:
          t.program = program_names[e[1]];
          say("program change (楽器) %u (%x) %s ", e[1], e[1] + 1, t.program);
          --pos;
          break;
        case 0xE:
          lit("Ex ピッチ・ベンド・チェンジ 0x");
          num<16>(e[1], 2, '0');
          lit(" 0x");
          num<16>(e[2], 2, '0');
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
          num<16>(e[1], 2, '0', kHEX);
          lit("] ");
          switch (e[1]) {
            // clang-format off
            case 0x21: say("出力ポートの指定 %u", e[3]); break;
            case 0x2F: lit("トラック終端"); break;
            // clang-format on
            case 0x51:
              tempo = 60000000 / be(e + 3, 3);
              if (conductor < 0) conductor = track_no;
              say("(0x%02x 0x%02x 0x%02x)tempo=%u", e[3], e[4], e[5], tempo);
              break;
            case 0x58:
              beat_num = e[3], beat_den = 1u << e[4];
              say("拍子=%u/%u", beat_num, beat_den);
              break;
            case 0x59:
              say("調号=%u %u %s %c", e[3], e[4], key_names[static_cast<int8_t>(e[3]) + 6].cp932,
                  e[4] ? 'm' : 'M');
              break;
            default:  // 01 to 06: a text
              p = static_cast<char*>(mempcpy(stpcpy(p, kTexts[e[1]]), e + 3, e[2]));
          }
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
    say("Track %2u (MIDI Track %2u) %s pos 0x%06x size 0x%06x %s\n", i, t.channel, state, t.pos,
        t.size, t.program);
  }
  say("FormatID %u\nTrack_Count %u\nDelta_Time %u\n", format, ntrks, division);
  flush();
}
