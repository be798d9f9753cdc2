// The program as a user runs it, as a process: its arguments, the tempo copy,
// and whole runs of scenarios a user meets.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "support.h"

namespace {

// A file of 26 bytes without a tempo: one track with an end of track.
const std::string kSmall = smf({"00 FF 2F 00"});
const std::string kClosing = "FormatID 1\nTrack_Count 1\nDelta_Time 480\n";

// The tempo copy of `in`: its header chunk with one more track announced,
// the conductor track with the tempo bytes, then the rest of `in` unchanged.
std::string tempo_copy(const std::string& in, const std::string& tempo_bytes) {
  const size_t header = 8 + static_cast<uint8_t>(in[7]);
  const unsigned count = static_cast<uint8_t>(in[10]) << 8 | static_cast<uint8_t>(in[11]);
  std::string raised = {static_cast<char>((count + 1) >> 8), static_cast<char>(count + 1)};
  return in.substr(0, 10) + raised + in.substr(12, header - 12) +
         hex("\"MTrk\" 00000019 00 FF 51 03" + tempo_bytes +
             "00 FF 58 04 04 02 18 08  00 FF 59 02 00 00  00 FF 2F 00") +
         in.substr(header);
}

TEST(Run, HelpWithoutArguments) {
  TempDir dir;
  const Ran r = smfscope(dir.path, {});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out, cp932("\nsmfscope v0.02 オプション\n"
                         "-v (MIDIの情報を表示します(省略可)\n"
                         "-noteon -v使用時に、音符の情報をすべて表示する\n"
                         "-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n"
                         "-t nnn テンポを設定します(オプションとして与えるので、プログラムは止まりません\n"
                         "※コマンドラインの最後に、MIDIファイルを指定します\n"));
}

// The README's excerpt of "smfscope -u8 -noteon examples/demo.mid": its first
// 31 and its last 25 lines, with 19 lines between them; without -u8 the same
// in code page 932.
TEST(Run, DemoAsTheReadmeShowsIt) {
  const std::string readme = read_file(EXAMPLES "/../README.md");
  std::string blocks[2];
  size_t at = readme.find("\n    3 MIDIファイル");
  for (std::string& block : blocks) {
    for (; readme.compare(at, 5, "\n    ") == 0; at = readme.find('\n', at + 1))
      block += readme.substr(at + 5, readme.find('\n', at + 1) - at - 5) + "\n";
    at = readme.find("\n    ========", at);
  }
  const Ran r = smfscope(EXAMPLES "/..", {"-u8", "-noteon", "examples/demo.mid"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_TRUE(r.out.starts_with(blocks[0])) << blocks[0];
  EXPECT_TRUE(r.out.ends_with(blocks[1])) << blocks[1];
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 31 + 19 + 25);
  EXPECT_EQ(cp932(r.out), smfscope(EXAMPLES "/..", {"-v", "-noteon", "examples/demo.mid"}).out);
  // Without -noteon, tracks 2 and 3 end at their first notes: 6 and 3 lines fewer.
  const std::string first = smfscope(EXAMPLES "/..", {"examples/demo.mid"}).out;
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 31 + 19 + 25 - 6 - 3);
}

// -u8: the program's own texts in UTF-8, and each text of the file as UTF-8
// if it is, else as code page 932 with "\xNN" for bytes that do not decode.
TEST(Run, Utf8Texts) {
  TempDir dir;
  write_file(dir / "t.mid", smf({"00 FF 01 05 \"ASCII\"  00 FF 01 06 8A BF 8E 9A B1 B2  00 FF 03 06 E6 BC A2 E5 AD 97"
                                 "00 FF 06 04 \"Sp\" E5 72  00 FF 02 01 A9  00 FF 01 04 \"abc\" 81"
                                 "00 FF 01 06 41 00 42 43 81 20  00 FF 01 03 78 81 20  00 FF 59 02 FD 01"}));
  const std::string out = smfscope(dir.path, {"t.mid", "-u8"}).out;
  for (const char* line :
       {"1 MIDIファイル t.mid\n", "[01] テキスト=ASCII\n", "[01] テキスト=漢字ｱｲ\n", "[03] シーケンス名=漢字\n",
        "[06] マーカー=Sp蚌\n", "[02] 著作権表示=ｩ\n", "[01] テキスト=abc\\x81\n", "[01] テキスト=A\n",
        "[01] テキスト=x\\x81 \n", "[59] 調号=253 1 E♭ m\n", "\n拍子 0/0\n"})
    EXPECT_NE(out.find(line), out.npos) << line;
}

// "-t" without a number: the prompt until an answer in range, then the copy.
TEST(Run, TempoCopyFromThePrompt) {
  TempDir dir;
  write_file(dir / "song.mid", kSmall);
  const Ran r = smfscope(dir.path, {"-t", "song.mid"}, "fast\n0\n 90\n");
  EXPECT_EQ(r.exit, 0);
  EXPECT_TRUE(r.out.starts_with(cp932("オプションにテンポが見つかりません\n2 MIDIファイル song.mid\n")));
  EXPECT_TRUE(r.out.ends_with(cp932("size 0x000004 \n"
                                    "テンポ入力=tempo must be 4 to 60000000\n"
                                    "テンポ入力=tempo must be 4 to 60000000\n"
                                    "テンポ入力=newtempofn=song.mid(newtempo=90).mid\n"
                                    "newtempocalc 666666\na 2c 2a\nCMIDI.Track_Count 1\n" +
                                    kClosing)));
  EXPECT_EQ(read_file(dir / "song.mid(newtempo=90).mid"), tempo_copy(kSmall, "0A 2C 2A"));
  // An input that never ends a line, such as /dev/zero: 100 bad answers, then no tempo.
  const Ran zeros = smfscope(dir.path, {"-t", "song.mid"}, std::string(1 << 20, '\0'));
  EXPECT_EQ(zeros.exit, 1);
  EXPECT_TRUE(zeros.out.ends_with("60000000\nno tempo given\n"));
  size_t prompts = 0;
  for (size_t at = 0; (at = zeros.out.find(cp932("テンポ入力="), at)) != zeros.out.npos; ++at) ++prompts;
  EXPECT_EQ(prompts, 100u);
}

// Track indices and positions past the first 36 tracks.
TEST(Run, FortyTracks) {
  TempDir dir;
  write_file(dir / "forty.mid", smf(std::vector<std::string>(40, "00 FF 2F 00")));
  const Ran r = smfscope(dir.path, {"forty.mid"});
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + 6 + 40 * 7 + 4 + 40 + 3);
  EXPECT_NE(r.out.find("\n39)MTrk (0x0001e2) track_no 39\n"), r.out.npos);
  EXPECT_NE(r.out.find("\nTrack 39 (MIDI Track  0)     -       pos 0x0001e2 size 0x000004 \n"
                       "FormatID 1\nTrack_Count 40\n"), r.out.npos);
}

// Runs with their arguments and standard input: how the output begins or
// ends, the exit code and the copy written, if any, beside a.mid.
struct ArgRow {
  std::vector<std::string> args;
  std::string input, printed, written;
  int exit;
  std::string file = kSmall;
};

const ArgRow kArgs[] = {
    {{"a.mid"}, "", "1 MIDIファイル a.mid\nfs 26\n", "", 0},
    {{"-noteon", "a.mid"}, "", "2 MIDIファイル a.mid\nfs 26\n", "", 0},
    {{"b.mid", "a.mid"}, "", "1 MIDIファイル b.mid\n2 MIDIファイル a.mid\nfs 26\n", "", 0},
    {{"-T", "-V", "-noteOn", "a.mid"}, "",
     "1 MIDIファイル -T\n2 MIDIファイル -V\n3 MIDIファイル -noteOn\n4 MIDIファイル a.mid\nfs", "", 0},
    {{"-t", "120abc", "a.mid"}, "", "3 MIDIファイル a.mid\nfs", "a.mid(newtempo=120).mid", 0},
    {{"-t", " \t+89", "a.mid"}, "", "3 MIDIファイル a.mid\nfs", "a.mid(newtempo=89).mid", 0},
    {{"-t", "a.mid"}, "90\n", "オプションにテンポが見つかりません\n2 MIDIファイル a.mid\nfs",
     "a.mid(newtempo=90).mid", 0},
    {{"-t", "0", "a.mid"}, "7\n",
     "オプションにテンポが見つかりません\n2 MIDIファイル 0\n3 MIDIファイル a.mid\nfs",
     "a.mid(newtempo=7).mid", 0},
    {{"-t", "120", "-v", "a.mid"}, "", "4 MIDIファイル a.mid\nfs", "", 0},
    {{"-v", "-t", "99", "a.mid"}, "", "4 MIDIファイル a.mid\nfs", "a.mid(newtempo=99).mid", 0},
    {{"-t", "-v", "a.mid"}, "", "オプションにテンポが見つかりません\n3 MIDIファイル a.mid\n", "", 0},
    {{"a.mid", "-t"}, "75\n", "1 MIDIファイル a.mid\nfs", "a.mid(newtempo=75).mid", 0},
    {{"-t", "5", "a.mid", "-t"}, "", "3 MIDIファイル a.mid\nfs", "a.mid(newtempo=5).mid", 0},
    {{"a.mid", "-rs"}, "", "size 0x000005 Harpsichord\n" + kClosing, "", 0, smf({"00 C0 05 00 06"})},
    {{"-noteon"}, "", "open error\n", "", 1},
    {{"--version"}, "", "smfscope 0.02\n", "", 0},
    {{"--help"}, "",
     "Usage: smfscope [-v] [-t [nnn]] [-noteon] [-rs] [-u8] FILE.mid\n"
     "Traces every chunk and event of a Standard MIDI File, then sums up its tracks.\n"
     "  -noteon   trace every event (without it, each track up to its first note)\n"
     "  -t nnn    also write \"FILE.mid(newtempo=nnn).mid\": a tempo track in front, nnn bpm\n"
     "  -t        the same, asking for the tempo\n"
     "  -v        no tempo track (the default; of -v and -t the later one counts)\n"
     "  -rs       decode running status, aftertouch and F7 system exclusive\n"
     "  -u8       print UTF-8 instead of code page 932\n"
     "  --help    this text; --version  the version (each only on its own)\n"
     "Exit status: 0 done, 1 the file or the copy failed or the output could not be written.\n"
     "Manual: man smfscope; on Windows README.txt beside smfscope.exe.\n",
     "", 0},
    {{"--help", "a.mid"}, "", "1 MIDIファイル --help\n2 MIDIファイル a.mid\nfs 26\n", "", 0},
    {{"a.mid", "--version"}, "", "1 MIDIファイル a.mid\n2 MIDIファイル --version\nopen error\n", "", 1},
    {{"missing.mid"}, "", "1 MIDIファイル missing.mid\nopen error\n", "", 1},
    {{"."}, "", "1 MIDIファイル .\nopen error\n", "", 1},
    {{"/dev/null"}, "", "1 MIDIファイル /dev/null\nopen error\n", "", 1},
    // Refusals of "-t": nothing written.
    {{"-t", "90", "a.mid"}, "", " size 0x000007 \nテンポ情報があります\n", "", 0,
     smf({"00 FF 51 03 07 A1 20"})},
    {{"-t", "a.mid"}, "", "cannot add a track: no complete MThd header\n", "", 1,
     hex("\"MThd\" 00000004 0000 0001")},
    {{"-t", "90", "a.mid"}, "", "cannot add a track: no complete MThd header\n", "", 1,
     hex("\"MThd\" 00000008 0000 0001 01E0")},
    {{"-t", "90", "a.mid"}, "", "cannot add a track: the header already announces 65535 tracks\n",
     "", 1, smf({}, 65535)},
    {{"-t", "3", "a.mid"}, "", "size 0x000004 \ntempo must be 4 to 60000000\n", "", 1},
    {{"-t", "60000001", "a.mid"}, "", "\ntempo must be 4 to 60000000\n", "", 1},
    {{"-t", "-5", "a.mid"}, "", "\ntempo must be 4 to 60000000\n", "", 1},
    {{"-t", "4294967297", "a.mid"}, "", "\ntempo must be 4 to 60000000\n", "", 1},
    {{"-t", "a.mid"}, "", "size 0x000004 \nテンポ入力=no tempo given\n", "", 1},
    {{"-t", "a.mid"}, "-90\n", "テンポ入力=tempo must be 4 to 60000000\nテンポ入力=no tempo given\n",
     "", 1},
};

TEST(Run, Arguments) {
  for (const ArgRow& row : kArgs) {
    TempDir dir;
    write_file(dir / "a.mid", row.file);
    const Ran r = smfscope(dir.path, row.args, row.input);
    EXPECT_EQ(r.exit, row.exit) << row.printed;
    const std::string printed = cp932(row.printed);  // how the output begins or ends
    EXPECT_TRUE(r.out.starts_with(printed) || r.out.ends_with(printed)) << r.out.substr(0, 500);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}),
              row.written.empty() ? 1 : 2);
    EXPECT_TRUE(row.written.empty() || std::filesystem::exists(dir / row.written)) << row.written;
  }
  rlimit limit;  // a file of 4 GiB, sparse, where no limit forbids it
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur <= uint64_t{1} << 32) return;
  TempDir dir;
  write_file(dir / "a.mid", "");
  std::filesystem::resize_file(dir / "a.mid", uint64_t{1} << 32);
  EXPECT_EQ(smfscope(dir.path, {"a.mid"}).out, "1 MIDI" + cp932("ファイル") + " a.mid\nfile too large\n");
}

// The copy of each input for each tempo: the lines about it, then its bytes.
struct TempoRow {
  std::string file, tempo, lines, tempo_bytes;
};

const TempoRow kTempos[] = {
    {kSmall, "120", "newtempocalc 500000\n7 a1 20\nCMIDI.Track_Count 1\n", "07 A1 20"},
    {kSmall, "60", "newtempocalc 1000000\nf 42 40\nCMIDI.Track_Count 1\n", "0F 42 40"},
    {kSmall, "100", "newtempocalc 600000\n9 27 c0\nCMIDI.Track_Count 1\n", "09 27 C0"},
    {kSmall, "9", "newtempocalc 6666666\n65 b9 aa\nCMIDI.Track_Count 1\n", "65 B9 AA"},
    {kSmall, "4", "newtempocalc 15000000\ne4 e1 c0\nCMIDI.Track_Count 1\n", "E4 E1 C0"},
    {kSmall, "60000000", "newtempocalc 1\n0 0 1\nCMIDI.Track_Count 1\n", "00 00 01"},
    {smf(std::vector<std::string>(255, "")), "120",
     "newtempocalc 500000\n7 a1 20\nCMIDI.Track_Count 255\n", "07 A1 20"},
    {hex("\"MThd\" 0000000A 0000 0001 01E0 11223344  \"MTrk\" 00000000 \"JUNK\" 00000000 FF"),
     "120", "newtempocalc 500000\n7 a1 20\nCMIDI.Track_Count 1\n", "07 A1 20"},
};

TEST(Run, TempoCopies) {
  for (const TempoRow& row : kTempos) {
    TempDir dir;
    write_file(dir / "in.mid", row.file);
    const Ran r = smfscope(dir.path, {"-t", row.tempo, "in.mid"});
    const std::string name = "in.mid(newtempo=" + row.tempo + ").mid";
    EXPECT_EQ(r.exit, 0);
    EXPECT_NE(r.out.find("\nnewtempofn=" + name + "\n" + row.lines + "FormatID"), r.out.npos)
        << r.out;
    EXPECT_EQ(read_file(dir / name), tempo_copy(row.file, row.tempo_bytes)) << row.tempo;
  }
}

// Every name that exists opens its own file, also names that differ only in
// an accent or hold characters outside code page 932. Windows prints names
// in code page 932, "?" for the characters it lacks.
TEST(Run, NamesOpenTheirOwnFiles) {
  TempDir dir;
  const std::string names[] = {"café.mid", "cafe.mid", "한국.mid"};
  const std::string shown[] = {kWindows ? "caf?.mid" : names[0], names[1], kWindows ? "??.mid" : names[2]};
  for (int i = 0; i < 3; ++i) write_file(dir / names[i], smf({}, i + 1));
  for (int i = 0; i < 3; ++i) {
    const Ran r = smfscope(dir.path, {"-t", "120", names[i]});
    EXPECT_TRUE(r.out.starts_with(cp932("3 MIDIファイル ") + shown[i] + "\nfs 14\n")) << r.out;
    EXPECT_NE(r.out.find("track count " + std::to_string(i + 1) + "\n"), r.out.npos) << names[i];
    EXPECT_NE(r.out.find("\nnewtempofn=" + shown[i] + "(newtempo=120).mid\n"), r.out.npos);
    EXPECT_EQ(read_file(dir / (names[i] + "(newtempo=120).mid")), tempo_copy(smf({}, i + 1), "07 A1 20"));
  }
  EXPECT_TRUE(smfscope(dir.path, {"-u8", names[2]}).out.starts_with("2 MIDIファイル " + names[2] + "\n"));
}

// What stands at the copy's name decides: a file or a link of any kind is
// replaced by the copy, anything else is left alone; the input is never
// written, a failed write leaves an earlier copy as it was, and no temporary
// file stays.
TEST(Run, CopyNeverHarmsAFile) {
  const std::string big = smf({"00 F0 81 80 80 00" + std::string(4 << 20, '0')});  // 2 MiB, a short trace
  const std::string out = "in.mid(newtempo=120).mid";
  struct Row {
    const char* what;
    std::function<void(const TempDir&)> prepare;
    std::function<void()> setup;
    bool written, posix = true;
  };
  const Row rows[] = {
      {"earlier copy", [&](auto& d) { write_file(d / out, "earlier"); }, {}, true, false},
      {"directory", [&](auto& d) { mkdir((d / out).c_str(), 0700); }, {}, false, false},
      {"symbolic link to the input", [&](auto& d) { symlink("in.mid", (d / out).c_str()); }, {}, true},
      {"hard link to the input", [&](auto& d) { link((d / "in.mid").c_str(), (d / out).c_str()); }, {}, true},
      {"dangling link", [&](auto& d) { symlink("elsewhere", (d / out).c_str()); }, {}, true},
      {"pipe", [&](auto& d) { mkfifo((d / out).c_str(), 0600); }, {}, false},
      {"earlier copy, then a write past the file-size limit",
       [&](auto& d) { write_file(d / out, "earlier"); },
       [] {
         const rlimit limit = {32768, 32768};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       false},
  };
  for (const Row& row : rows) {
    if (kWindows && row.posix) continue;  // links, pipes and limits of this system
    TempDir dir;
    write_file(dir / "in.mid", big);
    row.prepare(dir);
    const auto before = std::filesystem::symlink_status(dir / out).type();
    auto content = [&] {  // never opens the pipe
      return std::filesystem::is_fifo(dir / out) ? "pipe" : read_file(dir / out);
    };
    const std::string earlier = content();
    const Ran r = smfscope(dir.path, {"-t", "120", "in.mid"}, "", row.setup);
    EXPECT_EQ(r.exit, row.written ? 0 : 1) << row.what;
    EXPECT_EQ(r.out.ends_with("write error\n"), !row.written) << row.what;
    EXPECT_EQ(read_file(dir / "in.mid"), big) << row.what;
    if (row.written) {
      EXPECT_EQ(read_file(dir / out), tempo_copy(big, "07 A1 20")) << row.what;
      EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / out)));
    } else {
      EXPECT_EQ(std::filesystem::symlink_status(dir / out).type(), before) << row.what;
      EXPECT_EQ(content(), earlier) << row.what;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2) << row.what;
  }
}

// The standard streams: closed ones get the null device, so the copy stays
// exact; output that cannot be written fails the run; a pipe as the input
// is refused at once.
TEST(Run, StandardStreamsAndPipes) {
  if (kWindows) GTEST_SKIP() << "descriptors and pipes of this system";
  TempDir dir;
  std::string events;
  for (int i = 0; i < 40000; ++i) events += "00 90 3C 64 ";
  write_file(dir / "long.mid", smf({events}));
  const Ran closed = smfscope(dir.path, {"-noteon", "-t", "120", "long.mid"}, "", [] {
    close(0);
    close(1);
  });
  EXPECT_EQ(closed.exit, 1);
  EXPECT_EQ(read_file(dir / "long.mid(newtempo=120).mid"), tempo_copy(smf({events}), "07 A1 20"));
  EXPECT_EQ(smfscope(dir.path, {"long.mid"}, "", [] { freopen("/dev/full", "w", stdout); }).exit, 1);
  mkfifo((dir / "pipe.mid").c_str(), 0600);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(smfscope(dir.path, {"pipe.mid"}).out, cp932("1 MIDIファイル pipe.mid\nopen error\n"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
