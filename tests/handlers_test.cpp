#include <gtest/gtest.h>

#include <cstring>

#include "capture.h"
#include "smf/controllers.h"
#include "smf/meta.h"
#include "smf/programs.h"

namespace {

struct MetaRun {
  std::string printed;
  uint32_t count;
  MetaResult result;
};

MetaRun meta(const std::string& bytes) {
  const std::vector<uint8_t> b = hex(bytes);
  const Image image{b.data(), static_cast<uint32_t>(b.size())};
  MetaRun run{};
  run.printed = capture_stdout([&] { run.count = handle_meta(image, 0, &run.result); });
  return run;
}

struct MetaCase {
  const char* bytes;
  const char* printed;  // UTF-8
  uint32_t count;
};

TEST(HandleMeta, PrintsAndCountsEveryType) {
  const MetaCase cases[] = {
      {"FF 01 00", "[01] テキスト=\n", 3},
      {"FF 01 03 41 42 43", "[01] テキスト=ABC\n", 6},
      {"FF 02 02 28 63", "[02] 著作権表示=(c\n", 5},
      {"FF 03 05 50 69 61 6E 6F", "[03] シーケンス名=Piano\n", 8},
      {"FF 06 05 49 6E 74 72 6F", "[06] マーカー=Intro\n", 8},
      {"FF 03 04 41 00 42 43", "[03] シーケンス名=A\n", 7},  // up to the NUL
      {"FF 21 01 01", "[21] 出力ポートの指定 1\n", 4},
      {"FF 21 01 C8", "[21] 出力ポートの指定 200\n", 4},
      {"FF 2F 00", "[2F] トラック終端\n", 3},
      {"FF 51 03 07 A1 20", "[51] (0x07 0xa1 0x20)tempo=120\n", 6},
      {"FF 51 04 07 A1 20 99", "[51] (0x07 0xa1 0x20)tempo=120\n", 6},  // length byte ignored
      {"FF 51 03 0A 2C 2B", "[51] (0x0a 0x2c 0x2b)tempo=89\n", 6},
      {"FF 51 03 FF FF FF", "[51] (0xff 0xff 0xff)tempo=3\n", 6},
      {"FF 51 03 00 00 00", "[51] (0x00 0x00 0x00)tempo=0\n", 6},
      {"FF 58 04 06 03 18 08", "[58] 拍子=6/8\n", 7},
      {"FF 58 04 04 00 18 08", "[58] 拍子=4/1\n", 7},
      {"FF 58 04 00 02 18 08", "[58] 拍子=0/4\n", 7},
      {"FF 58 04 03 0F 18 08", "[58] 拍子=3/32768\n", 7},
      {"FF 58 04 03 10 18 08", "[58] 拍子=3/65536\n", 7},
      {"FF 58 04 03 1E 18 08", "[58] 拍子=3/1073741824\n", 7},
      {"FF 58 04 03 1F 18 08", "[58] 拍子=3/-2147483648\n", 7},
      {"FF 58 04 03 FF 18 08", "[58] 拍子=3/-2147483648\n", 7},
      {"FF 59 02 00 00", "[59] 調号=0 0 C M\n", 5},
      {"FF 59 02 FD 01", "[59] 調号=253 1 E♭ m\n", 5},
      {"FF 59 02 FA 00", "[59] 調号=250 0 B M\n", 5},
      {"FF 59 02 06 00", "[59] 調号=6 0 F M\n", 5},
      {"FF 59 02 FB 02", "[59] 調号=251 2 D♭ m\n", 5},
      {"FF 59 02 07 00", "[59] 調号=7 0 ---(out of -6～6 M\n", 5},
      {"FF 59 02 F9 01", "[59] 調号=249 1 ---(out of -6～6 m\n", 5},
      {"FF 59 02 80 00", "[59] 調号=128 0 ---(out of -6～6 M\n", 5},
      {"FF 04 05 41 42 43 44 45", "[04] ", 8},  // unhandled: tag alone, line open
      {"FF 7F 00", "[7F] ", 3},
      {"FF 00 02 00 01", "[00] ", 5},
  };
  for (const MetaCase& c : cases) {
    const MetaRun run = meta(c.bytes);
    EXPECT_EQ(run.printed, cp932(c.printed)) << c.bytes;
    EXPECT_EQ(run.count, c.count) << c.bytes;
  }
}

TEST(HandleMeta, ReportsOnlyWhatTheTypeCarries) {
  MetaRun run = meta("FF 03 0C 53 79 73 74 65 6D 20 53 65 74 75 70");
  EXPECT_STREQ(run.result.name, "System Setup");
  EXPECT_EQ(run.count, 15u);
  run = meta("FF 01 0C 53 79 73 74 65 6D 20 53 65 74 75 70");
  EXPECT_STREQ(run.result.name, "");
  run = meta("FF 51 03 07 A1 20");
  EXPECT_EQ(run.result.tempo, 120u);
  EXPECT_EQ(run.result.beat_numerator, 0);
  run = meta("FF 58 04 06 03 18 08");
  EXPECT_EQ(run.result.beat_numerator, 6);
  EXPECT_EQ(run.result.beat_denominator, 8);
  EXPECT_EQ(run.result.tempo, 0u);
  run = meta("FF 58 04 03 0F 18 08");
  EXPECT_EQ(run.result.beat_denominator, 32768);
  for (const char* cut : {"FF 58 04 03 10 18 08", "FF 58 04 03 1F 18 08", "FF 58 04 03 FF 18 08"}) {
    EXPECT_EQ(meta(cut).result.beat_denominator, 0) << cut;
  }
  run = meta("FF 51 03 00 00 00");
  EXPECT_EQ(run.result.tempo, 0u);
}

TEST(HandleMeta, TakesTheLengthByteUnsignedUpTo255) {
  std::string bytes = "FF 01 FF";
  std::string text;
  for (int i = 0; i < 255; ++i) {
    bytes += " 61";
    text += 'a';
  }
  MetaRun run = meta(bytes);
  EXPECT_EQ(run.count, 258u);
  EXPECT_EQ(run.printed, "[01] " + cp932("テキスト=") + text + "\n");
  bytes = "FF 03 81";
  for (int i = 0; i < 129; ++i) bytes += " 62";
  run = meta(bytes);
  EXPECT_EQ(run.count, 132u);
  EXPECT_EQ(strlen(run.result.name), 129u);
}

TEST(HandleMeta, NeverReadsPastTheImage) {
  // Each event cut one byte short: the tag is printed once the type is known,
  // nothing after it, and the count is 0.
  const char* whole[] = {"FF 01 03 41 42 43", "FF 21 01 01",          "FF 2F 00",
                         "FF 51 03 07 A1 20", "FF 58 04 06 03 18 08", "FF 59 02 00 00",
                         "FF 7F 02 00 01"};
  for (const char* w : whole) {
    std::vector<uint8_t> b = hex(w);
    for (size_t size = 0; size < b.size(); ++size) {
      std::vector<uint8_t> cut(b.begin(), b.begin() + static_cast<long>(size));
      const Image image{cut.data(), static_cast<uint32_t>(size)};
      MetaResult result{};
      uint32_t count = 99;
      const std::string printed = capture_stdout([&] { count = handle_meta(image, 0, &result); });
      EXPECT_EQ(count, 0u) << w << " cut to " << size;
      char tag[8];
      snprintf(tag, sizeof tag, "[%02X] ", b[1]);
      EXPECT_EQ(printed, size >= 2 ? std::string(tag) : std::string()) << w << " cut to " << size;
      EXPECT_EQ(result.tempo, 0u);
    }
  }
}

struct ControllerCase {
  const char* bytes;
  const char* printed;
};

TEST(ReportController, PrintsEveryNamedControllerAndNothingForOthers) {
  const ControllerCase cases[] = {
      {"B0 00 05", "バンクセレクトMSB (CC#0)\n"},
      {"B0 01 10", "モジュレーション 16\n"},
      {"B0 06 40", "データ・エントリー MSB 64\n"},
      {"B0 07 64", "ボリューム 100\n"},
      {"B0 07 C8", "ボリューム 200\n"},
      {"B5 0A 40", "PANPOT 64\n"},
      {"B0 0B 7F", "エクスプレッション(Expression) 127\n"},
      {"B0 20 05", "バンクセレクトLSB (CC#32)\n"},
      {"B0 26 01", "データ・エントリー LSB 1\n"},
      {"B0 5B 28", "CC)リバーブ 40\n"},
      {"B3 5C 28", "未定義 (0x5c40\n"},
      {"B0 5D 00", "未定義 (0x5d0\n"},
      {"B0 5F 7F", "未定義 (0x5f127\n"},
      {"B0 63 05", "未定義(0x63) 5\n"},
      {"B0 64 00", "unknown(#100(0x64)) 0x0 0\n"},
      {"B0 65 7F", "unknown(#101(0x65)) 0x7f 127\n"},
      {"B0 79 00", "リセットオールコントローラー (CC#121)\n"},
      {"B0 40 7F", ""},
      {"B0 5E 01", ""},
      {"B0 62 01", ""},
      {"BF FF FF", ""},
      {"90 07 64", ""},  // not a control change
      {"C0 07 64", ""},
  };
  for (const ControllerCase& c : cases) {
    const std::vector<uint8_t> b = hex(c.bytes);
    const Image image{b.data(), 3};
    uint32_t count = 0;
    const std::string printed = capture_stdout([&] { count = report_controller(image, 0); });
    EXPECT_EQ(printed, cp932(c.printed)) << c.bytes;
    EXPECT_EQ(count, 3u) << c.bytes;
  }
}

TEST(ReportController, CountsNothingWhenCutShort) {
  const std::vector<uint8_t> b = hex("B0 07 64");
  for (uint32_t size = 0; size < 3; ++size) {
    const Image image{b.data(), size};
    uint32_t count = 99;
    EXPECT_EQ(capture_stdout([&] { count = report_controller(image, 0); }), "");
    EXPECT_EQ(count, 0u);
  }
}

TEST(ProgramNames, HoldsTheGeneralMidiNamesAndAPlaceholderAbove127) {
  EXPECT_STREQ(program_name(0), "Acoustic Piano");
  EXPECT_STREQ(program_name(19), "Church organ");
  EXPECT_STREQ(program_name(24), "Acoustic Guitar (nylon)");
  EXPECT_STREQ(program_name(48), "String Ensemble 1");
  EXPECT_STREQ(program_name(87), "Lead 8 (bass + lead)");
  EXPECT_STREQ(program_name(127), "Gunshot");
  size_t longest = 0;
  for (int p = 0; p < 128; ++p) {
    ASSERT_NE(program_names[p], nullptr);
    const size_t n = strlen(program_names[p]);
    EXPECT_GE(n, 4u) << p;
    longest = std::max(longest, n);
  }
  EXPECT_EQ(longest, 23u);
  // The placeholder is printed as code page 932 bytes: "～" is 81 60.
  EXPECT_EQ(std::string(program_name(128)),
            "---(out of 0\x81\x60"
            "127");
  EXPECT_STREQ(program_name(255), program_name(128));
}

TEST(Cp932Texts, ArePrintedAsTheirCodePageBytes) {
  // Pinned bytes, independent of the conversion used elsewhere in the tests.
  EXPECT_EQ(std::string(key_names[3]), "E\x81\xF3");  // E flat
  EXPECT_EQ(std::string(key_names[1]), "D\x81\xF3");
  EXPECT_EQ(meta("FF 59 02 07 00").printed,
            "[59] \x92\xB2\x8D\x86=7 0 ---(out of -6\x81\x60"
            "6 M\n");
  EXPECT_EQ(meta("FF 2F 00").printed, "[2F] \x83\x67\x83\x89\x83\x62\x83\x4E\x8F\x49\x92\x5B\n");
}

}  // namespace
