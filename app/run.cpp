#include "app/run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/options.h"
#include "app/summary.h"
#include "app/tempo_track.h"
#include "output/check.h"
#include "output/format.h"
#include "output/full.h"
#include "output/json.h"
#include "output/trace.h"
#include "platform/console.h"
#include "platform/files.h"
#include "smf/record.h"
#include "smf/walker.h"

namespace {

void print_help(Encoding e) {
  out<TXT("\nsmfscope v0.02 オプション\n")>(e);
  out<TXT("-v (MIDIの情報を表示します(省略可)\n")>(e);
  out<TXT("-noteon -v使用時に、音符の情報をすべて表示する\n")>(e);
  out<TXT("-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n")>(e);
  out<TXT("-t nnn テンポを設定します(オプションとして与えるので、プログラムは止まりません\n")>(e);
  out<TXT("※コマンドラインの最後に、MIDIファイルを指定します\n")>(e);
}

// The usage in English, for "--help" alone.
void print_usage(Encoding e) {
  out<"Usage: smfscope [-v] [-t [nnn]] [-noteon] [-rs] [-full] [-json] [-u8] FILE.mid\n">(e);
  out<"       smfscope -check [-u8] FILE.mid...\n">(e);
  out<"Traces every chunk and event of a Standard MIDI File, then sums up its tracks.\n">(e);
  out<"  -noteon   trace every event (without it, each track up to its first note)\n">(e);
  out<"  -t nnn    also write \"FILE.mid(newtempo=nnn).mid\": a tempo track in front, nnn bpm\n">(
      e);
  out<"  -t        the same, asking for the tempo\n">(e);
  out<"  -v        no tempo track (the default; of -v and -t the later one counts)\n">(e);
  out<"  -rs       decode running status, aftertouch and F7 system exclusive\n">(e);
  out<"  -full     every event whole on a line of its own, named (with -noteon and -rs)\n">(e);
  out<"  -json     every item as a JSON object on a line of its own, UTF-8\n">(e);
  out<"  -check    is each file sound? one line a problem, then a verdict a file\n">(e);
  out<"  -u8       print UTF-8 instead of code page 932\n">(e);
  out<"  --help    this text; --version  the version (each only on its own)\n">(e);
  out<"Exit status: 0 done, 1 the file or the copy failed or the output could not be written,\n"
      "             2 -check found an error.\n">(e);
  out<"Manual: man smfscope; on Windows README.txt beside smfscope.exe.\n">(e);
}

// What the scan found, in the order of the arguments: a line for each file
// name, and a message for each "-t" without a tempo.
void print_roles(int argc, char** argv, const Options& o, Output out_to) {
  const Encoding e = out_to.encoding;
  if (out_to.json) {
    // Nothing but JSON on standard output.
    for (int i = 1; i < argc; ++i)
      if (o.roles[i] == Role::tempo_missing) fputs("smfscope: no tempo after -t\n", stderr);
    return;
  }
  for (int i = 1; i < argc; ++i) {
    if (o.roles[i] == Role::tempo_missing) out<TXT("オプションにテンポが見つかりません\n")>(e);
    if (o.roles[i] == Role::file_name)
      out<TXT("%d MIDIファイル %s\n")>(e, i, FileName{shown_name(argv[i], o.utf8), out_to.escape});
  }
}

// Runs everything after the arguments have been scanned.
// Checks every file named (-check): a line for each finding and a verdict
// for each file. 0 when no file has an error, 2 when one has, 1 when one
// cannot be opened or read (the others are checked all the same).
int check_files(int argc, char** argv, const Options& o, Output out_to) {
  const Encoding e = out_to.encoding;
  int code = 0;
  bool errors = false;
  for (int i = 1; i < argc; ++i) {
    if (o.roles[i] != Role::file_name) continue;
    const FileName shown{shown_name(argv[i], o.utf8), out_to.escape};
    RawFile input;
    if (open_read(input, argv[i]) != 0) {
      out<"%s: open error\n">(e, shown);
      code = 1;
      continue;
    }
    if (input.size > UINT32_MAX) {
      out<"%s: file too large\n">(e, shown);
      code = 1;
      close(input);
      continue;
    }
    const uint32_t size = static_cast<uint32_t>(input.size);
    const std::unique_ptr<uint8_t[], Record::Free> buffer(alloc_file_buffer(size));
    const bool read = buffer && read_bytes(input, buffer.get(), size) == size;
    close(input);
    if (!read) {
      out<"%s: %s\n">(e, shown, buffer ? "read error" : "not bin");
      code = 1;
      continue;
    }
    errors = check_file(Image{buffer.get(), size}, shown.name, out_to).errors > 0 || errors;
  }
  if (!o.midi_path) {
    out<"open error\n">(e);
    fputs("smfscope: no MIDI file named (see smfscope --help)\n", stderr);
    return 1;
  }
  return code ? code : errors ? 2 : 0;
}

// A message that ends the run: a line of its own, or a JSON object.
void say_error(Output out_to, const char* message) {
  if (out_to.json)
    print_json_message("error", message);
  else
    out<"%s\n">(out_to.encoding, message);
}

int inspect(const Options& o, Output out_to) {
  const Encoding e = out_to.encoding;
  RawFile input;
  if (!o.midi_path || open_read(input, o.midi_path) != 0) {
    say_error(out_to, "open error");
    if (!o.midi_path) fputs("smfscope: no MIDI file named (see smfscope --help)\n", stderr);
    return 1;
  }
  // Positions in the file are 32-bit: a larger file cannot be walked.
  if (input.size > UINT32_MAX) {
    say_error(out_to, "file too large");
    return 1;
  }
  const uint32_t size = static_cast<uint32_t>(input.size);
  if (out_to.json)
    print_json_file(o.midi_path, size);
  else
    out<"fs %lu\n">(e, size);

  const std::unique_ptr<uint8_t[], Record::Free> buffer(alloc_file_buffer(size));
  uint8_t* const data = buffer.get();
  Record record;
  if (!data || make_record(record, size) != 0) {
    say_error(out_to, "not bin");
    return 1;
  }
  if (read_bytes(input, data, size) != size) {
    say_error(out_to, "read error");
    return 1;
  }
  const Image image{data, size};
  Song song;
  if (out_to.json) {
    print_json(image, song, record);
    print_json_song(record, song);
  } else if (o.full) {
    print_full(image, out_to, song, record);
    print_summary(record, e);
    print_song(song, out_to);
  } else {
    print_trace(image, o.walk, out_to, record);
    print_summary(record, e);
  }
  // What the usual trace cannot read, said once, apart from the trace.
  Riff riff;
  if (!o.walk.running_status && !out_to.json && !o.full) {
    if (find_riff_data(image, riff))
      fputs("smfscope: this file is RIFF-wrapped; -rs reads it\n", stderr);
    else if (record.data_without_status)
      fputs("smfscope: this file uses running status; -rs reads it\n", stderr);
  }

  TempoOutcome outcome = TempoOutcome::go_on;
  if (o.tempo_mode)
    outcome = insert_tempo_track(record, image, input, o.midi_path, o.newtempo, out_to);
  if (outcome == TempoOutcome::go_on && !out_to.json)
    out<"FormatID %d\nTrack_Count %d\nDelta_Time %d\n">(e, record.format, record.track_count,
                                                        record.division);
  return outcome == TempoOutcome::failed ? 1 : 0;
}

}  // namespace

int run(int argc, char** argv) {
  const bool output_closed = claim_standard_streams();
  const bool terminal = start_output();
  Options o;
  int code = 0;
  if (argc == 1) {
    print_help(Encoding::cp932);
  } else if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    print_usage(Encoding::cp932);
  } else if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    out<"smfscope 0.02\n">(Encoding::cp932);
  } else if (!scan(argc, argv, o)) {
    out<"not bin\n">(Encoding::cp932);
    code = 1;
  } else if (o.check && (o.tempo_mode || o.json)) {
    fputs("smfscope: -check writes no copy and no JSON: leave out -t and -json\n", stderr);
    code = 1;
  } else if ((o.utf8 || o.json) && !open_utf8_converter()) {
    // Better nothing than a trace whose texts are all "\xNN".
    fputs("smfscope: cannot convert to UTF-8 (no code page 932 converter)\n", stderr);
    code = 1;
  } else {
    const Output out_to{o.utf8 || o.json ? Encoding::utf8 : Encoding::cp932, terminal && !o.json,
                        o.json};
    // JSON lines end with a line feed alone, on every system.
    if (o.json) binary_output();
    if (o.check) {
      code = check_files(argc, argv, o, out_to);
    } else {
      print_roles(argc, argv, o, out_to);
      code = inspect(o, out_to);
    }
  }
  // Output that did not arrive fails the run, without a message: there is
  // nowhere to print it.
  if (fflush(stdout) != 0 || ferror(stdout) || output_closed) code = 1;
  free(o.roles);
  release_console();
  return code;
}
