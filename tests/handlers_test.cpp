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
  uint32_t count;
  uint32_t tempo;
  uint16_t numerator, denominator;
};

// The texts are pinned by the golden cases; here: what each type reports to
// the walker and how far it moves it.
TEST(HandleMeta, CountsEachTypeAndReportsOnlyWhatItCarries) {
  const MetaCase cases[] = {
      {"FF 01 00", 3, 0, 0, 0},
      {"FF 02 02 28 63", 5, 0, 0, 0},
      {"FF 21 01 C8", 4, 0, 0, 0},
      {"FF 2F 00", 3, 0, 0, 0},
      {"FF 51 04 07 A1 20 99", 6, 120, 0, 0},  // the length byte is not used
      {"FF 51 03 0A 2C 2B", 6, 89, 0, 0},
      {"FF 51 03 FF FF FF", 6, 3, 0, 0},
      {"FF 51 03 00 00 00", 6, 0, 0, 0},  // no beats per minute: no tempo
      {"FF 58 04 06 03 18 08", 7, 0, 6, 8},
      {"FF 58 04 00 02 18 08", 7, 0, 0, 4},
      {"FF 58 04 03 0F 18 08", 7, 0, 3, 32768},
      {"FF 58 04 03 10 18 08", 7, 0, 3, 0},
      {"FF 58 04 03 1F 18 08", 7, 0, 3, 0},
      {"FF 58 00 03 FF", 7, 0, 3, 0},
      {"FF 59 02 FD 01", 5, 0, 0, 0},
      {"FF 04 05 41 42 43 44 45", 8, 0, 0, 0},
      {"FF 7F 00", 3, 0, 0, 0},
  };
  for (const MetaCase& c : cases) {
    std::vector<uint8_t> b = hex(c.bytes);
    b.resize(std::max<size_t>(b.size(), c.count));
    const Image image{b.data(), static_cast<uint32_t>(b.size())};
    MetaResult result{};
    uint32_t count = 0;
    capture_stdout([&] { count = handle_meta(image, 0, &result); });
    EXPECT_EQ(count, c.count) << c.bytes;
    EXPECT_EQ(result.tempo, c.tempo) << c.bytes;
    EXPECT_EQ(result.beat_numerator, c.numerator) << c.bytes;
    EXPECT_EQ(result.beat_denominator, c.denominator) << c.bytes;
    EXPECT_STREQ(result.name, "") << c.bytes;
  }
  EXPECT_STREQ(meta("FF 03 0C 53 79 73 74 65 6D 20 53 65 74 75 70").result.name, "System Setup");
  EXPECT_STREQ(meta("FF 03 04 41 00 42 43").result.name, "A");  // up to the NUL
  EXPECT_STREQ(meta("FF 01 0C 53 79 73 74 65 6D 20 53 65 74 75 70").result.name, "");
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

TEST(ReportController, CountsThreeBytesForAnyStatusAndController) {
  for (const char* bytes : {"B0 07 C8", "B0 40 7F", "BF FF FF", "90 07 64", "C0 5C 28"}) {
    const std::vector<uint8_t> b = hex(bytes);
    const Image image{b.data(), 3};
    uint32_t count = 0;
    const std::string printed = capture_stdout([&] { count = report_controller(image, 0); });
    EXPECT_EQ(count, 3u) << bytes;
    EXPECT_EQ(printed.empty(), b[0] != 0xB0 || b[1] == 0x40 || b[1] == 0xFF) << bytes;
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
