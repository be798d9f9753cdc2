// The trace, rule by rule: bytes in, the lines the program prints out; and
// the fuzz target's properties over every prefix and one-byte change.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/smf_fuzz.h"
#include "output/format.h"
#include "smf/names.h"
#include "support.h"

namespace {

constexpr int kFirst = 0, kAll = kNotes, kRs = kNotes | kRunningStatus;  // the walk's options

// What the program prints for `file` from the walk on (trace, summary), then "(end)".
std::string printed(const std::string& file, int options) {
  const std::vector<uint8_t> data(file.begin(), file.end());  // exactly the file
  const Walk w = walk(data.data(), static_cast<uint32_t>(file.size()), options);
  return w.trace + w.summary + "(end)";
}

// The trace of one event at delta time 0 in a one-track file, from its status
// byte on, each later event's position and time shown as "|". An end of track
// after it is left out where it stands right after the event's bytes, so each
// row pins how far the walk went; without it the file ends with the event.
std::string event(const std::string& bytes, int options, bool end_of_track = true) {
  const std::string trace =
      printed(smf({"00 " + bytes + (end_of_track ? " 00 FF 2F 00" : "")}), options);
  const size_t from = trace.find("st 0x000016 ---time 0000 ");
  // Each event's position and time as "|" (a byte no text holds while the
  // lines are cut); with -full, where it sits too.
  std::string text = "\1" + trace.substr(from + 25, trace.find("\npos 0") + 1 - from - 25);
  for (size_t at; (at = text.find("st 0x")) != std::string::npos;) text.replace(at, 25, "\1");
  for (size_t at = 0; (at = text.find('\1', at)) != std::string::npos; text[at++] = '|')
    if (options & kFull)
      text.erase(at + 1, text.find(' ', text.find(' ', text.find(' ', at) + 1) + 1) - at);
  text.erase(0, 1);
  const std::string eot = "|R[FF] [2F] " + cp932("トラック終端\n");
  if (end_of_track && text.ends_with(eot)) text.resize(text.size() - eot.size());
  return text;
}

struct Row {
  std::string in, out;
  int options = kAll;
};

const std::string k255(255, 'a');

// Events the README's excerpt of the demo's trace does not show.
// clang-format off
const Row kEvents[] = {
    {"C0 80", "R[C0] program change (楽器) 128 (81) ---(out of 0～127 \n"},
    {"A0 3C", "R[A0] Track Event unknown A0\n"},  // without -rs: not decoded
    {"D5 10", "R[D5] Track Event unknown D5\n"},
    {"F7 00", "R[F7] Track Event unknown F7\n"},
    {"B0 00 05", "R[B0] バンクセレクトMSB (CC#0)\n"},
    {"B0 06 0C", "R[B0] データ・エントリー MSB 12\n"},
    {"B0 07 C8", "R[B0] ボリューム 200\n"},
    {"B5 0A 40", "R[B5] PANPOT 64\n"},
    {"B0 20 05", "R[B0] バンクセレクトLSB (CC#32)\n"},
    {"B0 26 03", "R[B0] データ・エントリー LSB 3\n"},
    {"B0 5B 28", "R[B0] CC)リバーブ 40\n"},
    {"B3 5C 28", "R[B3] 未定義 (0x5c40\n"},
    {"B0 5D 00", "R[B0] 未定義 (0x5d0\n"},
    {"B0 5F 7F", "R[B0] 未定義 (0x5f127\n"},
    {"B0 63 05", "R[B0] 未定義(0x63) 5\n"},
    {"B0 64 00", "R[B0] unknown(#100(0x64)) 0x0 0\n"},
    {"B0 65 7F", "R[B0] unknown(#101(0x65)) 0x7f 127\n"},
    {"B0 79 00", "R[B0] リセットオールコントローラー (CC#121)\n"},
    {"B0 40 7F", "R[B0] "},  // no name: the line stays open
    {"FF 03 07 \"Sys\" 00 \"tem\"", "R[FF] [03] シーケンス名=Sys\n"},
    {"FF 01 06 83 73 83 41 83 6D", "R[FF] [01] テキスト=ピアノ\n"},
    // A meta event's length is a variable-length quantity of 1 to 4 bytes; the fixed sizes stay fixed.
    {"FF 06 81 7F \"" + k255 + "\"", "R[FF] [06] マーカー=" + k255 + "\n"},
    {"FF 01 80 80 80 05 \"ABCDE\"", "R[FF] [01] テキスト=ABCDE\n"},
    {"FF 21 00 C8", "R[FF] [21] 出力ポートの指定 200\n"},
    {"FF 51 04 0A 2C 2B", "R[FF] [51] (0x0a 0x2c 0x2b)tempo=89\n"},
    {"FF 51 03 00 00 00", "R[FF] [51] (0x00 0x00 0x00)tempo=0\n"},
    {"FF 58 00 03 1E 00 00", "R[FF] [58] 拍子=3/1073741824\n"},
    {"FF 58 04 FF 1F 18 08", "R[FF] [58] 拍子=255/-2147483648\n"},
    {"FF 59 02 FA 01", "R[FF] [59] 調号=250 1 B m\n"},
    {"FF 59 00 06 FF", "R[FF] [59] 調号=6 255 F m\n"},
    {"FF 59 02 07 00", "R[FF] [59] 調号=7 0 ---(out of -6～6 M\n"},
    {"FF 59 02 F9 02", "R[FF] [59] 調号=249 2 ---(out of -6～6 m\n"},
    {"FF 04 05 \"ABCDE\"", "R[FF] [04] "},  // no text of its own: the line stays open
    // -rs: running status ("r[..]"), aftertouch, system messages, and what ends running status.
    {"90 3C 64 00 3E 50", "R[90] note 0ch 音  60 100\n|r[90] note 0ch 音  62  80\n", kRs},
    {"90 3C 64 00 3E 50", "R[90] note 0ch 音  60 100\n", kFirst | kRunningStatus},
    {"8F 3C 40 00 3E 00", "R[8F] note off 15ch 音 60 64\n|r[8F] note off 15ch 音 62  0\n", kRs},
    {"B0 07 64 00 0A 40 00 40 00", "R[B0] ボリューム 100\n|r[B0] PANPOT 64\n|r[B0] ", kRs},
    {"C0 05 00 06", "R[C0] program change (楽器) 5 (6) Electric Piano 2 \n|r[C0] program change (楽器) 6 (7) Harpsichord \n", kRs},
    {"EF 00 40 00 7F 7E", "R[EF] Ex ピッチ・ベンド・チェンジ 0x00 0x40\n|r[EF] Ex ピッチ・ベンド・チェンジ 0x7f 0x7e\n", kRs},
    {"A5 3C 10 00 3D 91", "R[A5] ポリフォニック・キー・プレッシャー 5ch 音  60  16\n|r[A5] ポリフォニック・キー・プレッシャー 5ch 音  61 145\n", kRs},
    {"D3 40 00 41", "R[D3] チャンネル・プレッシャー 3ch  64\n|r[D3] チャンネル・プレッシャー 3ch  65\n", kRs},
    {"F7 02 01 02", "R[F7] システムエクスクルーシブ \n", kRs},
    {"3C", "R[3C] Track Event unknown 3C\n", kRs},  // no running status yet
    {"90 3C 64 00 FF 01 00 00 3E", "R[90] note 0ch 音  60 100\n|R[FF] [01] テキスト=\n|R[3E] Track Event unknown 3E\n", kRs},
    {"90 3C 64 00 F0 00 00 3E", "R[90] note 0ch 音  60 100\n|R[F0] システムエクスクルーシブ \n|R[3E] Track Event unknown 3E\n", kRs},
    {"D0 40 00 F1 00 41", "R[D0] チャンネル・プレッシャー 0ch  64\n|R[F1] Track Event unknown F1\n|R[41] Track Event unknown 41\n", kRs},
    // -full: every event whole on a line, named.
    {"FF 00 02 00 07 00 FF 00 00", "R[FF] [00] シーケンス番号=7\n|R[FF] [00] シーケンス番号=(トラックの順)\n", kFull},
    {"FF 05 05 \"la\" 00 0D 1B", "R[FF] [05] 歌詞=la\\x00\\x0D\\x1B\n", kFull},
    {"FF 04 01 41 00 FF 07 01 42 00 FF 08 00 00 FF 09 01 44 00 FF 0F 01 7F", "R[FF] [04] 楽器名=A\n|R[FF] [07] キューポイント=B\n|R[FF] [08] プログラム名=\n|R[FF] [09] デバイス名=D\n|R[FF] [0F] テキスト=\\x7F\n", kFull},
    {"FF 20 01 09 00 FF 21 01 02", "R[FF] [20] チャンネル・プリフィックス 9ch\n|R[FF] [21] 出力ポートの指定 2\n", kFull},
    {"FF 51 03 0D DF 23 00 FF 51 03 00 00 00", "R[FF] [51] (0x0d 0xdf 0x23)tempo=65 四分音符=909091μs 66.00BPM\n|R[FF] [51] (0x00 0x00 0x00)tempo=0 四分音符=0μs -BPM\n", kFull},
    {"FF 54 05 61 02 03 04 05 00 FF 54 05 40 00 00 00 00", "R[FF] [54] SMPTEオフセット=01:02:03:04.05 30fps\n|R[FF] [54] SMPTEオフセット=00:00:00:00.00 29.97fps\n", kFull},
    {"FF 58 04 06 03 0C 08", "R[FF] [58] 拍子=6/8 クロック=12 32分音符=8\n", kFull},
    {"FF 59 02 00 01 00 FF 59 02 FD 00 00 FF 59 02 F9 01 00 FF 59 02 08 00", "R[FF] [59] 調号=0 1 A minor\n|R[FF] [59] 調号=253 0 E♭ major\n|R[FF] [59] 調号=249 1 A♭ minor\n|R[FF] [59] 調号=8 0 ---(out of -7～7\n", kFull},
    {"FF 7F 03 00 00 41 00 FF 60 00", "R[FF] [7F] シーケンサー固有 長さ=3 00 00 41\n|R[FF] [60] 長さ=0\n", kFull},
    {"FF 51 04 07 A1 20 00 FF 20 02 00 01 00 FF 2F 01", "R[FF] [51] 長さ=4(不正) 07 A1 20\n|R[FF] [20] 長さ=2(不正) 00 01\n|R[FF] [2F] 長さ=1(不正)\n", kFull},
    {"B0 40 7F 00 03 00 00 7B 00 00 26 05", "R[B0] ホールド1(サステイン) (CC#64) 127\n|r[B0] 未定義 (CC#3) 0\n|r[B0] オール・ノート・オフ (CC#123) 0\n|r[B0] データ・エントリー LSB (CC#38) 5\n", kFull},
    {"B0 65 00 00 64 00 00 06 0C", "R[B0] RPN MSB (CC#101) 0\n|r[B0] RPN LSB (CC#100) 0\n|r[B0] データ・エントリー MSB (CC#6) 12 RPN 0/0 ピッチ・ベンド・センシティビティ\n", kFull},
    {"B1 63 01 00 62 08 00 60 00 00 65 00 00 26 01", "R[B1] NRPN MSB (CC#99) 1\n|r[B1] NRPN LSB (CC#98) 8\n|r[B1] データ・インクリメント (CC#96) 0 NRPN 1/8\n|r[B1] RPN MSB (CC#101) 0\n|r[B1] データ・エントリー LSB (CC#38) 1 RPN 0/-\n", kFull},
    {"B0 00 08 00 20 01 00 C0 04 00 C1 04", "R[B0] バンクセレクトMSB (CC#0) 8\n|r[B0] バンクセレクトLSB (CC#32) 1\n|R[C0] program change (楽器) 4 (5) Electric Piano bank 8/1\n|R[C1] program change (楽器) 4 (5) Electric Piano \n", kFull},
    {"C9 00 00 08 00 10 00 18 00 20 00 28 00 38", "R[C9] program change (楽器) 0 (1) Standard \n|r[C9] program change (楽器) 8 (9) Room \n|r[C9] program change (楽器) 16 (11) Power \n|r[C9] program change (楽器) 24 (19) Electronic \n|r[C9] program change (楽器) 32 (21) Jazz \n|r[C9] program change (楽器) 40 (29) Brush \n|r[C9] program change (楽器) 56 (39) SFX \n", kFull},
    {"C9 19 00 02 00 B9 00 01 00 C9 30", "R[C9] program change (楽器) 25 (1a) TR-808 \n|r[C9] program change (楽器) 2 (3) drum kit 3 \n|R[B9] バンクセレクトMSB (CC#0) 1\n|R[C9] program change (楽器) 48 (31) Orchestra bank 1/-\n", kFull},
    {"90 3D 00 00 00 01 00 0C 40 00 7F 7F 00 90 80 40", "R[90] note 0ch 音  61   0 C#4 (note off)\n|r[90] note 0ch 音   0   1 C-1\n|r[90] note 0ch 音  12  64 C0\n|r[90] note 0ch 音 127 127 G9\n|R[90] note 0ch 音 128  64 -\n", kFull},
    {"99 24 64 00 22 64 00 89 51 00 00 A9 2A 10", "R[99] note 9ch 音  36 100 C2 Bass Drum 1\n|r[99] note 9ch 音  34 100 A#1\n|R[89] note off 9ch 音 81  0 A5 Open Triangle\n|R[A9] ポリフォニック・キー・プレッシャー 9ch 音  42  16 F#2 Closed Hi-Hat\n", kFull},
    {"D3 40", "R[D3] チャンネル・プレッシャー 3ch  64\n", kFull},
    {"E0 00 50 00 00 00 00 7F 7F", "R[E0] Ex ピッチ・ベンド・チェンジ 0x00 0x50 +2048\n|r[E0] Ex ピッチ・ベンド・チェンジ 0x00 0x00 -8192\n|r[E0] Ex ピッチ・ベンド・チェンジ 0x7f 0x7f +8191\n", kFull},
    {"F0 05 7E 7F 09 01 F7 00 F0 05 7E 10 09 02 F7 00 F0 05 7E 7F 09 03 F7", "R[F0] システムエクスクルーシブ 長さ=5 F0 7E 7F 09 01 F7 GM System On\n|R[F0] システムエクスクルーシブ 長さ=5 F0 7E 10 09 02 F7 GM System Off\n|R[F0] システムエクスクルーシブ 長さ=5 F0 7E 7F 09 03 F7 GM2 System On\n", kFull},
    {"F0 0A 41 10 42 12 40 00 7F 00 41 F7 00 F0 08 43 10 4C 00 00 7E 00 F7", "R[F0] システムエクスクルーシブ 長さ=10 F0 41 10 42 12 40 00 7F 00 41 F7 GS Reset\n|R[F0] システムエクスクルーシブ 長さ=8 F0 43 10 4C 00 00 7E 00 F7 XG System On\n", kFull},
    {"F0 07 7F 7F 04 01 00 7F F7 00 F0 0A 41 10 42 12 40 01 30 00 0F F7 00 F0 0A 41 10 42 12 40 00 7F 00 40 F7", "R[F0] システムエクスクルーシブ 長さ=7 F0 7F 7F 04 01 00 7F F7 マスター・ボリューム 16256\n|R[F0] システムエクスクルーシブ 長さ=10 F0 41 10 42 12 40 01 30 00 0F F7 DT1 checksum ok\n|R[F0] システムエクスクルーシブ 長さ=10 F0 41 10 42 12 40 00 7F 00 40 F7 DT1 checksum wrong\n", kFull},
    {"F7 02 F8 F9 00 F0 00 00 F1", "R[F7] システムエクスクルーシブ 長さ=2 F7 F8 F9\n|R[F0] システムエクスクルーシブ 長さ=0 F0\n|R[F1] Track Event unknown F1\n", kFull},
};
// clang-format on

TEST(Trace, EachEventAsItsLine) {
  for (const Row& row : kEvents) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(event(row.in, row.options), cp932(row.out));
    // A whole line is the same where the file ends right after the event.
    if (row.out.ends_with("\n")) {
      EXPECT_EQ(event(row.in, row.options, false), cp932(row.out));
    }
  }
}

const std::string kHead = "\"MThd\" 00000006 0001 0001 01E0 ", kSmall = smf({"00 FF 2F 00"});
const std::string kRule = std::string(40, '=') + "\n";
const std::string kToTheEnd =
    "R[FF] [2F] トラック終端\nst 0x00001a ---unexpected end of file at 0x00001a\n";
// A file wrapped in RIFF: a chunk of an odd length before "data", one after.
const std::string kRmid =
    hex("\"RIFF\" 00000000 \"RMID\" \"LIST\" 03000000 \"abc\" 00 \"data\" 1A000000") + kSmall +
    hex("\"JUNK\" 00000000");
const std::string kTempoAfterANote = smf({
    "00 FF 58 04 03 02 18 08  00 FF 2F 00",
    "00 90 3C 64  00 FF 51 03 07 A1 20",                     // hidden without -noteon
    "00 FF 51 03 0F 42 40  00 FF 58 04 00 03 18 08",         // a numerator 0 changes nothing
    "00 FF 51 03 07 A1 20  00 FF 51 03 00 00 00  00 C0 28",  // tempo 0 is none
});
// 40 markers at one tick, "10" to "49", and the song's lines of them: more
// than a sort keeps in order by chance.
std::string marks(bool lines) {
  std::string text;
  for (int i = 10; i < 50; ++i)
    text += lines ? "マーカー 0 1:1:000 0:00.000 " + std::to_string(i) + " トラック 0\n"
                  : " 00 FF 06 02 \"" + std::to_string(i) + "\"";
  return text;
}
// 40 programs on channel 1, all twice, then the first in a bank; and the
// channel's line: each program with its bank once, in order of first use.
std::string programs(bool line) {
  std::string text = line ? "ノート 0 楽器 " : "";
  for (int p = 0; p < 80; ++p) {
    char change[16];
    snprintf(change, sizeof change, " 00 C0 %02X", p % 40);
    if (!line) text += change;
    if (line && p < 40) text += (p > 0 ? ", " : "") + std::string(program_names[p]);
  }
  return text + (line ? ", Acoustic Piano bank 1/-\n" : " 00 B0 00 01 00 C0 00");
}
// At the longest tempo, 4098 of the longest delta times and one more tick:
// ticks times tempo pass 2^64, and the microseconds end in an odd digit.
const std::string kFarTrack = [] {
  std::string t = "00 FF 51 03 FF FF FF";
  for (int i = 0; i < 4098; ++i) t += " FF FF FF 7F FF 01 00";
  return t + " 01 FF 01 00";
}();

// Excerpts of whole outputs: the chunk scan, the walk of a track, the summary.
// clang-format off
const Row kWalks[] = {
    {hex("\"MThd\" 0000000A 0000 0001 01E0 00000000 \"MTrk\" 00000000"),
     "ReadMThd size 10\nReadMThd formatid 0\nReadMThd track count 1\nReadMThd deltatime 480\npos=0x12\n====="},
    {hex("\"MTrk\" 00000000"), "pos=0x0\n" + kRule + "0)MTrk"},
    {smf({"", "00 FF 2F 00"}) + hex("\"JUNK\" 00000002 0102 \"MTrk\" 00000000"),
     "mtrk size        0 0x000000\npos 000016\npos 16 ->fsize 34\n====="},
    {smf({"", "00 FF 2F 00"}) + hex("\"JUNK\" 00000002 0102 \"MTrk\" 00000000"),
     "pos 22 ->fsize 34\n000022 not Mtrk\npos 22 ->fsize 34\n" + kRule + "2)MTrk (0x00002c)"},
    {smf({"81 00 C0 05  FF FF FF 7F FF 2F 00  81 81 81 81 2F 00"}),
     "0128 R[C0] program change (楽器) 5 (6) Electric Piano 2 \nst 0x00001a ---time 268435455 R[FF] [2F] "
     "トラック終端\nst 0x000021 ---time 2113665 R[2F] Track Event unknown 2F\npos 000027\n"},
    // An event past its chunk: the next chunk is looked for where it ended, with -rs where the chunk ends.
    {hex(kHead + "\"MTrk\" 00000003 00 90 3C 64 \"MTrk\" 00000000"), "音  60 100\npos 00001a\npos 1a ->fsize 22\n" + kRule + "1)MTrk"},
    {hex(kHead + "\"MTrk\" 00000003 00 90 3C \"MTrk\" 00000004 00 FF 2F 00"), "音  60  77\npos 00001a\npos 1a ->fsize 25\n" +
     kRule + "1)MTrk (0x000019) track_no 01\n", kRs},
    // Cuts, and chunk lengths near 4 GiB: a track is walked as far as the file goes.
    {hex("\"MThd\" 0000"), "unexpected end of file at 0x000000\n===="},
    {kSmall + "MTr", "pos 1a ->fsize 1d\nunexpected end of file at 0x00001a\n===="},
    {smf({"00 FF 2F"}), "st 0x000016 ---time 0000 R[FF] [2F] unexpected end of file at 0x000016\n"},
    {smf({"81"}), "st 0x000016 ---unexpected end of file at 0x000016\n"},  // a delta time cut short
    {read_file(EXAMPLES "/demo.mid").substr(0, 170), "st 0x0000a7 ---time 0000 R[90] unexpected end of file at 0x0000a7\n===="},
    {hex(kHead + "\"MTrk\" FFFFFFFF 00 FF 2F 00"), "mtrk size 4294967295 0xffffffff\nst 0x000016 ---time 0000 " + kToTheEnd},
    {hex(kHead + "\"MTrk\" 80000000 00 FF 2F 00"), "mtrk size 2147483648 0x80000000\nst 0x000016 ---time 0000 " + kToTheEnd},
    {hex(kHead + "\"MTrX\" FFFFFFF8 00 FF 2F 00"), "00000e not Mtrk\npos e ->fsize 1a\nunexpected end of file at 0x00000e\n"},
    // The first note of a track whose length reaches past the file ends the walk.
    {hex(kHead + "\"MTrk\" 00000064 00 90 3C 64 00 FF 2F 00"), "R[90] note 0ch 音  60 100\nunexpected end of file at 0x00000e\n" + kRule +
     "tempo=   0\n拍子 0/0\nCMIDI Conductor_Track= -1\n"
     "Track  0 (MIDI Track  1)   使用済    pos 0x00000e size 0x000064 \n(end)", kFirst},
    {smf({"00 FF 03 0C \"System Setup\"  00 FF 51 03 07 A1 20", "00 FF 03 0C \"System Setup\"",
          "00 C1 30  00 93 3C 64", "00 FF 03 0C \"system setup\"", "00 92 3C 00  00 95 3C 40"}, 6),
     "CMIDI Conductor_Track= 0\nTrack  0 (MIDI Track  0) Conductor   pos 0x00000e size 0x000017 \n"
     "Track  1 (MIDI Track  0) SystemSetup pos 0x00002d size 0x000010 \n"
     "Track  2 (MIDI Track  4)   使用済    pos 0x000045 size 0x000007 String Ensemble 1\n"
     "Track  3 (MIDI Track  0)     -       pos 0x000054 size 0x000010 \n"
     "Track  4 (MIDI Track  6)   使用済    pos 0x00006c size 0x000008 \n"
     "Track  5 (MIDI Track  0)     -       pos 0x000000 size 0x000000 \n(end)"},
    {smf({"00 FF 02 82 00 \"(c)\""}), "R[FF] [02] unexpected end of file at 0x000016\n===="},  // 256 bytes
    // -full: a chunk's id and size; RIFF unwrapped under -rs, at the positions of the whole file.
    {kSmall + hex("01 \"UNK\" 00000002 0102"), "00001a not Mtrk \\x01UNK size 2\npos 1a ->fsize 24\n", kFull},
    {kRmid, "RIFF RMID data 0x000020 size 26\nMThd\n", kRs},
    {kRmid, "mtrk size        4 0x000004\nst 0x000036 ---time 0000 0 1:1:000 0:00.000 R[FF] [2F] トラック終端\npos 00003a\npos 3a ->fsize 3a\n====", kFull},
    {kRmid.substr(0, 56), "0)MTrk (0x00002e) track_no 00\n" + kRule + "mtrk size        4 0x000004\nst 0x000036 ---time 0000 0 1:1:000 0:00.000 R[FF] unexpected end of file at 0x000036\n", kFull},
    {kRmid, "pos=0x0\n000000 not Mtrk\npos 0 ->fsize 42\n000008 not Mtrk\n"},  // without -rs: as it stands
    // -full: where each event sits. Tempos of track 0 hold in track 1; in format 2 each track has its own.
    {smf({"00 FF 51 03 07 A1 20 83 60 FF 51 03 0F 42 40", "00 90 3C 64 87 40 80 3C 00"}),
     "---time 0960 960 1:3:000 0:01.500 R[80]", kFull},
    {smf("0002 01E0", {"00 FF 51 03 0F 42 40 83 60 90 3C 64", "83 60 90 3C 64"}),
     "---time 0480 480 1:2:000 0:01.000 R[90] note 0ch 音  60 100 C4\npos 000022\npos 22 ->fsize 2f\n" + kRule +
     "1)MTrk (0x000022) track_no 01\n" + kRule + "mtrk size        5 0x000005\nst 0x00002a ---time 0480 480 1:2:000 0:00.500 ", kFull},
    // A meter that begins within a bar begins a bar; 6/8 and 7/16 count their own beats; a tempo of 0 is none.
    {smf({"00 FF 58 04 03 02 18 08 83 60 FF 58 04 02 02 18 08 83 60 90 3C 64"}), "---time 0480 960 2:2:000 0:01.000 R[90]", kFull},
    {smf({"00 FF 58 04 06 03 18 08 8D 10 90 3C 64"}), "---time 1680 1680 2:2:000 0:01.750 R[90]", kFull},
    {smf({"00 FF 58 04 07 04 18 08 00 FF 51 03 00 00 00 87 04 90 3C 64"}), "---time 0900 900 2:1:060 0:00.937 R[90]", kFull},
    // SMPTE divisions count time alone: -25 frames of 40 ticks, -29 (29.97) of 80; a division of 0 neither.
    {smf("0001 E728", {"8B 5C 90 3C 64"}), "---time 1500 1500 - 0:01.500 R[90]", kFull},
    {smf("0001 E350", {"A5 3B 90 3C 64"}), "---time 4795 4795 - 0:01.999 R[90]", kFull},
    {smf("0001 E728", {"A9 84 59 90 3C 64"}), "---time 672345 672345 - 11:12.345 R[90]", kFull},
    {smf("0001 0000", {"83 60 90 3C 64"}), "---time 0480 480 - - R[90]", kFull},
    // Of two tempos at one tick the later in track order holds; the song section after the summary.
    {smf({"00 FF 51 03 0F 42 40", "00 FF 51 03 07 A1 20", "83 60 90 3C 64"}),
     "---time 0480 480 1:2:000 0:00.500 R[90]", kFull},
    {smf({"00 FF 51 04 0F 42 40 83 60 90 3C 64"}), "---time 0480 480 1:2:000 0:00.500 R[90]", kFull},  // a tempo of 4 bytes is none
    {smf({"83 60 FF 51 03 0F 42 40", "00 FF 51 03 03 D0 90", "87 40 90 3C 64"}), "---time 0960 960 1:3:000 0:01.250 R[90]", kFull},  // by tick, not track
    {smf({"00 FF 51 03 0F 42 40", "00 FF 51 03 07 A1 20 00 FF 59 02 FE 01 00 FF 07 01 43", "83 60 90 3C 64 00 FF 58 04 07 04 18 08"}),
     "曲の長さ 480 2:1:000 0:00.500\nテンポ 0 1:1:000 0:00.000 四分音符=500000μs 120.00BPM トラック 1\n"
     "拍子 480 2:1:000 0:00.500 7/16 トラック 2\n調号 0 1:1:000 0:00.000 254 1 G minor トラック 1\n"
     "キューポイント 0 1:1:000 0:00.000 C トラック 1\nチャンネル  1 トラック 2 ノート 1 C4～C4\n(end)", kFull},
    {smf({"00 C0 00 00 90 3C 64 00 99 24 40 00 C9 00", "00 B0 00 01 00 C0 28 00 90 40 00 00 90 30 50"}),
     "チャンネル  1 トラック 0,1 ノート 2 C3～C4 楽器 Acoustic Piano, Violin bank 1/-\n"
     "チャンネル 10 トラック 0 ノート 1 C2～C2 楽器 Standard\n(end)", kFull},
    {smf("0002 01E0", {"00 FF 51 03 07 A1 20", "00 FF 51 03 0F 42 40 83 60 90 3C 64"}), "曲の長さ 480 1:2:000 0:01.000\n", kFull},  // in track 1, by its own tempo
    {smf("0002 01E0", {"00 FF 51 03 03 D0 90 83 60 90 3C 64", "00 FF 51 03 0F 42 40"}), "---time 0480 480 1:2:000 0:00.250 R[90]", kFull},  // each track's tempo at one tick
    {smf({"00 90 00 40"}), "チャンネル  1 トラック 0 ノート 1 C-1～C-1\n", kFull},  // the lowest key is the highest too
    {smf({"00 FF 59 02 08 00"}), "調号 0 1:1:000 0:00.000 8 0 ---(out of -7～7 トラック 0\n", kFull},
    {hex("\"MTrk\" 00000008 83 60 FF 51 03 0F 42 40 \"MTrk\" 00000007 00 FF 51 03 07 A1 20"),
     "テンポ 0 - - 四分音符=500000μs 120.00BPM トラック 1\nテンポ 480 - - 四分音符=1000000μs 60.00BPM トラック 0\n", kFull},  // no header: one map, by tick
    {smf({programs(false)}), programs(true), kFull},
    {smf("0001 0780", {"87 67 90 3C 64 01 80 3C 40"}), "---time 0999 999 1:1:999 0:00.260 R[90] note 0ch 音  60 100 C4\nst 0x00001b ---time 0001 1000 1:1:1000 0:00.260 R[80]", kFull},  // a beat of more than 1000 ticks
    {smf({kFarTrack}), "曲の長さ 1100048494591 572941925:2:031 640824656:23.707\n", kFull},
    {smf({kFarTrack}), R"("length":{"tick":1100048494591,"track":0,"bbt":"572941925:2:031","time_us":38449479383707383})", kJson},
    // The maps of a cut file hold what came before the cut.
    {smf({"00 FF 51 03 0F 42 40 83 60 FF 06 02 41 42 00 90 3C"}),
     "st 0x000024 ---time 0000 480 1:2:000 0:01.000 R[90] unexpected end of file at 0x000024\n", kFull},
    {smf({"00 FF 51 03 0F 42 40 83 60 FF 06 02 41 42 00 90 3C"}),
     "テンポ 0 1:1:000 0:00.000 四分音符=1000000μs 60.00BPM トラック 0\nマーカー 480 1:2:000 0:01.000 AB トラック 0\n(end)", kFull},
    {smf({"00 FF 06 01 41 00 FF 07 01 42"}), "マーカー 0 1:1:000 0:00.000 A トラック 0\nキューポイント 0 1:1:000 0:00.000 B トラック 0\n(end)", kFull},  // at one tick, in file order
    {smf({"83 60 FF 06 01 41", "00 FF 06 01 42"}), "マーカー 0 1:1:000 0:00.000 B トラック 1\nマーカー 480 1:2:000 0:00.500 A トラック 0\n(end)", kFull},  // by tick
    {smf({marks(false)}), marks(true) + "(end)", kFull},
    // -json: each item an object on a line; the bytes of every meta event, system exclusive and unknown event.
    {smf({"00 FF 01 07 22 5C 01 8A BF 41 80 00 FF 51 04 07 A1 20"}),
     R"({"type":"header","pos":0,"length":6,"format":1,"tracks":1,"division":480,"smpte":null})" "\n"
     R"({"type":"chunk","pos":14,"id":"MTrk","size":18,"track":0})" "\n"
     R"({"type":"event","pos":22,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":255,"running":false,"kind":"meta","meta_type":1,"length":7,"bytes":"225c018abf4180","fits":true,"text":"\"\\\u0001漢A�"})" "\n"
     R"({"type":"event","pos":33,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":255,"running":false,"kind":"meta","meta_type":81,"length":4,"bytes":"07a120","fits":false,"tempo_us":null,"bpm":null})" "\n", kJson},
    {smf({"00 FF 51 03 0D DF 23 00 FF 58 04 06 03 18 08 00 FF 59 02 FE 01 00 FF 54 05 61 02 03 04 05"}),
     R"("kind":"meta","meta_type":81,"length":3,"bytes":"0ddf23","fits":true,"tempo_us":909091,"bpm":66.00})" "\n"
     R"({"type":"event","pos":29,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":255,"running":false,"kind":"meta","meta_type":88,"length":4,"bytes":"06031808","fits":true,"numerator":6,"denominator":8,"clocks":24,"thirty_seconds":8})" "\n"
     R"({"type":"event","pos":37,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":255,"running":false,"kind":"meta","meta_type":89,"length":2,"bytes":"fe01","fits":true,"key":-2,"mode":1,"key_name":"G minor"})" "\n"
     R"({"type":"event","pos":43,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":255,"running":false,"kind":"meta","meta_type":84,"length":5,"bytes":"6102030405","fits":true,"smpte":{"hours":1,"minutes":2,"seconds":3,"frames":4,"fractions":5,"rate":"30"}})" "\n", kJson},
    {smf({"00 C9 19 00 99 24 00 00 B0 65 00 00 64 00 00 06 02 00 B0 00 01 00 C0 28 00 E0 00 50 00 D0 30 00 A0 3C 10 00 F0 0A 41 10 42 12 40 00 7F 00 40 F7 00 3C 00 F1"}),
     R"("status":201,"running":false,"kind":"program","channel":9,"program":25,"name":"TR-808","bank":null})" "\n"
     R"({"type":"event","pos":25,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":153,"running":false,"kind":"note_on","channel":9,"note":36,"velocity":0,"name":"C2","drum":"Bass Drum 1","off":true})" "\n"
     R"({"type":"event","pos":29,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":176,"running":false,"kind":"control","channel":0,"controller":101,"value":0,"name":"RPN MSB","rpn":null,"nrpn":null})" "\n"
     R"({"type":"event","pos":33,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":176,"running":true,"kind":"control","channel":0,"controller":100,"value":0,"name":"RPN LSB","rpn":null,"nrpn":null})" "\n"
     R"({"type":"event","pos":36,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":176,"running":true,"kind":"control","channel":0,"controller":6,"value":2,"name":"データ・エントリー MSB","rpn":[0,0],"nrpn":null})" "\n"
     R"({"type":"event","pos":39,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":176,"running":false,"kind":"control","channel":0,"controller":0,"value":1,"name":"バンクセレクトMSB","rpn":null,"nrpn":null})" "\n"
     R"({"type":"event","pos":43,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":192,"running":false,"kind":"program","channel":0,"program":40,"name":"Violin","bank":[1,null]})" "\n"
     R"({"type":"event","pos":46,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":224,"running":false,"kind":"pitch_bend","channel":0,"bend":2048})" "\n"
     R"({"type":"event","pos":50,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":208,"running":false,"kind":"channel_pressure","channel":0,"pressure":48})" "\n"
     R"({"type":"event","pos":53,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":160,"running":false,"kind":"poly_pressure","channel":0,"note":60,"pressure":16,"name":"C4"})" "\n"
     R"({"type":"event","pos":57,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":240,"running":false,"kind":"sysex","length":10,"bytes":"4110421240007f0040f7","name":"DT1","checksum":"wrong"})" "\n"
     R"({"type":"event","pos":70,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":60,"running":false,"kind":"unknown","bytes":"3c"})" "\n"
     R"({"type":"event","pos":72,"track":0,"delta":0,"tick":0,"bbt":"1:1:000","time_us":0,"status":241,"running":false,"kind":"unknown","bytes":"f1"})" "\n"
     R"({"type":"track","index":0,"pos":14,"size":52,"channel":9,"used":true,"program":40,"program_name":"Violin","conductor":false,"system_setup":false})" "\n"
     R"({"type":"channel","channel":0,"tracks":[0],"note_ons":0,"lowest":null,"highest":null,"programs":[{"program":40,"name":"Violin","bank":[1,null]}]})" "\n"
     R"({"type":"channel","channel":9,"tracks":[0],"note_ons":0,"lowest":null,"highest":null,"programs":[{"program":25,"name":"TR-808","bank":null}]})" "\n"
     R"({"type":"song","length":{"tick":0,"track":0,"bbt":"1:1:000","time_us":0},"tempos":[],"meters":[],"keys":[],"markers":[]})" "\n(end)", kJson},
    {smf({"00 F0 07 7F 7F 04 01 00 7F F7"}), R"("kind":"sysex","length":7,"bytes":"7f7f0401007ff7","name":"master volume","checksum":null})", kJson},
    {smf({"00 FF 06 01 41 83 60 FF 07 01 42"}), R"("markers":[{"tick":0,"track":0,"bbt":"1:1:000","time_us":0,"meta_type":6,"text":"A"},{"tick":480,"track":0,"bbt":"1:2:000","time_us":500000,"meta_type":7,"text":"B"}]})", kJson},
    {kRmid.substr(0, 56), R"({"type":"riff","pos":32,"size":26,"end":56})" "\n"
     R"({"type":"header","pos":32,"length":6,"format":1,"tracks":1,"division":480,"smpte":null})" "\n"
     R"({"type":"chunk","pos":46,"id":"MTrk","size":4,"track":0})" "\n{\"type\":\"cut\",\"pos\":54,\"message\":\"unexpected end of file\"}\n", kJson},
    {smf("0001 E728", {"90 3C 64"}), R"("division":59176,"smpte":{"fps":25,"ticks_per_frame":40}})", kJson},
    {kRmid, R"({"type":"riff","pos":32,"size":26,"end":58})" "\n" R"({"type":"header","pos":32,"length":6,)", kJson},
    {kSmall + hex("80 \"UNK\" 00000000"), "{\"type\":\"chunk\",\"pos\":26,\"id\":\"\xEF\xBF\xBDUNK\",\"size\":0,\"track\":null}\n", kJson},
    {smf({"00 FF 21 01 02 00 E2 00 40"}), R"("meta_type":33,"length":1,"bytes":"02","fits":true,"port":2})", kJson},
    {smf({"00 FF 20 01 09"}), R"("meta_type":32,"length":1,"bytes":"09","fits":true,"channel":9})", kJson},
    {smf({"00 FF 21 01 02 00 E2 00 40"}), R"({"type":"channel","channel":2,"tracks":[0],"note_ons":0,"lowest":null,"highest":null,"programs":[]})", kJson},
    {smf({"00 FF 21 01 02 00 E2 00 40"}), "曲の長さ 0 1:1:000 0:00.000\nチャンネル  3 トラック 0 ノート 0\n", kFull | kUtf8},  // a pitch bend uses a channel
    {smf({"00 FF 00 02 00 07 00 FF 58 04 03 02 18 08"}), R"("fits":true,"number":7})", kJson},
    {smf("0001 0003", {"01 90 3C 64"}), R"("tick":1,"bbt":"1:1:001","time_us":166666,)", kJson},  // truncated to the microsecond
    {smf({"00 FF 00 02 00 07 00 FF 58 04 03 02 18 08"}), R"("meters":[{"tick":0,"track":0,"bbt":"1:1:000","time_us":0,"numerator":3,"denominator":4}])", kJson},
    {smf({"00 FF 2F 00", ""}), R"({"type":"song","length":{"tick":0,"track":0,)", kJson},  // an empty track ends at 0
    {smf({"00 FF 2F 00", "83 60 FF 01 00 00 90 3C"}), R"({"type":"song","length":{"tick":480,"track":1,)", kJson},  // a cut track too
    {smf({"00 FF 2F 00", "83 60 FF 01 00 00 90 3C"}), "曲の長さ 480 1:2:000 0:00.500\n", kFull},
    {smf({"00 C0 00"}), R"("used":false,"program":0,"program_name":"Acoustic Piano",)", kJson},
    {smf({"00 C9 02"}), R"("program":2,"name":"drum kit 3","bank":null})", kJson},
    {smf({"00 FF 59 02 01 00"}), R"("key":1,"mode":0,"key_name":"G major"})", kJson},
    {smf({"00 90 7F 40"}), R"("note":127,"velocity":64,"name":"G9","drum":null,"off":false})", kJson},
    {hex("\"MThd\" 00000006 0001"), R"({"type":"song","length":{"tick":0,"track":null,"bbt":null,"time_us":null},)", kJson},
    // A long copyright: the tempo and the time signature after it are seen.
    {smf({"00 FF 02 81 1C \"" + std::string(156, 'c') + "\" 00 FF 51 03 07 A1 20 00 FF 58 04 02 02 18 08"}),
     "tempo= 120\n拍子 2/4\nCMIDI Conductor_Track= 0\n"},
    {kTempoAfterANote, "tempo= 120\n拍子 3/4\nCMIDI Conductor_Track= 2\n"
     "Track  0 (MIDI Track  0)     -       pos 0x00000e size 0x00000c \n"
     "Track  1 (MIDI Track  1)   使用済    pos 0x000022 size 0x00000b \n"
     "Track  2 (MIDI Track  0) Conductor   pos 0x000035 size 0x00000f \n"
     "Track  3 (MIDI Track  0)     -       pos 0x00004c size 0x000011 Violin\n(end)", kFirst},
    {smf({"00 80 3C 40  00 90 3C 64  00 C0 05", "00 FF 51 03 00 12 FC"}, 1), "tempo=12345\n拍子 0/0\n"
     "CMIDI Conductor_Track= 1\nTrack  0 (MIDI Track  0)     -       pos 0x00000e size 0x00000b \n(end)", kFirst},
    {smf({"00 C0 05 00 06  00 9A 3C 64 00 3E 50", "00 3E 50 00"}), "Track  0 (MIDI Track 11)   使用済    pos "
     "0x00000e size 0x00000c Harpsichord\nTrack  1 (MIDI Track  0)     -       pos 0x000022 size 0x000004 \n(end)", kRs},
};
// clang-format on

TEST(Trace, WalksAsTheirLines) {
  for (const Row& row : kWalks) {
    // JSON and -u8 are UTF-8; the trace code page 932.
    const std::string out = row.options & (kJson | kUtf8) ? row.out : cp932(row.out);
    EXPECT_NE(printed(row.in, row.options).find(out), std::string::npos) << row.out;
  }
}

// -check: a file for each finding, its line (where it stands, its
// severity, text and name).
// clang-format off
const Row kFindings[] = {
    {hex("\"MTrk\" 00000004 00 FF 2F 00"), "0x000000: error: no MThd header chunk [no-header]"},
    {hex("\"MThd\" 00000004 0001 0001 01E0"), "0x000000: error: header chunk of 4 bytes, fewer than 6 [header-length]"},
    {smf("0001 0000", {"00 FF 2F 00"}), "0x000000: error: division of 0 ticks a quarter note [division-zero]"},
    {smf("0003 01E0", {"00 FF 2F 00"}), "0x000000: error: format 3, not 0, 1 or 2 [format-unknown]"},
    {smf("0000 01E0", {"00 FF 2F 00", "00 FF 2F 00"}), "0x000000: error: format 0 with 2 tracks [format0-tracks]"},
    {smf({"00 FF 2F 00"}, 2), "0x000000: error: the header announces 2 tracks, the file holds 1 [track-count]\nf:0x000000: warning: no tempo: 120 BPM taken [no-tempo]"},  // at one place in the order found
    {hex(kHead + "\"MTrk\" 00000010 00 FF 2F 00"), "0x00000e: error: chunk length 16 reaches past the end of the file [chunk-past-end]"},
    {hex(kHead + "\"MTrk\" 00000003 00 FF 2F 00"), "0x000016: error: event reaches past the end of its chunk [event-past-chunk]"},
    {smf({"00 90 3C 64 00 80 3C 00"}), "0x00000e: error: track without end of track (FF 2F) [no-end-of-track]"},
    {smf({"00 FF 2F 00 00 90 3C 64"}), "0x00001a: error: bytes after the end of track [after-end-of-track]"},
    {smf({"00 0C 00 FF 2F 00"}), "0x000016: error: data byte 0C where a status belongs [data-without-status]"},
    {smf({"00 90 3C 90 00 FF 2F 00"}), "0x000016: error: status byte 90 inside a channel message [status-in-data]"},
    {smf({"00 FF 51 04 07 A1 20 00 FF 2F 00"}), "0x000016: error: meta event 51 of length 4 [meta-length]"},
    {smf({"81 81 81 81 00 FF 2F 00"}), "0x000016: error: variable-length quantity of more than 4 bytes [long-quantity]"},
    {smf({"00 F0 02 7E 7F 00 FF 2F 00"}), "0x000016: error: system exclusive message without F7 at its end [sysex-unterminated]"},
    {smf({"00 F0 02 7E 7F"}), "0x000016: error: system exclusive message without F7 at its end [sysex-unterminated]"},  // at the track's end
    {smf({"00 FF 51 03 07 A1 20 00 F0 02 7E 7F", "00 FF 2F 00"}), " 2 errors, 0 warnings"},  // said once, not again in the next track
    {smf({"00 F0 80 80 80 80 00 FF 2F 00"}), "0x000016: error: variable-length quantity of more than 4 bytes [long-quantity]"},  // a length
    {smf({"00 FF 01 80 80 80 80 00 FF 2F 00"}), "0x000016: error: variable-length quantity of more than 4 bytes [long-quantity]"},  // a meta length
    {smf({"00 F1 00 FF 2F 00"}), "0x000016: error: system message F1 inside a track [system-byte]"},
    {smf({"00 FF 2F"}), "0x000016: error: the file ends inside an item [truncated]"},
    {kSmall + hex("FFFF"), "0x00001a: error: bytes after the last chunk [trailing-bytes]"},
    {kSmall + hex("\"AB\" 7F \"C\" 00000002 0102"), "0x00001a: error: bytes after the last chunk [trailing-bytes]"},  // 7F is no letter of an id
    {smf({"00 90 3C 64 00 FF 01 00 00 3E 40 00 FF 2F 00"}), "0x00001e: warning: data byte 3E after a meta or system exclusive event: running status 90 ended there [running-status-after-meta]"},
    {smf({"00 90 3C 64 00 FF 01 00 00 FF 01 00 00 3E 40 00 FF 2F 00"}), "0x000022: warning: data byte 3E after a meta or system exclusive event: running status 90 ended there [running-status-after-meta]"},  // two on
    {smf({"00 90 3C 64 00 FF 2F 00"}), "0x000016: warning: note on without a note off before the end of its track [note-stuck]"},
    {smf({"00 FF 51 03 07 A1 20 00 90 3C 64 00 90 3E 64 00 FF 2F 00"}), "0x00001d: warning: note on without a note off before the end of its track (×2) [note-stuck]"},
    {smf({"00 80 3C 40 00 80 3E 40 00 FF 2F 00"}), "0x000016: warning: note off for C4 on channel 0, which is not sounding (×2) [note-off-unmatched]"},
    {smf({"00 91 3C 64 00 3C 64 00 3C 00 00 3C 00 00 FF 2F 00"}), "0x00001a: warning: note on for C4 on channel 1, which is sounding [note-retrigger]"},
    {smf({"00 FF 2F 00", "00 FF 51 03 07 A1 20 00 FF 2F 00"}), "0x000022: warning: tempo outside the first track [tempo-outside-first-track]"},
    {smf({"00 FF 51 03 00 00 00 00 FF 2F 00"}), "0x000016: warning: tempo of 0 microseconds a quarter note [tempo-zero]"},
    {kSmall, "0x000000: warning: no tempo: 120 BPM taken [no-tempo]"},
    {smf({"00 FF 58 04 03 0A 18 08 00 FF 2F 00"}), "0x000016: warning: time signature 3/2^10 counts for nothing [time-signature-invalid]"},
    {kSmall + hex("\"JUNK\" 00000002 0102"), "0x00001a: warning: chunk \"JUNK\" of 2 bytes passed over [foreign-chunk]"},
    {kRmid, "0x000000: warning: wrapped in RIFF (RMID) [riff-wrapper]"},
    {smf("0001 E728", {"00 FF 2F 00"}), "0x000000: warning: SMPTE division: time in frames, no beats [smpte-division]"},
    {smf("0001 E728", {"00 FF 51 03 07 A1 20 00 FF 58 04 04 06 18 08 00 FF 2F 00"}), " 0 errors, 1 warnings"},  // any beat in frames
    {smf({"00 FF 01 02 80 41 00 FF 2F 00"}), "0x000016: warning: text neither ASCII, UTF-8 nor code page 932 [text-encoding]"},
    // Sound files: a system exclusive message that F7 continuations go on, a text in code page 932; format 1 with two tracks.
    {smf({"00 FF 51 03 07 A1 20 00 F0 02 7E 7F 00 F7 01 F7 00 FF 01 02 8A BF 00 FF 2F 00"}), "sound: continued, 932", kFirst},
    {smf({"00 FF 51 03 07 A1 20 00 FF 2F 00", "00 FF 2F 00"}), "sound: two tracks", kFirst},
    {smf({"00 FF 51 03 00 00 01 00 FF 2F 00"}), "sound: a tempo of 1 microsecond", kFirst},
    {smf({"00 FF 51 03 07 A1 20 00 FF 58 04 03 07 18 08 00 FF 2F 00"}), "sound: 3/128, a beat of 15 ticks", kFirst},
    {smf({"00 FF 51 03 07 A1 20 00 F0 81 80 80 00 \"" + std::string(2097151, 'x') + "\" F7 00 FF 2F 00"}), "sound: a length of 4 bytes", kFirst},
};
// clang-format on

TEST(Check, EachFindingAsItsLine) {
  for (const Row& row : kFindings) {
    SCOPED_TRACE(row.out);
    const std::string printed = walk(reinterpret_cast<const uint8_t*>(row.in.data()),
                                     static_cast<uint32_t>(row.in.size()), kCheck)
                                    .trace;
    if (row.options == kFirst) {
      EXPECT_EQ(printed, "f: ok\n");
    } else {
      EXPECT_NE(printed.find("f:" + cp932(row.out) + "\n"), std::string::npos) << printed;
    }
  }
}

// The formatter against printf: numbers within, at and past their widths,
// negative ones, extremes, and texts past a line's room, in both encodings.
TEST(Trace, FormatsAsPrintfDoes) {
  const std::string s(1000, 's');
  char expected[3000];
  snprintf(expected, sizeof expected, "%s%5d|%12lu%06lx %X %c%ld%s|%05d|%2d|%3d|%04lu|%02X|%06lx\n",
           s.c_str(), -42, 0ul, ~0ul, 0xABu, 'c', -7l, s.c_str(), -42, 100, 7, 12345ul, 0x123u,
           0x1234567ul);
  for (Encoding e : {Encoding::utf8, Encoding::cp932}) {
    EXPECT_EQ(capture([&] {
                out<"%s%5d|%12lu%06lx %X %c%ld%s">(e, s.c_str(), -42, 0ul, ~0ul, 0xABu, 'c', -7l,
                                                   s.c_str());
                out<"|%05d|%2d|%3d|%04lu|%02X|%06lx\n">(e, -42, 100, 7, 12345ul, 0x123u,
                                                        0x1234567ul);
              }),
              expected);
  }
  // Every number of digits, at its boundaries: 10^k - 1 and 10^k, 16^k - 1
  // and 16^k, within and past the widths of the fast ways.
  for (unsigned long ten = 1, sixteen = 1;; ten *= 10, sixteen *= 16) {
    for (unsigned long v : {ten - 1, ten, sixteen - 1, sixteen}) {
      SCOPED_TRACE(v);
      snprintf(expected, sizeof expected, "%lu|%3lu|%04lu|%2lu|%5lu|%lx|%06lx|%02lX|%ld\n", v, v, v,
               v, v, v, v, v, -static_cast<long>(v & 0x7FFFFFFFFFFFFFFF));
      EXPECT_EQ(capture([&] {
                  out<"%lu|%3lu|%04lu|%2lu|%5lu|%lx|%06lx|%02X|%ld\n">(
                      Encoding::cp932, v, v, v, v, v, v, v, v,
                      -static_cast<long>(v & 0x7FFFFFFFFFFFFFFF));
                }),
                expected);
    }
    if (ten > ~0ul / 10) break;
  }
  // Digits within a number that the fast ways take by pairs, each pair at
  // its largest (99) and below, where any rounding would show.
  for (unsigned long v : {1099999ul, 12349999ul, 100990099ul, 4294967295ul, 9876543210ul}) {
    snprintf(expected, sizeof expected, "%lu\n", v);
    EXPECT_EQ(capture([&] { out<"%lu\n">(Encoding::cp932, v); }), expected) << v;
  }
  // A format's own text counts in the room it needs: a line almost full goes
  // out before it.
  EXPECT_EQ(capture([&] {
              outfmt::Line line;
              put<"%s">(line, Encoding::cp932, s.c_str());
              put<"0123456789012345678901234567890123456789%d\n">(line, Encoding::cp932, 7);
              line.flush();
            }),
            s + "0123456789012345678901234567890123456789"
                "7\n");
}

// The program's own check of UTF-8: the forms RFC 3629 allows, and the ones
// it does not (overlong, surrogates, past U+10FFFF, 5 and 6 bytes, cut).
TEST(Trace, KnowsUtf8) {
  struct {
    const char* bytes;
    bool utf8;
  } const kRows[] = {
      {"41 C2 80 DF BF", true},
      {"E0 A0 80 ED 9F BF EE 80 80", true},
      {"F0 90 80 80 F4 8F BF BF", true},
      {"C0 AF", false},
      {"C1 BF", false},
      {"E0 9F BF", false},
      {"ED A0 80", false},
      {"F0 8F BF BF", false},
      {"F4 90 80 80", false},
      {"F5 80 80 80", false},
      {"F8 88 80 80 80", false},
      {"FC 84 80 80 80 80", false},
      {"80", false},
      {"E3 81", false},
      {"E3 41 82", false},
  };
  for (const auto& row : kRows) {
    const std::string bytes = hex(row.bytes);
    EXPECT_EQ(is_utf8(bytes.data(), bytes.size()), row.utf8) << row.bytes;
  }
}

// The fuzz target's checks on its seed corpus, and on every prefix and every
// one-byte change of a file with every kind of item, of the demo file and of
// a file written with running status. In the sanitizer build any read
// outside the image stops them.
TEST(Trace, PropertiesOverEveryPrefixAndByteChange) {
  for (const auto& seed : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
    const std::string bytes = read_file(seed.path());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  for (std::string file :
       {read_file(FUZZ_CORPUS "/every_item.mid"), read_file(EXAMPLES "/demo.mid"),
        read_file(FUZZ_CORPUS "/running_status.mid")}) {
    auto* data = reinterpret_cast<const uint8_t*>(file.data());
    for (size_t cut = 0; cut <= file.size(); ++cut)
      for (int options = 0; options < kAllOptions; ++options)
        if (distinct(options)) check_prefix(data, file.size(), cut, options);
    for (char& byte : file) {
      const char kept = byte;
      for (int value : {0x00, 0x7F, 0x81, 0xF0, 0xFF}) {
        byte = static_cast<char>(value);
        LLVMFuzzerTestOneInput(data, file.size());
      }
      byte = kept;
    }
  }
}

}  // namespace
