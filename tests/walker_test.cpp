// The walker on hostile input: every prefix and every one-byte change of a
// file that holds every kind of event ends the walk cleanly, never reading
// outside the image (the sanitizer build checks that), and cuts are reported
// at or before the end of the file. The traces themselves are pinned by the
// golden cases.
#include <gtest/gtest.h>

#include <cstring>

#include "capture.h"
#include "smf/walker.h"

namespace {

struct Walk {
  std::string printed;
  CMIDI rec;
};

// Walks `bytes` from a heap image of exactly their size.
Walk walk(const std::vector<uint8_t>& bytes, bool notes) {
  uint8_t* data = new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)];
  if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
  Walk w{};
  w.rec.fsize = static_cast<uint32_t>(bytes.size());
  w.rec.show_all_notes = notes ? 1 : 0;
  w.rec.Conductor_Track = -1;
  w.rec.System_Setup_Track = -1;
  const Image image{data, w.rec.fsize};
  w.printed = capture_stdout([&] { walk_smf(image, w.rec); });
  delete[] data;
  return w;
}

std::string last_line(const std::string& text) {
  const size_t end = text.size() - (text.empty() || text.back() != '\n' ? 0 : 1);
  const size_t start = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

// Two tracks with every kind of event, a chunk of another type between them.
const std::vector<uint8_t> kFile = hex(
    "4D546864 00000006 0001 0002 01E0"
    "4D54726B 0000003B 00 FF 03 02 41 42  81 00 F0 02 7E F7  00 B0 40 7F  00 C0 05  00 E0 00 40"
    "  00 FF 51 03 07 A1 20  00 FF 58 04 03 02 18 08  00 FF 59 02 FD 00  00 D0 10  00 90 3C 64"
    "  00 80 3C 00  00 FF 2F 00"
    "4A554E4B 00000002 0102"
    "4D54726B 00000004 00 FF 2F 00");

// A walk that ended: its last line closes a track or reports a cut inside
// the file, and the per-track entries describe real "MTrk" chunks.
void expect_clean_end(const std::vector<uint8_t>& bytes, const Walk& w, const std::string& what) {
  const std::string last = last_line(w.printed);
  const size_t cut = last.find("unexpected end of file at 0x");
  if (cut != std::string::npos) {
    EXPECT_LE(strtoul(last.c_str() + cut + 28, nullptr, 16), bytes.size()) << what;
  } else {
    const bool closed = last.rfind("pos ", 0) == 0 || last.rfind("pos=0x", 0) == 0 ||
                        last.find(" not Mtrk") != std::string::npos || w.printed.empty();
    EXPECT_TRUE(closed) << what << ": " << last;
  }
  for (uint32_t i = 0; i < w.rec.track_entries; ++i) {
    const TrackFacts& t = track_facts(w.rec, i);
    ASSERT_LE(uint64_t{t.track_pos} + 4, bytes.size()) << what;
    EXPECT_EQ(memcmp(bytes.data() + t.track_pos, "MTrk", 4), 0) << what;
  }
}

TEST(Walker, WalksTheWholeFile) {
  Walk w = walk(kFile, true);
  EXPECT_EQ(last_line(w.printed), "pos 67 ->fsize 67");
  EXPECT_EQ(w.rec.track_entries, 2u);
  EXPECT_EQ(w.rec.tempo, 120u);
  release_tracks(w.rec);
}

TEST(Walker, EndsCleanlyAtEveryPrefixOfAFile) {
  for (size_t size = 0; size <= kFile.size(); ++size) {
    const std::vector<uint8_t> prefix(kFile.begin(), kFile.begin() + static_cast<long>(size));
    for (bool notes : {false, true}) {
      Walk w = walk(prefix, notes);
      expect_clean_end(prefix, w, "prefix " + std::to_string(size));
      release_tracks(w.rec);
    }
  }
}

TEST(Walker, EndsCleanlyAfterAnyChangeOfOneByte) {
  for (size_t at = 0; at < kFile.size(); ++at) {
    for (int value : {0x00, 0x01, 0x7F, 0x80, 0x81, 0xF0, 0xFF}) {
      std::vector<uint8_t> changed = kFile;
      changed[at] = static_cast<uint8_t>(value);
      Walk w = walk(changed, true);
      expect_clean_end(changed, w, "byte " + std::to_string(at) + " = " + std::to_string(value));
      release_tracks(w.rec);
    }
  }
}

TEST(Walker, WalksNoEventOfAChunkWhoseEndWrapsAround) {
  Walk w = walk(hex("4D546864 00000006 0001 0001 01E0  4D54726B FFFFFFF8 00 FF 2F 00"), false);
  EXPECT_EQ(track_facts(w.rec, 0).track_size, 0xFFFFFFF8u);
  EXPECT_NE(w.printed.find("mtrk size 4294967288 0xfffffff8\npos 000016\npos 16 ->fsize 1a\n"),
            std::string::npos)
      << w.printed;
  EXPECT_EQ(last_line(w.printed), "unexpected end of file at 0x000016");
  release_tracks(w.rec);
}

}  // namespace
