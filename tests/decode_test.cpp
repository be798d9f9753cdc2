#include "smf/decode.h"

#include <gtest/gtest.h>

#include "capture.h"
#include "smf/image.h"
#include "smf/record.h"

namespace {

struct VlqCase {
  const char* bytes;
  uint32_t avail;  // 0: all the bytes given
  uint32_t value;
  int32_t count;
};

TEST(DecodeVlq, DecodesOneToFourBytesAndStopsAtFour) {
  const VlqCase cases[] = {
      {"00", 0, 0, 1},
      {"7F", 0, 127, 1},
      {"81 00", 0, 128, 2},
      {"FF 7F", 0, 16383, 2},
      {"83 60 99", 0, 480, 2},  // the byte after the quantity is not taken
      {"81 80 00", 0, 16384, 3},
      {"FF FF FF 7F", 0, 268435455, 4},
      {"81 81 81 81 05", 0, 2113665, 4},  // no end byte within four: stops all the same
      {"FF FF FF FF", 0, 268435455, 4},
  };
  for (const VlqCase& c : cases) {
    const std::vector<uint8_t> b = hex(c.bytes);
    int32_t count = -1;
    const uint32_t avail = c.avail ? c.avail : static_cast<uint32_t>(b.size());
    EXPECT_EQ(decode_vlq(b.data(), avail, &count), c.value) << c.bytes;
    EXPECT_EQ(count, c.count) << c.bytes;
  }
}

TEST(DecodeVlq, ReportsAQuantityThatRunsPastTheReadableBytes) {
  const std::vector<uint8_t> b = hex("81 81 81 00");
  for (uint32_t avail = 0; avail < 4; ++avail) {
    int32_t count = -1;
    EXPECT_EQ(decode_vlq(b.data(), avail, &count), 0u);
    EXPECT_EQ(count, 0) << avail;
  }
  int32_t count = -1;
  EXPECT_EQ(decode_vlq(b.data(), 4, &count), 0x204080u);
  EXPECT_EQ(count, 4);
  // A complete quantity needs no more bytes than it has.
  const std::vector<uint8_t> two = hex("81 00");
  EXPECT_EQ(decode_vlq(two.data(), 2, &count), 128u);
  EXPECT_EQ(count, 2);
}

TEST(BigEndian, ReadsUnsignedNumbers) {
  const std::vector<uint8_t> b = hex("01 E0 FF FF 80 00 00 01");
  EXPECT_EQ(get_be16(b.data()), 480);
  EXPECT_EQ(get_be16(b.data() + 2), 65535);
  EXPECT_EQ(get_be32(b.data() + 4), 0x80000001u);
  EXPECT_EQ(get_be32(b.data() + 2), 0xFFFF8000u);
}

TEST(DecodeHeader, TakesEveryFieldAsStored) {
  const std::vector<uint8_t> b = hex("4D546864 0000000A 0001 0028 01E0");
  HeaderChunk h{};
  EXPECT_EQ(decode_header(b.data(), &h), 0);
  EXPECT_EQ(std::string(h.id, 4), "MThd");
  EXPECT_EQ(h.length, 10u);
  EXPECT_EQ(h.format, 1);
  EXPECT_EQ(h.ntrks, 40);
  EXPECT_EQ(h.division, 480);
}

TEST(BytesAt, AllowsExactlyTheBytesOfTheImage) {
  const uint8_t data[10] = {};
  const Image image{data, 10};
  EXPECT_EQ(bytes_at(image, 0, 10), data);
  EXPECT_EQ(bytes_at(image, 10, 0), data + 10);
  EXPECT_EQ(bytes_at(image, 0, 11), nullptr);
  EXPECT_EQ(bytes_at(image, 9, 2), nullptr);
  EXPECT_EQ(bytes_at(image, 11, 0), nullptr);
  // Sums that would wrap in 32 or 64 bits are still out.
  EXPECT_EQ(bytes_at(image, 8, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(bytes_at(image, 0xFFFFFFFFu, 2), nullptr);
  EXPECT_EQ(bytes_at(image, 2, UINT64_MAX), nullptr);
}

TEST(TrackTable, GrowsClearedAndReadsClearedBeyondItsEntries) {
  CMIDI rec{};
  EXPECT_EQ(track_facts(rec, 0).track_pos, 0u);
  TrackFacts* first = track_slot(rec, 0);
  ASSERT_NE(first, nullptr);
  first->track_pos = 14;
  TrackFacts* far = track_slot(rec, 1000);
  ASSERT_NE(far, nullptr);
  far->track_size = 7;
  EXPECT_EQ(rec.track_entries, 1001u);
  EXPECT_EQ(track_facts(rec, 0).track_pos, 14u);
  EXPECT_EQ(track_facts(rec, 1000).track_size, 7u);
  for (uint32_t i = 1; i < 1000; ++i) {
    const TrackFacts& f = track_facts(rec, i);
    ASSERT_TRUE(f.track_pos == 0 && f.track_size == 0 && f.track_channel == 0 &&
                f.track_used == 0 && f.track_program == nullptr)
        << i;
  }
  EXPECT_EQ(track_facts(rec, 1001).track_size, 0u);
  EXPECT_EQ(track_facts(rec, 65535).track_program, nullptr);
  release_tracks(rec);
  EXPECT_EQ(rec.track_entries, 0u);
}

}  // namespace
