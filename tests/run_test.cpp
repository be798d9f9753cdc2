// The program as a user runs it, as a process: its arguments, the tempo copy,
// and whole runs of scenarios a user meets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "support.h"

namespace {

namespace fs = std::filesystem;

const std::string kSmall = smf({"00 FF 2F 00"});  // 26 bytes, no tempo
const std::string kClosing = "FormatID 1\nTrack_Count 1\nDelta_Time 480\n";

// The tempo copy of `in`: its header chunk with one more track announced,
// the conductor track with the tempo bytes, then the rest of `in` unchanged.
std::string tempo_copy(const std::string& in, const std::string& tempo_bytes) {
  const size_t header = 8 + static_cast<uint8_t>(in[7]);
  const unsigned count = (static_cast<uint8_t>(in[10]) << 8 | static_cast<uint8_t>(in[11])) + 1;
  return in.substr(0, 10) + char(count >> 8) + char(count) + in.substr(12, header - 12) +
         hex("\"MTrk\" 00000019 00 FF 51 03" + tempo_bytes +
             "00 FF 58 04 04 02 18 08 00 FF 59 02 00 00 00 FF 2F 00") +
         in.substr(header);
}

size_t count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != s.npos; at = s.find(what, at + 1)) ++n;
  return n;
}

// What the README shows: the usage of "smfscope --help", and its excerpt of
// "smfscope -u8 -noteon examples/demo.mid", the first 31 and the last 25 of
// its lines. Without -u8 the same in code page 932 (-rs changes nothing for
// such a file); without -noteon tracks 2 and 3 end 6 and 3 lines earlier.
TEST(Run, AsTheReadmeShowsIt) {
  const std::string readme = read_file(EXAMPLES "/../README.md");
  auto block = [&](size_t at) {  // the indented lines from `at` on
    std::string lines;
    for (; readme.compare(at, 5, "\n    ") == 0; at = readme.find('\n', at + 1))
      lines += readme.substr(at + 5, readme.find('\n', at + 1) - at - 5) + "\n";
    return lines;
  };
  EXPECT_EQ(smfscope(EXAMPLES, {"--help"}).out, block(readme.find("\n    Usage: ")));
  const Ran r = smfscope(EXAMPLES "/..", {"-u8", "-noteon", "examples/demo.mid"});
  const std::string head = block(readme.find("\n    3 MIDIファイル"));
  EXPECT_EQ(r.out.substr(0, head.size()), head);
  const std::string tail = block(readme.find("\n    =====", readme.find("then its last")));
  EXPECT_EQ(r.out.substr(r.out.size() - std::min(tail.size(), r.out.size())), tail);
  EXPECT_EQ(count(r.out, "\n"), 31 + 19 + 25);
  EXPECT_EQ(cp932(r.out), smfscope(EXAMPLES "/..", {"-rs", "-noteon", "examples/demo.mid"}).out);
  EXPECT_EQ(count(smfscope(EXAMPLES "/..", {"examples/demo.mid"}).out, "\n"), 31 + 19 + 25 - 6 - 3);
}

// -u8: the program's texts in UTF-8, each text of the file as UTF-8 if it
// is, else as code page 932 with "\xNN" for bytes that do not decode.
TEST(Run, Utf8Texts) {
  TempDir dir;
  write_file(
      dir / "t.mid",
      smf({"00 FF 01 05 \"ASCII\" 00 FF 01 06 8A BF 8E 9A B1 B2 00 FF 03 06 E6 BC A2 E5 AD 97 "
           "00 FF 06 04 \"Sp\" E5 72 00 FF 02 01 A9 00 FF 01 04 \"abc\" 81 00 FF 01 06 41 00 "
           "42 43 81 20 00 FF 01 03 78 81 20 00 FF 59 02 FD 01 00 91 3C 40 00 3E 40"}));
  // A name that is not UTF-8 shows its bytes (not on Windows: names are wide there).
  const std::string name = kWindows ? "t.mid" : "t\xFF.mid", shown = kWindows ? name : "t\\xFF.mid";
  rename((dir / "t.mid").c_str(), (dir / name).c_str());
  const std::string out = smfscope(dir.path, {name, "-u8", "-rs", "-noteon"}).out;
  EXPECT_TRUE(out.starts_with("1 MIDIファイル " + shown + "\n")) << out;
  for (const char* line :
       {"[01] テキスト=ASCII\n", "[01] テキスト=漢字ｱｲ\n", "[03] シーケンス名=漢字\n",
        "[06] マーカー=Sp蚌\n", "[02] 著作権表示=ｩ\n", "[01] テキスト=abc\\x81\n",
        "[01] テキスト=A\n", "[01] テキスト=x\\x81 \n", "[59] 調号=253 1 E♭ m\n",
        "r[91] note 1ch 音  62  64\n", "\n拍子 0/0\n"})
    EXPECT_NE(out.find(line), out.npos) << line;
}

// Where standard output is a terminal, control bytes of the file's texts and
// of names show as "\xNN": a text cannot clear the screen or forge a line.
TEST(Run, TerminalsSeeNoControlBytes) {
  if (kWindows || system("script -qec true /dev/null >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no pseudo-terminal here";
  TempDir dir;
  write_file(dir / "t\x1B.mid", smf({"00 FF 01 0C 1B \"]0;x\" 07 1B \"[2J\" 0A 7F"}));
  const std::string run =
      "cd '" + dir.path + "' && script -qec \"'" SMFSCOPE_BIN "' 't\x1B.mid'\" /dev/null >out 2>&1";
  ASSERT_EQ(system(run.c_str()), 0);
  const std::string out = read_file(dir / "out");
  EXPECT_NE(out.find(cp932("MIDIファイル t\\x1B.mid\r\n")), out.npos) << out;
  EXPECT_NE(out.find(cp932("テキスト=\\x1B]0;x\\x07\\x1B[2J\\x0A\\x7F\r\n")), out.npos) << out;
}

// -u8 without a converter for code page 932 prints nothing rather than a
// trace of "\xNN", and says why.
TEST(Run, Utf8WithoutConverter) {
  const std::string gconv = "/usr/lib/x86_64-linux-gnu/gconv";
  TempDir dir;
  mkdir((dir / "none").c_str(), 0700);
  const std::string hide =
      "unshare -m sh -c 'mount --bind none " + gconv + " && shift && exec \"$@\"' sh";
  if (kWindows || system(("cd '" + dir.path + "' && " + hide + " true 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no mount namespace here";
  write_file(dir / "a.mid", kSmall);
  const Ran r = smfscope(dir.path, {"-u8", "a.mid"}, "", hide);
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "smfscope: cannot convert to UTF-8 (no code page 932 converter)\n");
}

// Runs of a.mid: the arguments, standard input, how the output begins or
// ends, the exit code, the copy written, if any: "TEMPO [its bytes]", and
// shell commands run first (on this system only).
struct ArgRow {
  std::vector<std::string> args;
  std::string input, printed;
  int exit = 0;
  std::string copy = "", file = kSmall, shell = "", err = "";
};

const std::string kNoTempo = "オプションにテンポが見つかりません\n",
                  kRange = "tempo must be 4 to 60000000\n";
// clang-format off
const ArgRow kArgs[] = {
    {{}, "", "\nsmfscope v0.02 オプション\n-v (MIDIの情報を表示します(省略可)\n-noteon -v使用時に、音符の情報をすべて表示する\n"
             "-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n"
             "-t nnn テンポを設定します(オプションとして与えるので、プログラムは止まりません\n※コマンドラインの最後に、MIDIファイルを指定します\n"},
    {{"a.mid"}, "", "1 MIDIファイル a.mid\nfs 26\n"},
    {{"a.mid"}, "", "1 MIDIファイル a.mid\nfs 0\npos=0x0\n=====", 0, "", ""},
    {{"-T", "-V", "-noteOn", "a.mid"}, "", "1 MIDIファイル -T\n2 MIDIファイル -V\n3 MIDIファイル -noteOn\n4 MIDIファイル a.mid\nfs"},
    {{"-t", "120abc", "a.mid"}, "", "3 MIDIファイル a.mid\nfs", 0, "120 07 A1 20"},
    {{"-t", " \t+89", "a.mid"}, "", "3 MIDIファイル a.mid\nfs", 0, "89 0A 49 6D"},
    {{"-t", "a.mid"}, "90\n", kNoTempo + "2 MIDIファイル a.mid\nfs", 0, "90 0A 2C 2A"},
    {{"-t", "-0", "a.mid"}, "7\n", kNoTempo + "2 MIDIファイル -0\n3 MIDIファイル a.mid\nfs", 0, "7 82 CA 24"},
    {{"-t", "120", "-v", "a.mid"}, "", "4 MIDIファイル a.mid\nfs"},
    {{"-v", "-t", "99", "a.mid"}, "", "4 MIDIファイル a.mid\nfs", 0, "99 09 3F 6C"},
    {{"a.mid", "-t"}, "75\n", "1 MIDIファイル a.mid\nfs", 0, "75 0C 35 00"},
    {{"-t", "5", "a.mid", "-t"}, "", "3 MIDIファイル a.mid\nfs", 0, "5 B7 1B 00"},
    {{"a.mid"}, "", "size 0x000005 Electric Piano 2\n" + kClosing, 0, "", smf({"00 C0 05 00 06"})},
    {{"a.mid", "-rs"}, "", "size 0x000005 Harpsichord\n" + kClosing, 0, "", smf({"00 C0 05 00 06"})},
    {{"-noteon"}, "", "open error\n", 1, "", kSmall, "", "smfscope: no MIDI file named (see smfscope --help)\n"},
    {{"missing.mid"}, "", "1 MIDIファイル missing.mid\nopen error\n", 1},
    {{"--version"}, "", "smfscope 0.02\n"},
    {{"."}, "", "1 MIDIファイル .\nopen error\n", 1},  // a directory
    {{"p.mid"}, "", "1 MIDIファイル p.mid\nopen error\n", 1, "", kSmall, "mkfifo p.mid &&"},  // at once: no writer comes
    // Closed standard streams get the null device, so the copy stays exact; output that cannot be written fails the run.
    {{"-t", "120", "a.mid"}, "", "", 1, "120 07 A1 20", kSmall, "exec <&- >&- &&"},
    {{"-noteon", "a.mid"}, "", "", 1, "", smf({std::string(40000 * 3, '0')}), "exec >/dev/full &&", "smfscope: this file uses running status; -rs reads it\n"},
    {{"/sys/devices/system/cpu/online"}, "", "fs 4096\nread error\n", 1},  // shorter than its size
    {{std::string(1050, 'x')}, "", "1 MIDIファイル " + std::string(1050, 'x') + "\nopen error\n", 1},  // a long line
    {{"--help", "a.mid"}, "", "1 MIDIファイル --help\n2 MIDIファイル a.mid\nfs 26\n"},
    {{"a.mid", "--version"}, "", "1 MIDIファイル a.mid\n2 MIDIファイル --version\nopen error\n", 1},
    // Tempo copies: the lines about them and their bytes; the prompt until an answer in range.
    {{"-t", "120", "a.mid"}, "", "=a.mid(newtempo=120).mid\nnewtempocalc 500000\n7 a1 20\nCMIDI.Track_Count 1\n" + kClosing, 0, "120 07 A1 20"},
    {{"-t", "120", "./a.mid"}, "", "=./a.mid(newtempo=120).mid\nnewtempocalc 500000\n7 a1 20\nCMIDI.Track_Count 1\n" + kClosing, 0, "120 07 A1 20"},
    {{"-t", "9", "a.mid"}, "", "newtempocalc 6666666\n65 b9 aa\nCMIDI.Track_Count 1\n" + kClosing, 0, "9 65 B9 AA"},
    {{"-t", "60000000", "a.mid"}, "", "newtempocalc 1\n0 0 1\nCMIDI.Track_Count 1\n" + kClosing, 0, "60000000 00 00 01"},
    {{"-t", "a.mid"}, "fast\n0" + std::string(4096, 'x') + " +90\n", "size 0x000004 \nテンポ入力=" + kRange + "テンポ入力=" + kRange + "テンポ入力=newtempofn="
     "a.mid(newtempo=90).mid\nnewtempocalc 666666\na 2c 2a\nCMIDI.Track_Count 1\n" + kClosing, 0, "90 0A 2C 2A"},
    {{"-t", "120", "a.mid"}, "", "\nCMIDI.Track_Count 255\nFormatID 1\nTrack_Count 255\nDelta_Time 480\n", 0, "120 07 A1 20",
     smf(std::vector<std::string>(255, ""))},
    {{"-t", "120", "a.mid"}, "", "\nCMIDI.Track_Count 1\nFormatID 0\nTrack_Count 1\nDelta_Time 480\n", 0, "120 07 A1 20",
     hex("\"MThd\" 0000000A 0000 0001 01E0 11223344 \"MTrk\" 00000000 \"JUNK\" 00000000 FF")},
    // -json: nothing but JSON lines on standard output, the prompt on standard error.
    {{"-json", "a.mid"}, "", "{\"type\":\"file\",\"name\":\"a.mid\",\"size\":26}\n{\"type\":\"header\",\"pos\":0,"},
    {{"-json", "-t", "a.mid"}, "90\n", "\"markers\":[]}\n{\"type\":\"tempo_copy\",\"written\":true,\"name\":\"a.mid(newtempo=90).mid\",\"tempo_us\":666666,\"tracks\":1}\n",
     0, "90 0A 2C 2A", kSmall, "", "smfscope: no tempo after -t\nテンポ入力="},
    {{"-json", "-t", "3", "a.mid"}, "", "{\"type\":\"tempo_copy\",\"message\":\"the file holds a tempo: nothing written\"}\n", 0, "", smf({"00 FF 51 03 07 A1 20"})},
    {{"-json", "-t", "0", "x.mid"}, "", "{\"type\":\"error\",\"message\":\"open error\"}\n", 1, "", kSmall, "", "smfscope: no tempo after -t\n"},
    // -check: a verdict for each file named; exit 2 for an error, 1 for a file that cannot be read.
    {{"-check", "a.mid"}, "", "a.mid: ok\n", 0, "", smf({"00 FF 51 03 07 A1 20 00 FF 2F 00"})},
    {{"-check", "a.mid", "b.mid"}, "", "a.mid: 0 errors, 1 warnings\nb.mid:0x000000: error: the file ends inside an item [truncated]\nb.mid: 1 errors, 0 warnings\n",
     2, "", kSmall, "printf MThd >b.mid &&"},
    {{"-check", "c.mid", "a.mid"}, "", "c.mid: open error\na.mid:0x000000: warning: no tempo: 120 BPM taken [no-tempo]\na.mid: 0 errors, 1 warnings\n", 1},
    {{"-check"}, "", "open error\n", 1, "", kSmall, "", "smfscope: no MIDI file named (see smfscope --help)\n"},
    {{"-check", "-t", "120", "a.mid"}, "", "", 1, "", kSmall, "", "smfscope: -check writes no copy and no JSON: leave out -t and -json\n"},
    // What the usual trace does not read: said once, on standard error.
    {{"-noteon", "a.mid"}, "", "\n" + kClosing, 0, "", smf({"00 90 3C 64 00 3E 40"}), "", "smfscope: this file uses running status; -rs reads it\n"},
    {{"a.mid"}, "", "\nDelta_Time 0\n", 0, "", hex("\"RIFF\" 00000000 \"RMID\" \"data\" 1A000000") + kSmall, "", "smfscope: this file is RIFF-wrapped; -rs reads it\n"},
    // -full: the summary, then the song, then the closing lines.
    {{"-full", "a.mid"}, "", "Track  0 (MIDI Track  0)     -       pos 0x00000e size 0x000004 \n曲の長さ 0 1:1:000 0:00.000\n" + kClosing},
    // Refusals: nothing is written. A long copyright does not hide the tempo after it.
    {{"-t", "120", "a.mid"}, "", "テンポ情報があります\n", 0, "", smf({"00 FF 02 81 1C \"" + std::string(156, 'c') + "\" 00 FF 51 03 07 A1 20"})},
    {{"-t", "3", "a.mid"}, "", " size 0x000007 \nテンポ情報があります\n", 0, "", smf({"00 FF 51 03 07 A1 20"})},
    {{"-t", "a.mid"}, "", "cannot add a track: no complete MThd header\n", 1, "", hex("\"MThd\" 00000004 0000 0001")},
    {{"-t", "3", "a.mid"}, "", "cannot add a track: no complete MThd header\n", 1, "", hex("\"MThd\" 00000008 0000 0001 01E0")},
    {{"-t", "90", "a.mid"}, "", "cannot add a track: the header already announces 65535 tracks\n", 1, "", smf({}, 65535)},
    {{"-t", "3", "a.mid"}, "", "size 0x000004 \n" + kRange, 1},
    {{"-t", "60000001", "a.mid"}, "", "\n" + kRange, 1},
    {{"-t", "-5", "a.mid"}, "", "\n" + kRange, 1},
    {{"-t", "4294967297", "a.mid"}, "", "\n" + kRange, 1},
    {{"-t", "a.mid"}, "", "size 0x000004 \nテンポ入力=no tempo given\n", 1},
    {{"-t", "a.mid"}, "-90\n", "テンポ入力=" + kRange + "テンポ入力=no tempo given\n", 1},
    {{"-t", "a.mid"}, std::string(1 << 20, '\0'), [] { std::string s; for (int i = 0; i < 100; ++i) s += "テンポ入力=" + kRange; return s; }() + "no tempo given\n", 1},  // such as /dev/zero
};
// clang-format on

// The arguments of a row, to name it when it fails.
std::string joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += a.substr(0, 40) + " ";
  return text;
}

TEST(Run, Arguments) {
  for (const ArgRow& row : kArgs) {
    SCOPED_TRACE(joined(row.args));
    if (kWindows && !row.shell.empty()) continue;
    TempDir dir;
    write_file(dir / "a.mid", row.file);
    const Ran r = smfscope(dir.path, row.args, row.input, row.shell);
    const std::string printed = cp932(row.printed);
    EXPECT_EQ(r.exit, row.exit);
    EXPECT_EQ(r.err, row.err);
    EXPECT_TRUE(r.out.starts_with(printed) || r.out.ends_with(printed)) << r.out.substr(0, 999);
    // a.mid and the copy, if any: no other file, and no temporary one, left.
    const auto files = std::count_if(fs::directory_iterator(dir.path), {}, [](const auto& f) {
      return f.path().filename() != "b.mid" && f.path().filename() != "p.mid";
    });
    EXPECT_EQ(files, row.copy.empty() ? 1 : 2);
    const size_t bytes = row.copy.find(' ');
    EXPECT_EQ(read_file(dir / ("a.mid(newtempo=" + row.copy.substr(0, bytes) + ").mid")),
              row.copy.empty() ? "" : tempo_copy(row.file, row.copy.substr(bytes)));
  }
}

TEST(Run, RefusesAFileOf4GiB) {
  rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur <= uint64_t{1} << 32)
    GTEST_SKIP() << "a file-size limit forbids a file of 4 GiB";
  TempDir dir;
  write_file(dir / "a.mid", "");
  fs::resize_file(dir / "a.mid", uint64_t{1} << 32);  // sparse
  const Ran r = smfscope(dir.path, {"a.mid"});
  EXPECT_EQ(r.out, cp932("1 MIDIファイル a.mid\nfile too large\n"));
  EXPECT_EQ(r.exit, 1);
}

// Every name that exists opens its own file, also names that differ only in
// an accent or hold characters outside code page 932; Windows prints them
// in code page 932 ("?" for characters it lacks), -u8 as given. A name whose
// copy's name is just short enough gets its copy, and nothing else is left.
TEST(Run, NamesOpenTheirOwnFiles) {
  TempDir dir;
  const std::string names[] = {"café.mid", "cafe.mid", "한국.mid", std::string(231, 'x') + ".mid"};
  const std::string shown[] = {kWindows ? "caf?.mid" : names[0], names[1],
                               kWindows ? "??.mid" : names[2], names[3]};
  for (int i = 0; i < 4; ++i) write_file(dir / names[i], smf({}, i + 1));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(names[i]);
    const std::string out = smfscope(dir.path, {"-t", "120", names[i]}).out;
    EXPECT_EQ(out.substr(0, out.find("ReadMThd size")),
              cp932("3 MIDIファイル ") + shown[i] + "\nfs 14\nMThd\n");
    EXPECT_NE(out.find("\nnewtempofn=" + shown[i] + "(newtempo=120).mid\n"), out.npos) << out;
    EXPECT_EQ(read_file(dir / (names[i] + "(newtempo=120).mid")),
              tempo_copy(smf({}, i + 1), "07 A1 20"));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 8);
  EXPECT_TRUE(
      smfscope(dir.path, {"-u8", names[2]}).out.starts_with("2 MIDIファイル " + names[2] + "\n"));
}

// Runs the command after it where no file without a name can be given one
// later (no /proc): the copy is written under a temporary name. The cases
// that use it run where the system allows that and the program runs there
// (the sanitizers' build does not: it needs /proc).
const std::string kNoProc =
    "unshare -m sh -c 'mount -t tmpfs none /proc && shift && exec \"$@\"' sh";
bool can_hide_proc() {
  static const bool can =
      !kWindows && system((kNoProc + " exec '" SMFSCOPE_BIN "' >/dev/null 2>&1").c_str()) == 0;
  return can;
}

// What stands at the copy's name C decides, made by a shell command: a file
// or a link of any kind is replaced by the copy, with the input's
// permissions less the umask and none an earlier copy lacked; anything else
// is left alone. The input is never written, a failed write (past a
// file-size limit) leaves an earlier copy as it was, and no temporary file
// stays, unnamed or named.
struct AtTheName {
  const char* kind;
  std::string make;
  fs::file_type after;  // none: the copy stands there
  unsigned mode = 0644;
};
const std::string C = "'in.mid(newtempo=120).mid'";
const AtTheName kAtTheName[] = {
    {"earlier", "echo earlier >" + C + " &&", fs::file_type::none},
    {"directory", "mkdir " + C + " &&", fs::file_type::directory},
    {"symlink", "ln -s in.mid " + C + " &&", fs::file_type::none},
    {"hard link", "ln in.mid " + C + " &&", fs::file_type::none},
    {"dangling", "ln -s elsewhere " + C + " &&", fs::file_type::none},
    {"pipe", "mkfifo " + C + " &&", fs::file_type::fifo},
    {"limit", "echo earlier >" + C + " && ulimit -f 64 &&", fs::file_type::regular},
    {"earlier, named", "echo earlier >" + C + " && " + kNoProc, fs::file_type::none},
    {"limit, named", "echo earlier >" + C + " && ulimit -f 64 && " + kNoProc,
     fs::file_type::regular},
    {"private input", "chmod 600 in.mid &&", fs::file_type::none, 0600},
    {"writable input", "chmod 666 in.mid &&", fs::file_type::none, 0644},
    {"private earlier", "echo earlier >" + C + " && chmod 640 " + C + " &&", fs::file_type::none,
     0640},
};

TEST(Run, CopyNeverHarmsAFile) {
  const std::string big = smf({"00 F0 81 80 80 00" + std::string(4 << 20, '0')});  // 2 MiB
  umask(022);  // a new file's permissions, the input's too: 0644
  for (const AtTheName& row : kAtTheName) {
    SCOPED_TRACE(row.kind);
    // Links, pipes, limits and permissions are this system's.
    if (kWindows && row.kind != kAtTheName[0].kind && row.kind != kAtTheName[1].kind) continue;
    if (row.make.ends_with(kNoProc) && !can_hide_proc()) continue;
    const bool written = row.after == fs::file_type::none;
    TempDir dir;
    const std::string at = dir / "in.mid(newtempo=120).mid";
    write_file(dir / "in.mid", big);
    const Ran r = smfscope(dir.path, {"-t", "120", "in.mid"}, "", row.make);
    EXPECT_EQ(r.exit, written ? 0 : 1);
    EXPECT_EQ(r.out.ends_with("write error\n"), !written);
    EXPECT_EQ(read_file(dir / "in.mid"), big);
    EXPECT_EQ(fs::symlink_status(at).type(), written ? fs::file_type::regular : row.after);
    if (written || row.after == fs::file_type::regular) {
      EXPECT_EQ(read_file(at), written ? tempo_copy(big, "07 A1 20") : "earlier\n");
      EXPECT_EQ(fs::status(at).permissions(), fs::perms(row.mode));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 2);
  }
}

// A signal while the copy is written, sent to the program once it holds a
// file other than the input open in the directory (its temporary file),
// leaves only the input, or, if the copy was put in place first, the input
// and the whole copy. SIGKILL too, where the file system has unnamed files;
// SIGTERM also where no unnamed file can be named (no /proc), so that the
// copy is written under a temporary name.
TEST(Run, EndedWhileCopyingLeavesNothing) {
  const uint64_t size = uint64_t{1} << 28;  // 256 MiB, sparse
  TempDir dir;
  rlimit limit;
  if (kWindows || getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur <= size ||
      fs::space(dir.path).available < 3 * size)
    GTEST_SKIP() << "signals are this system's; room and a file-size limit for the copy";
  write_file(dir / "in.mid", smf({"00 FF 2F 00"}) + hex("\"JUNK\" 0FFFFFDE"));
  fs::resize_file(dir / "in.mid", size);
  const int unnamed = open(dir.path.c_str(), O_TMPFILE | O_WRONLY, 0600);
  close(unnamed);  // before it could pass for the program's
  for (const auto& [sig, hide] : {std::pair{SIGTERM, ""}, {SIGKILL, ""}, {SIGTERM, "/proc"}}) {
    SCOPED_TRACE(std::to_string(sig) + hide);
    if ((sig == SIGKILL && unnamed < 0) || (*hide && !can_hide_proc())) continue;
    const Ran r = smfscope(
        dir.path, {"-t", "120", "in.mid"}, "",
        R"({ (while kill -0 $$ 2>/dev/null; do p=$(ls -l /proc/[0-9]*/fd 2>/dev/null | awk -v d="$PWD/" '
          /^\/proc/ { p = $1 } index($0, "> " d) && $NF != d "in.mid" { split(p, a, "/"); print a[3]; exit }')
          [ -n "$p" ] && exec kill -)" +
            std::to_string(sig) + R"( $p; sleep 0.01; done) & } &&)" + (*hide ? kNoProc : ""));
    const std::string copy = dir / "in.mid(newtempo=120).mid";
    const bool copied = fs::exists(copy);
    EXPECT_TRUE(r.exit == 128 + sig || (r.exit == 0 && copied)) << r.exit;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), copied ? 2 : 1);
    if (copied) {
      EXPECT_EQ(fs::file_size(copy), size + 33);
      fs::remove(copy);
    }
  }
}

}  // namespace
