#include "app/run.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/summary.h"
#include "app/tempo_track.h"
#include "smf/out.h"
#include "smf/raw_file.h"
#include "smf/record.h"
#include "smf/walker.h"

namespace {

// The number after "-t": leading white space, an optional sign, then decimal
// digits up to the first other character; 0 without digits. A value past
// the 32-bit range, and any negative one, stands as the largest value (out of
// range, so refused later) rather than wrapping around.
uint32_t parse_tempo(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + static_cast<uint64_t>(*text - '0');
    if (value > UINT32_MAX) value = uint64_t{UINT32_MAX} + 1;
  }
  if (value > UINT32_MAX || (negative && value != 0)) return UINT32_MAX;
  return static_cast<uint32_t>(value);
}

void print_help() {
  out<"\nsmfscope v0.02 オプション\n">();
  out<"-v (MIDIの情報を表示します(省略可)\n">();
  out<"-noteon -v使用時に、音符の情報をすべて表示する\n">();
  out<"-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n">();
  out<"-t nnn テンポを設定します(オプションとして与えるので、プログラムは止まりません\n">();
  out<"※コマンドラインの最後に、MIDIファイルを指定します\n">();
}

// The usage in English, for "--help" alone.
void print_usage() {
  out<"Usage: smfscope [-v] [-t [nnn]] [-noteon] [-rs] [-u8] FILE.mid\n">();
  out<"Traces every chunk and event of a Standard MIDI File, then sums up its tracks.\n">();
  out<"  -noteon   trace every event (without it, each track up to its first note)\n">();
  out<"  -t nnn    also write \"FILE.mid(newtempo=nnn).mid\": a tempo track in front, nnn bpm\n">();
  out<"  -t        the same, asking for the tempo\n">();
  out<"  -v        no tempo track (the default; of -v and -t the later one counts)\n">();
  out<"  -rs       decode running status, aftertouch and F7 system exclusive\n">();
  out<"  -u8       print UTF-8 instead of code page 932\n">();
  out<"  --help    this text; --version  the version (each only on its own)\n">();
  out<"Exit status: 0 done, 1 the file or the copy failed or the output could not be written.\n">();
  out<"Manual: man smfscope; on Windows README.txt beside smfscope.exe.\n">();
}

// What the arguments ask for.
struct Options {
  const char* midi_path = "";
  bool tempo_mode = false;
  uint32_t newtempo = 0;  // 0: none given
  bool notes = false;
  bool running_status = false;
};

// Runs everything after the arguments have been scanned. The file image and
// the record live until the process ends, as statics, never released.
int inspect(const Options& o) {
  RawFile input;
  if (open_read(input, o.midi_path) != 0) {
    out<"open error\n">();
    return 1;
  }
  // Positions in the file are 32-bit: a larger file cannot be walked.
  if (input.size > UINT32_MAX) {
    out<"file too large\n">();
    return 1;
  }
  const uint32_t fsize = static_cast<uint32_t>(input.size);
  // Unsigned: on Windows a long has 32 bits, and sizes from 2 GiB on would
  // print negative as a long.
  out<"fs %lu\n">(static_cast<unsigned long>(fsize));

  static uint8_t* const data = alloc_file_buffer(fsize);
  static CMIDI rec;
  if (!data || make_record(rec, fsize, o.notes, o.running_status) != 0) {
    out<"not bin\n">();
    return 1;
  }
  if (read_bytes(input, data, fsize) != fsize) {
    out<"read error\n">();
    return 1;
  }
  const Image image{data, fsize};
  walk_smf(image, rec);
  print_summary(rec);

  TempoOutcome outcome = TempoOutcome::go_on;
  if (o.tempo_mode) outcome = insert_tempo_track(rec, image, o.midi_path, o.newtempo);
  if (outcome == TempoOutcome::go_on) {
    out<"FormatID %d\n">(rec.FormatID);
    out<"Track_Count %d\n">(rec.Track_Count);
    out<"Delta_Time %d\n">(rec.Delta_Time);
  }
  return outcome == TempoOutcome::failed ? 1 : 0;
}

// Scans the arguments: the options, and the file name, whose line it prints.
Options scan(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "-v") == 0) {
      o.tempo_mode = false;
    } else if (strcmp(arg, "-t") == 0) {
      o.tempo_mode = true;
      if (i + 1 < argc) {
        o.newtempo = parse_tempo(argv[i + 1]);
        if (o.newtempo != 0) {
          ++i;
        } else {
          out<"オプションにテンポが見つかりません\n">();
        }
      }
    } else if (strcmp(arg, "-noteon") == 0) {
      o.notes = true;
    } else if (strcmp(arg, "-rs") == 0) {
      o.running_status = true;
    } else if (strcmp(arg, "-u8") != 0) {
      o.midi_path = arg;
      out<"%d MIDIファイル %s\n">(i, Raw{shown_name(o.midi_path)});
    }
  }
  return o;
}

}  // namespace

int run(int argc, char** argv) {
  const bool output_closed = claim_standard_streams();
  // -u8 turns every line into UTF-8, also those printed before it.
  bool utf8 = false;
  for (int i = 1; i < argc; ++i) utf8 = utf8 || strcmp(argv[i], "-u8") == 0;
  out_init_stdout(utf8);
  int code = 0;
  if (argc == 1) {
    print_help();
  } else if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    print_usage();
  } else if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    out<"smfscope 0.02\n">();
  } else {
    code = inspect(scan(argc, argv));
  }
  // Output that did not arrive fails the run, without a message: there is
  // nowhere to print it.
  if (fflush(stdout) != 0 || ferror(stdout) || output_closed) code = 1;
  release_console();
  return code;
}
