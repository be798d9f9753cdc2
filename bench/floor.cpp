// The floor of the trace benchmark: the simplest fast dumper that prints the
// same bytes as "smfscope -noteon FILE" for the generated bench files.
//
//   floor [-noteon] FILE
//
// It reads the file whole, walks its events trusting that the file is well
// formed (a status byte on every event, lengths that fit, texts without NUL
// bytes, program numbers below 128), formats every line by hand and writes
// it with one fwrite. No printf anywhere. Standard output gets the same 1 MiB
// full buffer as smfscope gives it when it is not a terminal.
//
// Built with -fexec-charset=CP932, like the program, so that its Japanese
// texts come out as code page 932 bytes.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kPrograms[128] = {
    "Acoustic Piano", "Bright Piano", "Electric Grand Piano", "Honky-tonk Piano",
    "Electric Piano", "Electric Piano 2", "Harpsichord", "Clavi",
    "Celesta", "Glockenspiel", "Musical box", "Vibraphone",
    "Marimba", "Xylophone", "Tubular Bell", "Dulcimer",
    "Drawbar Organ", "Percussive Organ", "Rock Organ", "Church organ",
    "Reed organ", "Accordion", "Harmonica", "Tango Accordion",
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)",
    "Electric Guitar (clean)", "Electric Guitar (muted)", "Overdriven Guitar",
    "Distortion Guitar", "Guitar harmonics",
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass",
    "Slap Bass 1", "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    "Violin", "Viola", "Cello", "Double bass",
    "Tremolo Strings", "Pizzicato Strings", "Orchestral Harp", "Timpani",
    "String Ensemble 1", "String Ensemble 2", "Synth Strings 1", "Synth Strings 2",
    "Voice Aahs", "Voice Oohs", "Synth Voice", "Orchestra Hit",
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet",
    "French horn", "Brass Section", "Synth Brass 1", "Synth Brass 2",
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax",
    "Oboe", "English Horn", "Bassoon", "Clarinet",
    "Piccolo", "Flute", "Recorder", "Pan Flute",
    "Blown Bottle", "Shakuhachi", "Whistle", "Ocarina",
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope)", "Lead 4 (chiff)",
    "Lead 5 (charang)", "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",
    "Pad 1 (Fantasia)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)",
    "Pad 5 (bowed)", "Pad 6 (metallic)", "Pad 7 (halo)", "Pad 8 (sweep)",
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)",
    "FX 5 (brightness)", "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe", "Fiddle", "Shanai",
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock",
    "Taiko Drum", "Melodic Tom", "Synth Drum", "Reverse Cymbal",
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet",
    "Telephone Ring", "Helicopter", "Applause", "Gunshot",
};

const char* const kKeys[13] = {"B", "D♭", "A♭", "E♭", "B♭", "F", "C",
                               "G", "D",  "A",  "E",  "B",  "F"};

const char kHex[] = "0123456789abcdef";
const char kHexUpper[] = "0123456789ABCDEF";

// The line being built; written out whole when it ends.
char line[8192];
char* p = line;

template <size_t N>
inline void lit(const char (&s)[N]) {
  memcpy(p, s, N - 1);
  p += N - 1;
}

inline void str(const char* s) {
  const size_t n = strlen(s);
  memcpy(p, s, n);
  p += n;
}

inline void end_line() {
  *p++ = '\n';
  fwrite(line, 1, static_cast<size_t>(p - line), stdout);
  p = line;
}

// Decimal, right-aligned in `width` places, padded with `pad`.
inline void dec(uint64_t v, int width = 0, char pad = ' ') {
  char tmp[24];
  int n = 0;
  do tmp[n++] = static_cast<char>('0' + v % 10);
  while ((v /= 10) != 0);
  for (int i = n; i < width; ++i) *p++ = pad;
  while (n) *p++ = tmp[--n];
}

inline void sdec(int64_t v, int width = 0) {
  if (v < 0) {
    *p++ = '-';
    dec(static_cast<uint64_t>(-v), width - 1);
  } else {
    dec(static_cast<uint64_t>(v), width);
  }
}

// Hexadecimal with at least `width` digits, zero-padded.
inline void hex(uint64_t v, int width = 0, const char* digits = kHex) {
  char tmp[16];
  int n = 0;
  do tmp[n++] = digits[v & 15];
  while ((v >>= 4) != 0);
  for (int i = n; i < width; ++i) *p++ = '0';
  while (n) *p++ = tmp[--n];
}

inline void hex2(uint8_t v, const char* digits = kHex) {
  *p++ = digits[v >> 4];
  *p++ = digits[v & 15];
}

inline uint32_t be32(const uint8_t* b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}

inline uint32_t vlq(const uint8_t* b, uint32_t& pos) {
  uint32_t v = 0;
  uint8_t c;
  do {
    c = b[pos++];
    v = v << 7 | (c & 0x7F);
  } while (c & 0x80);
  return v;
}

void separator() {
  lit("========================================");
  end_line();
}

struct Track {
  uint32_t pos = 0;
  uint32_t size = 0;
  const char* program = "";
  int channel = 0;
  bool used = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fwrite("usage: floor [-noteon] FILE\n", 1, 28, stderr);
    return 2;
  }
  static char outbuf[1u << 20];
  if (!isatty(fileno(stdout))) setvbuf(stdout, outbuf, _IOFBF, sizeof outbuf);

  const char* path = argv[argc - 1];
  sdec(argc - 1);
  lit(" MIDIファイル ");
  str(path);
  end_line();

  FILE* f = fopen(path, "rb");
  if (!f) {
    perror(path);
    return 1;
  }
  fseek(f, 0, SEEK_END);
  const uint32_t fsize = static_cast<uint32_t>(ftell(f));
  fseek(f, 0, SEEK_SET);
  uint8_t* b = static_cast<uint8_t*>(malloc(fsize));
  if (!b || fread(b, 1, fsize, f) != fsize) {
    perror(path);
    return 1;
  }
  fclose(f);

  lit("fs ");
  dec(fsize);
  end_line();

  const uint32_t hlen = be32(b + 4);
  const unsigned format = uint32_t{b[8]} << 8 | b[9];
  const unsigned ntrks = uint32_t{b[10]} << 8 | b[11];
  const unsigned division = uint32_t{b[12]} << 8 | b[13];
  memcpy(p, b, 4);
  p += 4;
  end_line();
  lit("ReadMThd size ");
  dec(hlen);
  end_line();
  lit("ReadMThd formatid ");
  dec(format);
  end_line();
  lit("ReadMThd track count ");
  dec(ntrks);
  end_line();
  lit("ReadMThd deltatime ");
  dec(division);
  end_line();
  uint32_t pos = 8 + hlen;
  lit("pos=0x");
  hex(pos);
  end_line();

  static Track tracks[64];
  uint32_t tempo = 0;
  int conductor = -1;
  unsigned beat_num = 0;
  unsigned beat_den = 0;

  int track_no = 0;
  while (pos < fsize) {
    Track& t = tracks[track_no];
    const uint32_t length = be32(b + pos + 4);
    t.pos = pos;
    t.size = length;
    separator();
    sdec(track_no);
    lit(")MTrk (0x");
    hex(pos, 6);
    lit(") track_no ");
    dec(static_cast<uint64_t>(track_no), 2, '0');
    end_line();
    separator();
    lit("mtrk size ");
    dec(length, 8);
    lit(" 0x");
    hex(length, 6);
    end_line();
    pos += 8;
    const uint32_t chunk_end = pos + length;

    while (pos < chunk_end) {
      lit("st 0x");
      hex(pos, 6);
      lit(" ---time ");
      dec(vlq(b, pos), 4, '0');
      lit(" R[");
      const uint8_t status = b[pos];
      hex2(status, kHexUpper);
      lit("] ");
      const uint8_t* e = b + pos;
      const unsigned ch = status & 0x0F;
      switch (status >> 4) {
        case 0x9:
          t.channel = static_cast<int>(ch) + 1;
          t.used = true;
          lit("note ");
          dec(ch);
          lit("ch 音 ");
          dec(e[1], 3);
          *p++ = ' ';
          dec(e[2], 3);
          end_line();
          pos += 3;
          break;
        case 0x8:
          lit("note off ");
          dec(ch);
          lit("ch 音 ");
          dec(e[1], 2);
          *p++ = ' ';
          dec(e[2], 2);
          end_line();
          pos += 3;
          break;
        case 0xB: {
          const unsigned v = e[2];
          switch (e[1]) {
            case 0: lit("バンクセレクトMSB (CC#0)"); end_line(); break;
            case 1: lit("モジュレーション "); dec(v); end_line(); break;
            case 6: lit("データ・エントリー MSB "); dec(v); end_line(); break;
            case 7: lit("ボリューム "); dec(v); end_line(); break;
            case 10: lit("PANPOT "); dec(v); end_line(); break;
            case 11: lit("エクスプレッション(Expression) "); dec(v); end_line(); break;
            case 32: lit("バンクセレクトLSB (CC#32)"); end_line(); break;
            case 38: lit("データ・エントリー LSB "); dec(v); end_line(); break;
            case 91: lit("CC)リバーブ "); dec(v); end_line(); break;
            case 92:
            case 93:
            case 95: lit("未定義 (0x"); hex(e[1]); dec(v); end_line(); break;
            case 99: lit("未定義(0x63) "); dec(v); end_line(); break;
            case 100: lit("unknown(#100(0x64)) 0x"); hex(v); *p++ = ' '; dec(v); end_line(); break;
            case 101: lit("unknown(#101(0x65)) 0x"); hex(v); *p++ = ' '; dec(v); end_line(); break;
            case 121: lit("リセットオールコントローラー (CC#121)"); end_line(); break;
            default: break;  // no name: the next event goes on on this line
          }
          pos += 3;
          break;
        }
        case 0xC:
          t.program = kPrograms[e[1]];
          lit("program change (楽器) ");
          dec(e[1]);
          lit(" (");
          hex(e[1] + 1u);
          lit(") ");
          str(t.program);
          *p++ = ' ';
          end_line();
          pos += 2;
          break;
        case 0xE:
          lit("Ex ピッチ・ベンド・チェンジ 0x");
          hex2(e[1]);
          lit(" 0x");
          hex2(e[2]);
          end_line();
          pos += 3;
          break;
        case 0xF:
          if (status == 0xF0) {
            lit("システムエクスクルーシブ ");
            end_line();
            ++pos;
            const uint32_t n = vlq(b, pos);
            pos += n;
            break;
          } else {
            const uint8_t type = e[1];
            const uint32_t n = e[2];
            *p++ = '[';
            hex2(type, kHexUpper);
            lit("] ");
            bool text = false;
            switch (type) {
              case 0x01: lit("テキスト="); text = true; break;
              case 0x02: lit("著作権表示="); text = true; break;
              case 0x03: lit("シーケンス名="); text = true; break;
              case 0x06: lit("マーカー="); text = true; break;
              case 0x21:
                lit("出力ポートの指定 ");
                dec(e[3]);
                end_line();
                break;
              case 0x2F:
                lit("トラック終端");
                end_line();
                break;
              case 0x51: {
                const uint32_t micros = uint32_t{e[3]} << 16 | uint32_t{e[4]} << 8 | e[5];
                tempo = 60000000u / micros;
                if (conductor < 0) conductor = track_no;
                lit("(0x");
                hex2(e[3]);
                lit(" 0x");
                hex2(e[4]);
                lit(" 0x");
                hex2(e[5]);
                lit(")tempo=");
                dec(tempo);
                end_line();
                break;
              }
              case 0x58:
                if (e[3] != 0) {
                  beat_num = e[3];
                  beat_den = (1u << e[4]) & 0xFFFF;
                }
                lit("拍子=");
                dec(e[3]);
                *p++ = '/';
                dec(1u << e[4]);
                end_line();
                break;
              case 0x59:
                lit("調号=");
                dec(e[3]);
                *p++ = ' ';
                dec(e[4]);
                *p++ = ' ';
                str(kKeys[static_cast<int8_t>(e[3]) + 6]);
                *p++ = ' ';
                *p++ = e[4] == 0 ? 'M' : 'm';
                end_line();
                break;
            }
            if (text) {
              memcpy(p, e + 3, n);
              p += n;
              end_line();
            }
            pos += 3 + n;
          }
          break;
      }
    }
    ++track_no;
    lit("pos ");
    hex(pos, 6);
    end_line();
    lit("pos ");
    hex(pos);
    lit(" ->fsize ");
    hex(fsize);
    end_line();
  }

  separator();
  lit("tempo=");
  dec(tempo, 4);
  end_line();
  lit("拍子 ");
  dec(beat_num);
  *p++ = '/';
  dec(beat_den);
  end_line();
  lit("CMIDI Conductor_Track= ");
  sdec(conductor);
  end_line();
  for (unsigned i = 0; i < ntrks; ++i) {
    const Track& t = tracks[i];
    lit("Track ");
    dec(i, 2);
    lit(" (MIDI Track ");
    dec(static_cast<uint64_t>(t.channel), 2);
    lit(") ");
    if (static_cast<int>(i) == conductor) {
      lit("Conductor  ");
    } else if (t.used) {
      lit("  使用済   ");
    } else {
      lit("    -      ");
    }
    lit(" pos 0x");
    hex(t.pos, 6);
    lit(" size 0x");
    hex(t.size, 6);
    *p++ = ' ';
    str(t.program);
    end_line();
  }
  lit("FormatID ");
  dec(format);
  end_line();
  lit("Track_Count ");
  dec(ntrks);
  end_line();
  lit("Delta_Time ");
  dec(division);
  end_line();
  return fflush(stdout) == 0 ? 0 : 1;
}
