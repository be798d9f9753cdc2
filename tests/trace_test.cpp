// The trace, rule by rule: bytes in, the lines the program prints out.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fuzz/smf_fuzz.h"
#include "support.h"

namespace {

constexpr int kFirst = 0, kAll = kNotes, kRs = kNotes | kRunningStatus;  // the walk's options

// What the program prints for `file` from the walk on (trace and summary),
// then "(end)".
std::string printed(const std::string& file, int options) {
  const std::unique_ptr<uint8_t[]> data(new uint8_t[file.size()]);  // exactly the file
  memcpy(data.get(), file.data(), file.size());
  const Walk w = walk(data.get(), static_cast<uint32_t>(file.size()), options);
  return w.trace + w.summary + "(end)";
}

// The trace of one event at delta time 0 in a one-track file, from its
// status byte on; the end of track after it is left out where it stands
// right after the event's bytes, so each row pins how far the walk went.
std::string event(const std::string& bytes, int options) {
  const std::string trace = printed(smf({"00 " + bytes + " 00 FF 2F 00"}), options);
  const size_t from = trace.find("st 0x000016 ---time 0000 ") + 25;
  std::string text = trace.substr(from, trace.find("\npos 0") + 1 - from);
  char eot[64];
  snprintf(eot, sizeof eot, "st 0x%06zx ---time 0000 R[FF] [2F] ", 0x17 + hex(bytes).size());
  if (text.ends_with(eot + cp932("トラック終端\n"))) text.resize(text.rfind(eot));
  return text;
}

struct Row {
  std::string in, out;
  int options = kAll;
};

const std::string k255(255, 'a'), kRs1a = "st 0x00001a ---time 0000 r[";

// Events the README's excerpt of the demo's trace does not show.
const Row kEvents[] = {
    {"9F 00 7F", "R[9F] note 15ch 音   0 127\n"},
    {"93 80 FF", "R[93] note 3ch 音 128 255\n"},
    {"8A 05 00", "R[8A] note off 10ch 音  5  0\n"},
    {"CF 0F", "R[CF] program change (楽器) 15 (10) Dulcimer \n"},
    {"C0 7F", "R[C0] program change (楽器) 127 (80) Gunshot \n"},
    {"C0 80", "R[C0] program change (楽器) 128 (81) ---(out of 0～127 \n"},
    {"EF 7F 0A", "R[EF] Ex ピッチ・ベンド・チェンジ 0x7f 0x0a\n"},
    {"F0 81 00 " + std::string(256, '5'), "R[F0] システムエクスクルーシブ \n"},
    {"F0 00", "R[F0] システムエクスクルーシブ \n"},
    {"3C 64", "R[3C] Track Event unknown 3C\n"},  // running status: not decoded
    {"A0 3C", "R[A0] Track Event unknown A0\n"},
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
    {"FF 01 00", "R[FF] [01] テキスト=\n"},
    {"FF 03 07 \"Sys\" 00 \"tem\"", "R[FF] [03] シーケンス名=Sys\n"},
    {"FF 01 06 83 73 83 41 83 6D", "R[FF] [01] テキスト=ピアノ\n"},
    {"FF 01 81 \"" + k255.substr(0, 129) + "\"", "R[FF] [01] テキスト=" + k255.substr(0, 129) + "\n"},
    {"FF 06 FF \"" + k255 + "\"", "R[FF] [06] マーカー=" + k255 + "\n"},
    {"FF 21 00 C8", "R[FF] [21] 出力ポートの指定 200\n"},
    {"FF 51 04 0A 2C 2B", "R[FF] [51] (0x0a 0x2c 0x2b)tempo=89\n"},
    {"FF 51 03 00 00 00", "R[FF] [51] (0x00 0x00 0x00)tempo=0\n"},
    {"FF 58 04 03 00 18 08", "R[FF] [58] 拍子=3/1\n"},
    {"FF 58 04 00 0F 18 08", "R[FF] [58] 拍子=0/32768\n"},
    {"FF 58 00 03 1E 00 00", "R[FF] [58] 拍子=3/1073741824\n"},
    {"FF 58 04 FF 1F 18 08", "R[FF] [58] 拍子=255/-2147483648\n"},
    {"FF 59 02 FA 01", "R[FF] [59] 調号=250 1 B m\n"},
    {"FF 59 02 FB 00", "R[FF] [59] 調号=251 0 D♭ M\n"},
    {"FF 59 00 06 FF", "R[FF] [59] 調号=6 255 F m\n"},
    {"FF 59 02 07 00", "R[FF] [59] 調号=7 0 ---(out of -6～6 M\n"},
    {"FF 59 02 F9 02", "R[FF] [59] 調号=249 2 ---(out of -6～6 m\n"},
    {"FF 04 05 \"ABCDE\"", "R[FF] [04] "},  // no text of its own: the line stays open
    // -rs: running status ("r[..]"), aftertouch, system messages.
    {"90 3C 64 00 3E 50", "R[90] note 0ch 音  60 100\n" + kRs1a + "90] note 0ch 音  62  80\n", kRs},
    {"90 3C 64 00 3E 50", "R[90] note 0ch 音  60 100\n", kFirst | kRunningStatus},
    {"8F 3C 40 00 3E 00", "R[8F] note off 15ch 音 60 64\n" + kRs1a + "8F] note off 15ch 音 62  0\n", kRs},
    {"B0 07 64 00 0A 40", "R[B0] ボリューム 100\n" + kRs1a + "B0] PANPOT 64\n", kRs},
    {"B0 40 7F 00 40 00", "R[B0] " + kRs1a + "B0] ", kRs},
    {"C0 05 00 06", "R[C0] program change (楽器) 5 (6) Electric Piano 2 \n"
                    "st 0x000019 ---time 0000 r[C0] program change (楽器) 6 (7) Harpsichord \n", kRs},
    {"EF 00 40 00 7F 7E", "R[EF] Ex ピッチ・ベンド・チェンジ 0x00 0x40\n" + kRs1a +
                              "EF] Ex ピッチ・ベンド・チェンジ 0x7f 0x7e\n", kRs},
    {"A5 3C 10 00 3D 91", "R[A5] ポリフォニック・キー・プレッシャー 5ch 音  60  16\n" + kRs1a +
                              "A5] ポリフォニック・キー・プレッシャー 5ch 音  61 145\n", kRs},
    {"D3 40 00 41", "R[D3] チャンネル・プレッシャー 3ch  64\n"
                    "st 0x000019 ---time 0000 r[D3] チャンネル・プレッシャー 3ch  65\n", kRs},
    {"F7 02 01 02", "R[F7] システムエクスクルーシブ \n", kRs},
    {"FE", "R[FE] Track Event unknown FE\n", kRs},
    {"3C", "R[3C] Track Event unknown 3C\n", kRs},  // no running status yet
    {"90 3C 64 00 FF 01 00 00 3E", "R[90] note 0ch 音  60 100\nst 0x00001a ---time 0000 R[FF] [01] テキスト=\n"
                                   "st 0x00001e ---time 0000 R[3E] Track Event unknown 3E\n", kRs},
    {"90 3C 64 00 F0 00 00 3E", "R[90] note 0ch 音  60 100\nst 0x00001a ---time 0000 R[F0] システムエクスクルーシブ \n"
                                "st 0x00001d ---time 0000 R[3E] Track Event unknown 3E\n", kRs},
    {"D0 40 00 F1 00 41", "R[D0] チャンネル・プレッシャー 0ch  64\nst 0x000019 ---time 0000 R[F1] Track Event unknown F1\n"
                          "st 0x00001b ---time 0000 R[41] Track Event unknown 41\n", kRs},
};

TEST(Trace, EachEventAsItsLine) {
  for (const Row& row : kEvents) EXPECT_EQ(event(row.in, row.options), cp932(row.out)) << row.in;
}

const std::string kHead = "\"MThd\" 00000006 0001 0001 01E0 ";
const std::string kToTheEnd = "st 0x000016 ---time 0000 R[FF] [2F] トラック終端\n"
                              "st 0x00001a ---unexpected end of file at 0x00001a\n";
const std::string kTempoAfterANote = smf({
    "00 FF 58 04 03 02 18 08  00 FF 2F 00",
    "00 90 3C 64  00 FF 51 03 07 A1 20",                     // hidden without -noteon
    "00 FF 51 03 0F 42 40  00 FF 58 04 00 03 18 08",         // a numerator 0 changes nothing
    "00 FF 51 03 07 A1 20  00 FF 51 03 00 00 00  00 C0 28",  // tempo 0 is none
});

// Excerpts of whole outputs: the chunk scan, the walk of a track, the summary.
const Row kWalks[] = {
    {hex("\"MThd\" 0000000A 0000 0001 01E0 00000000 \"MTrk\" 00000000"),
     "ReadMThd size 10\nReadMThd formatid 0\nReadMThd track count 1\nReadMThd deltatime 480\n"
     "pos=0x12\n========================================\n0)MTrk (0x000012) track_no 00\n"},
    {hex("\"MTrk\" 00000000"), "pos=0x0\n========================================\n0)MTrk"},
    {hex("\"XY\" 0000 00000000"), "pos=0x0\n000000 not Mtrk\npos 0 ->fsize 8\n====="},
    {smf({"", "00 FF 2F 00"}) + hex("\"JUNK\" 00000002 0102 \"MTrk\" 00000000"),
     "mtrk size        0 0x000000\npos 000016\npos 16 ->fsize 34\n"
     "========================================\n1)MTrk (0x000016) track_no 01\n"
     "========================================\nmtrk size        4 0x000004\n"
     "st 0x00001e ---time 0000 R[FF] [2F] トラック終端\npos 000022\npos 22 ->fsize 34\n"
     "000022 not Mtrk\npos 22 ->fsize 34\n========================================\n2)MTrk"},
    {smf({"81 00 C0 05  FF FF FF 7F FF 2F 00  81 81 81 81 2F 00"}),
     "st 0x000016 ---time 0128 R[C0] program change (楽器) 5 (6) Electric Piano 2 \n"
     "st 0x00001a ---time 268435455 R[FF] [2F] トラック終端\n"
     "st 0x000021 ---time 2113665 R[2F] Track Event unknown 2F\npos 000027\n"},
    // An event past its chunk: the next chunk is looked for where it ended,
    // with -rs where the chunk ends.
    {hex(kHead + "\"MTrk\" 00000003 00 90 3C 64 \"MTrk\" 00000000"),
     "音  60 100\npos 00001a\npos 1a ->fsize 22\n========================================\n1)MTrk"},
    {hex(kHead + "\"MTrk\" 00000003 00 90 3C \"MTrk\" 00000004 00 FF 2F 00"),
     "音  60  77\npos 00001a\npos 1a ->fsize 25\n========================================\n"
     "1)MTrk (0x000019) track_no 01\n", kRs},
    // Cuts, and chunk lengths near 4 GiB: a track is walked as far as the file goes.
    {hex("\"MThd\" 0000"), "unexpected end of file at 0x000000\n===="},
    {smf({"00 FF 2F"}), "st 0x000016 ---time 0000 R[FF] [2F] unexpected end of file at 0x000016\n"},
    {read_file(EXAMPLES "/demo.mid").substr(0, 170),
     "st 0x0000a7 ---time 0000 R[90] unexpected end of file at 0x0000a7\n=========="},
    {hex(kHead + "\"MTrk\" FFFFFFFF 00 FF 2F 00"), "mtrk size 4294967295 0xffffffff\n" + kToTheEnd},
    {hex(kHead + "\"MTrk\" FFFFFFF8 00 FF 2F 00"), "mtrk size 4294967288 0xfffffff8\n" + kToTheEnd},
    {hex(kHead + "\"MTrk\" 80000000 00 FF 2F 00"), "mtrk size 2147483648 0x80000000\n" + kToTheEnd},
    {hex(kHead + "\"XY\" 0000 FFFFFFF8 00 FF 2F 00"),
     "00000e not Mtrk\npos e ->fsize 1a\nunexpected end of file at 0x00000e\n"},
    // The first note of a track whose length reaches past the file ends the walk.
    {hex(kHead + "\"MTrk\" 00000064 00 90 3C 64 00 FF 2F 00"),
     "R[90] note 0ch 音  60 100\nunexpected end of file at 0x00000e\n"
     "========================================\ntempo=   0\n拍子 0/0\nCMIDI Conductor_Track= -1\n"
     "Track  0 (MIDI Track  1)   使用済    pos 0x00000e size 0x000064 \n(end)", kFirst},
    {smf({"00 FF 03 0C \"System Setup\"  00 FF 51 03 07 A1 20", "00 FF 03 0C \"System Setup\"",
          "00 C1 30  00 93 3C 64", "00 FF 03 0C \"system setup\"", "00 92 3C 00  00 95 3C 40"}, 6),
     "========================================\ntempo= 120\n拍子 0/0\nCMIDI Conductor_Track= 0\n"
     "Track  0 (MIDI Track  0) Conductor   pos 0x00000e size 0x000017 \n"
     "Track  1 (MIDI Track  0) SystemSetup pos 0x00002d size 0x000010 \n"
     "Track  2 (MIDI Track  4)   使用済    pos 0x000045 size 0x000007 String Ensemble 1\n"
     "Track  3 (MIDI Track  0)     -       pos 0x000054 size 0x000010 \n"
     "Track  4 (MIDI Track  6)   使用済    pos 0x00006c size 0x000008 \n"
     "Track  5 (MIDI Track  0)     -       pos 0x000000 size 0x000000 \n(end)"},
    {kTempoAfterANote,
     "tempo= 120\n拍子 3/4\nCMIDI Conductor_Track= 2\n"
     "Track  0 (MIDI Track  0)     -       pos 0x00000e size 0x00000c \n"
     "Track  1 (MIDI Track  1)   使用済    pos 0x000022 size 0x00000b \n"
     "Track  2 (MIDI Track  0) Conductor   pos 0x000035 size 0x00000f \n"
     "Track  3 (MIDI Track  0)     -       pos 0x00004c size 0x000011 Violin\n(end)", kFirst},
    {kTempoAfterANote, "CMIDI Conductor_Track= 1\nTrack  0 (MIDI Track  0)     -       pos 0x00000e "
                       "size 0x00000c \nTrack  1 (MIDI Track  1) Conductor   pos"},
    {smf({"00 80 3C 40  00 90 3C 64  00 C0 05", "00 FF 51 03 00 12 FC"}, 1),
     "tempo=12345\n拍子 0/0\nCMIDI Conductor_Track= 1\n"
     "Track  0 (MIDI Track  0)     -       pos 0x00000e size 0x00000b \n(end)", kFirst},
    {smf({"00 C0 05 00 06  00 9A 3C 64 00 3E 50", "00 FF 2F 00"}),
     "Track  0 (MIDI Track 11)   使用済    pos 0x00000e size 0x00000c Harpsichord\n"
     "Track  1 (MIDI Track  0)     -       pos 0x000022 size 0x000004 \n(end)", kRs},
};

TEST(Trace, WalksAsTheirLines) {
  for (const Row& row : kWalks)
    EXPECT_NE(printed(row.in, row.options).find(cp932(row.out)), std::string::npos) << row.out;
}

}  // namespace
