// The program's formatter against the C runtime's snprintf: every format the
// program prints, with boundary and pseudo-random values.
#include "smf/out.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "capture.h"

namespace {

// Values for the arguments: first every boundary value in turn, then
// pseudo-random ones of every magnitude.
struct Values {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  size_t turn = 0;

  uint64_t next_raw() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 11;
  }
  uint64_t pick(std::initializer_list<uint64_t> edges) {
    const size_t i = turn++;
    if (i < edges.size() * 3) return edges.begin()[i % edges.size()];
    const uint64_t r = next_raw();
    return r >> (r % 53);  // small numbers as often as large ones
  }
  int i32() {
    return static_cast<int>(pick({0, 1, 9, 10, 99, 100, 255, 256, 65535, 65536, 0x7FFFFFFF,
                                  0x80000000, 0xFFFFFFFF, 0xFFFFFF9C}));
  }
  unsigned u32() {
    return static_cast<unsigned>(pick({0, 1, 15, 16, 255, 256, 65535, 0xFFFFFFFF}));
  }
  unsigned long ul() {
    return pick({0, 1, 9, 10, 0xFFFFF, 0xFFFFFF, 0x1000000, 0xFFFFFFFF, 0x100000000, ULONG_MAX,
                 ULONG_MAX / 2, ULONG_MAX / 2 + 1});
  }
  long sl() { return static_cast<long>(ul()); }
  const char* text() {
    static const std::string texts[] = {"",
                                        "C",
                                        "E\x81\xF3",
                                        "Acoustic Guitar (nylon)",
                                        std::string(255, 'a'),
                                        std::string(300, '\xFE'),
                                        std::string(1000, 'm'),
                                        std::string(1023, 'k'),
                                        std::string(5000, 'n')};
    return texts[pick({0}) % 9].c_str();
  }
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-truncation"
// Prints through the program's formatter and appends what snprintf makes of
// the same format and values to `want`.
template <outfmt::Format F, typename... A>
void both(std::string& want, A... a) {
  out<F>(a...);
  const int n = snprintf(nullptr, 0, F.text, a...);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  snprintf(text.data(), text.size(), F.text, a...);
  want.append(text.data(), static_cast<size_t>(n));
}
#pragma GCC diagnostic pop

#define EVENT_PREFIX \
  "st 0x%06lx ---"   \
  "time %04lu "      \
  "R[%02X] "

// Every format of the program with one set of values.
void all_formats(Values& v, std::string& want) {
  both<"%c%c%c%c\n">(want, 'M', 'T', v.i32() & 0xFF, 0);
  both<"ReadMThd size %lu\n">(want, v.ul());
  both<"ReadMThd formatid %u\n">(want, v.u32());
  both<"pos=0x%lx\n">(want, v.ul());
  both<"%d)MTrk (0x%06lx) ">(want, v.i32(), v.ul());
  both<"track_no %02d\n">(want, v.i32());
  both<"mtrk size %8lu 0x%06lx\n">(want, v.ul(), v.ul());
  both<"pos %06lx\n">(want, v.ul());
  both<"pos %lx ->fsize %lx\n">(want, v.ul(), v.ul());
  both<"%06lx not Mtrk\n">(want, v.ul());
  both<"st 0x%06lx ---">(want, v.ul());
  both<"time %04lu ">(want, v.ul());
  both<EVENT_PREFIX>(want, v.ul(), v.ul(), v.u32());
  both<EVENT_PREFIX "program change (楽器) %d (%x) %s \n">(want, v.ul(), v.ul(), v.u32(), v.i32(),
                                                           v.u32(), v.text());
  both<EVENT_PREFIX
       "Ex "
       "ピッチ・ベンド・チェンジ 0x%02x 0x%02x\n">(want, v.ul(), v.ul(), v.u32(), v.u32(), v.u32());
  both<EVENT_PREFIX "note off %dch 音 %2d %2d\n">(want, v.ul(), v.ul(), v.u32(), v.i32(), v.i32(),
                                                  v.i32());
  both<EVENT_PREFIX "note %dch 音 %3d %3d\n">(want, v.ul(), v.ul(), v.u32(), v.i32(), v.i32(),
                                              v.i32());
  both<EVENT_PREFIX "Track Event unknown %02X\n">(want, v.ul(), v.ul(), v.u32(), v.u32());
  both<"[%02X] ">(want, v.u32());
  both<"テキスト=%s\n">(want, v.text());
  both<"出力ポートの指定 %d\n">(want, v.i32());
  both<"(0x%02x 0x%02x 0x%02x)">(want, v.u32(), v.u32(), v.u32());
  both<"tempo=%lu\n">(want, v.ul());
  both<"拍子=%d/%d\n">(want, v.i32(), v.i32());
  both<"調号=%d %d %s %s\n">(want, v.i32(), v.i32(), v.text(), v.text());
  both<"未定義 (0x%x%d\n">(want, v.u32(), v.i32());
  both<"未定義(0x%x) %d\n">(want, v.u32(), v.i32());
  both<"unknown(#100(0x64)) 0x%x %d\n">(want, v.u32(), v.i32());
  both<"tempo=%4lu\n">(want, v.ul());
  both<"CMIDI Conductor_Track= %d\n">(want, v.i32());
  both<"Track %2d (MIDI Track %2d) %s pos 0x%06lx size 0x%06lx %s\n">(
      want, v.i32(), v.i32(), v.text(), v.ul(), v.ul(), v.text());
  both<"%d MIDIファイル %s\n">(want, v.i32(), v.text());
  both<"fs %ld\n">(want, v.sl());
  both<"newtempofn=%s\n">(want, v.text());
  both<"newtempocalc %lu\n">(want, v.ul());
  both<"%x %x %x\n">(want, v.u32(), v.u32(), v.u32());
  both<"unexpected end of file at 0x%06lx\n">(want, v.ul());
  both<"ReadMThd track count %u\n">(want, v.u32());
  both<"ReadMThd deltatime %u\n">(want, v.u32());
  both<EVENT_PREFIX "システムエクスクルーシブ \n">(want, v.ul(), v.ul(), v.u32());
  both<"著作権表示=%s\n">(want, v.text());
  both<"シーケンス名=%s\n">(want, v.text());
  both<"マーカー=%s\n">(want, v.text());
  both<"トラック終端\n">(want);
  both<"モジュレーション %d\n">(want, v.i32());
  both<"データ・エントリー MSB %d\n">(want, v.i32());
  both<"データ・エントリー LSB %d\n">(want, v.i32());
  both<"ボリューム %d\n">(want, v.i32());
  both<"PANPOT %d\n">(want, v.i32());
  both<"エクスプレッション(Expression) %d\n">(want, v.i32());
  both<"CC)リバーブ %d\n">(want, v.i32());
  both<"unknown(#101(0x65)) 0x%x %d\n">(want, v.u32(), v.i32());
  both<"バンクセレクトMSB (CC#0)\n">(want);
  both<"バンクセレクトLSB (CC#32)\n">(want);
  both<"リセットオールコントローラー (CC#121)\n">(want);
  both<"拍子 %d/%d\n">(want, v.i32(), v.i32());
  both<"FormatID %d\n">(want, v.i32());
  both<"Track_Count %d\n">(want, v.i32());
  both<"Delta_Time %d\n">(want, v.i32());
  both<"CMIDI.Track_Count %d\n">(want, v.i32());
  both<"\nsmfscope v0.02 オプション\n">(want);
  both<"-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n">(want);
  both<"テンポ入力=">(want);
  both<"テンポ情報があります\n">(want);
  both<"オプションにテンポが見つかりません\n">(want);
  both<"========================================\n">(want);
}

TEST(Out, PrintsEveryFormatOfTheProgramAsPrintfDoes) {
  for (bool libc : {false, true}) {
    out_use_libc(libc);
    Values values;
    std::string want;
    const std::string got = capture_stdout([&] {
      for (int round = 0; round < 3000; ++round) all_formats(values, want);
    });
    out_use_libc(false);
    ASSERT_EQ(got.size(), want.size()) << "libc " << libc;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i], want[i]) << "first difference at " << i << ": "
                                 << want.substr(want.rfind('\n', i) + 1, 80);
    }
  }
}

TEST(Out, PadsNegativeNumbersAndAllWidthsAsPrintfDoes) {
  std::string want;
  const std::string got = capture_stdout([&] {
    for (int v : {0, 5, -5, 42, -42, 12345, -12345, INT_MIN, INT_MAX}) {
      both<"[%d|%1d|%2d|%3d|%4d|%8d]\n">(want, v, v, v, v, v, v);
      both<"[%02d|%04d|%08d|%c]\n">(want, v, v, v, v);
      both<"[%x|%2x|%02X|%06x|%8X|%u|%3u|%010u]\n">(want, v, v, v, v, v, v, v, v);
      both<"[%ld|%8ld|%06ld|%lu|%lx|%08lx]\n">(
          want, long{v}, long{v}, long{v}, static_cast<unsigned long>(v),
          static_cast<unsigned long>(v), static_cast<unsigned long>(v));
    }
  });
  EXPECT_EQ(got, want);
}

TEST(Out, PrintsTextsLongerThanALineWholeAndInOrder) {
  const std::string path = std::string(3000, 'p') + "/song.mid";
  std::string want;
  const std::string got = capture_stdout([&] {
    both<"%d MIDIファイル %s\n">(want, 7, path.c_str());
    printf("between\n");
    want += "between\n";
    both<"%s|%s|%s\n">(want, path.c_str(), "x", path.c_str());
  });
  EXPECT_EQ(got, want);
}

}  // namespace
