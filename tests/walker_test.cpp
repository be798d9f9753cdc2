#include "smf/walker.h"

#include <gtest/gtest.h>

#include <cstring>

#include "capture.h"
#include "smf/programs.h"

namespace {

struct Walk {
  std::string printed;
  CMIDI rec;
};

// Walks `bytes` from an image of exactly their size.
Walk walk(const std::vector<uint8_t>& bytes, bool notes = false) {
  // A heap copy of exactly the file's size, so a sanitizer sees any overread.
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

Walk walk(const std::string& hex_text, bool notes = false) { return walk(hex(hex_text), notes); }

std::string header(int tracks) {
  char text[64];
  snprintf(text, sizeof text, "4D546864 00000006 0001 %04X 01E0 ", tracks);
  return text;
}

// An "MTrk" chunk around the given event bytes.
std::string track(const std::string& events) {
  char length[16];
  snprintf(length, sizeof length, "%08zX ", hex(events).size());
  return "4D54726B " + std::string(length) + events + " ";
}

const char* kEnd = "00 FF 2F 00";
const char* kName = "00 FF 03 0C 53 79 73 74 65 6D 20 53 65 74 75 70";  // "System Setup"
const char* kTempo120 = "00 FF 51 03 07 A1 20";

std::string last_line(const std::string& text) {
  const size_t end = text.size() && text.back() == '\n' ? text.size() - 1 : text.size();
  const size_t start = text.rfind('\n', end - 1);
  return text.substr(start == std::string::npos ? 0 : start + 1,
                     end - (start == std::string::npos ? 0 : start + 1));
}

TEST(Walker, TracesTheSmallestFileLineByLine) {
  Walk w = walk("4D546864 00000006 0000 0001 01E0  4D54726B 00000004 00 FF 2F 00");
  EXPECT_EQ(w.printed,
            "MThd\n"
            "ReadMThd size 6\n"
            "ReadMThd formatid 0\n"
            "ReadMThd track count 1\n"
            "ReadMThd deltatime 480\n"
            "pos=0xe\n"
            "========================================\n"
            "0)MTrk (0x00000e) track_no 00\n"
            "========================================\n"
            "mtrk size        4 0x000004\n"
            "st 0x000016 ---time 0000 R[FF] [2F] " +
                cp932("トラック終端") +
                "\n"
                "pos 00001a\n"
                "pos 1a ->fsize 1a\n");
  EXPECT_EQ(w.rec.FormatID, 0);
  EXPECT_EQ(w.rec.Track_Count, 1);
  EXPECT_EQ(w.rec.Delta_Time, 480);
  EXPECT_EQ(track_facts(w.rec, 0).track_pos, 14u);
  EXPECT_EQ(track_facts(w.rec, 0).track_size, 4u);
  release_tracks(w.rec);
}

TEST(Walker, SkipsTheHeaderByItsLengthAndOtherChunksByTheirs) {
  Walk w = walk("4D546864 0000000A 0001 0002 01E0 AABBCCDD " + track(kEnd) +
                "58595A57 00000003 010203 " + track(kEnd));
  EXPECT_NE(w.printed.find("pos=0x12\n"), std::string::npos);
  EXPECT_EQ(track_facts(w.rec, 0).track_pos, 18u);
  EXPECT_NE(w.printed.find("00001e not Mtrk\npos 1e ->fsize 35\n"), std::string::npos) << w.printed;
  EXPECT_EQ(track_facts(w.rec, 1).track_pos, 41u);
  EXPECT_EQ(w.rec.track_entries, 2u);
  EXPECT_EQ(last_line(w.printed), "pos 35 ->fsize 35");
  release_tracks(w.rec);
}

TEST(Walker, StopsATrackAtItsFirstNoteUnlessAskedForAll) {
  const std::string file = header(2) +
                           track(
                               "00 FF 03 01 41  00 C3 28  00 93 3C 64  00 FF 51 03 07 A1 20  "
                               "00 93 3E 64  00 92 40 00 " +
                               std::string(kEnd)) +
                           track(std::string(kTempo120) + " " + kEnd);
  Walk first = walk(file);
  EXPECT_EQ(first.rec.tempo, 120u);
  EXPECT_EQ(first.rec.Conductor_Track, 1);  // the tempo of track 0 lies after its first note
  EXPECT_STREQ(track_facts(first.rec, 0).track_program, "Violin");
  EXPECT_EQ(track_facts(first.rec, 0).track_channel, 4);
  EXPECT_EQ(track_facts(first.rec, 0).track_used, 1);
  EXPECT_EQ(first.printed.find("R[FF] [51] (0x07 0xa1 0x20)tempo=120\nst 0x00002"),
            std::string::npos);
  EXPECT_NE(first.printed.find("pos 000035\n"), std::string::npos) << first.printed;  // chunk end

  Walk all = walk(file, true);
  EXPECT_EQ(all.rec.Conductor_Track, 0);
  EXPECT_EQ(track_facts(all.rec, 0).track_channel, 3);  // velocity 0 is still a note on
  release_tracks(first.rec);
  release_tracks(all.rec);
}

TEST(Walker, ANoteOffFirstEndsTheTrackWithoutMarkingItUsed) {
  Walk w = walk(header(1) + track("00 85 3C 40  00 95 3C 64 " + std::string(kEnd)));
  EXPECT_EQ(track_facts(w.rec, 0).track_used, 0);
  EXPECT_EQ(track_facts(w.rec, 0).track_channel, 0);
  EXPECT_NE(w.printed.find(cp932("R[85] note off 5ch 音 60 64\npos 000022\n")), std::string::npos);
  release_tracks(w.rec);
}

TEST(Walker, KeepsTheFirstTempoTrackAndTheLastTempoAndTimeSignature) {
  Walk w =
      walk(header(3) + track("00 FF 51 03 0F 42 40  00 FF 58 04 03 02 18 08 " + std::string(kEnd)) +
           track("00 FF 58 04 00 03 18 08 " + std::string(kEnd)) +  // numerator 0: ignored
           track(std::string(kTempo120) + " " + kEnd));
  EXPECT_EQ(w.rec.tempo, 120u);
  EXPECT_EQ(w.rec.Conductor_Track, 0);
  EXPECT_EQ(w.rec.beat_numerator, 3);
  EXPECT_EQ(w.rec.beat_denominator, 4);
  release_tracks(w.rec);
}

TEST(Walker, TakesAZeroTempoAsNoTempo) {
  Walk w = walk(header(1) + track("00 FF 51 03 00 00 00 " + std::string(kEnd)));
  EXPECT_EQ(w.rec.tempo, 0u);
  EXPECT_EQ(w.rec.Conductor_Track, -1);
  release_tracks(w.rec);
}

TEST(Walker, FindsTheLastTrackNamedExactlySystemSetup) {
  Walk w = walk(header(5) + track(std::string(kName) + " " + kEnd) +
                track(std::string(kName) + " " + kEnd) +
                track("00 FF 03 0D 53 79 73 74 65 6D 20 53 65 74 75 70 20 " + std::string(kEnd)) +
                track("00 FF 03 0C 73 79 73 74 65 6D 20 73 65 74 75 70 " + std::string(kEnd)) +
                track("00 FF 01 0C 53 79 73 74 65 6D 20 53 65 74 75 70 " + std::string(kEnd)));
  EXPECT_EQ(w.rec.System_Setup_Track, 1);
  release_tracks(w.rec);
}

TEST(Walker, StepsOverEveryKindOfEventByItsSize) {
  // Two-byte delta times before a program change, a pitch bend and a sysex of
  // 128 bytes; an unknown status and channel pressure take two bytes each.
  std::string sysex = "81 00 F0 81 00";
  for (int i = 0; i < 128; ++i) sysex += " 7F";
  Walk w = walk(header(1) + track("81 00 C0 13  81 00 E0 00 40  " + sysex +
                                  "  00 3C 64  00 D0 10  00 A0 3C  00 F7 00  " + kEnd),
                true);
  EXPECT_STREQ(track_facts(w.rec, 0).track_program, "Church organ");
  const std::string tail = "st 0x00001f ---time 0128 R[F0] " + cp932("システムエクスクルーシブ") +
                           " \n"
                           "st 0x0000a4 ---time 0000 R[3C] Track Event unknown 3C\n"
                           "st 0x0000a7 ---time 0000 R[D0] Track Event unknown D0\n"
                           "st 0x0000aa ---time 0000 R[A0] Track Event unknown A0\n"
                           "st 0x0000ad ---time 0000 R[F7] Track Event unknown F7\n"
                           "st 0x0000b0 ---time 0000 R[FF] [2F] ";
  EXPECT_NE(w.printed.find(tail), std::string::npos) << w.printed;
  release_tracks(w.rec);
}

TEST(Walker, RecordsEveryTrackBeyondThirtySix) {
  std::string file = header(40);
  for (int i = 0; i < 42; ++i) {
    char events[64];
    snprintf(events, sizeof events, "00 C0 %02X 00 9%X 3C 64 ", i, i % 16);
    file += track(events + std::string(kEnd));
  }
  Walk w = walk(file);
  ASSERT_EQ(w.rec.track_entries, 42u);
  for (uint32_t i = 0; i < 42; ++i) {
    EXPECT_EQ(track_facts(w.rec, i).track_pos, 14 + 19 * i) << i;
    EXPECT_EQ(track_facts(w.rec, i).track_channel, static_cast<int32_t>(i % 16 + 1)) << i;
    EXPECT_STREQ(track_facts(w.rec, i).track_program, program_name(static_cast<uint8_t>(i)));
  }
  EXPECT_NE(w.printed.find("41)MTrk (0x000319) track_no 41\n"), std::string::npos);
  release_tracks(w.rec);
}

TEST(Walker, EndsAtTheFirstItemThatRunsPastTheFile) {
  struct Cut {
    std::string file;
    const char* last;  // the walk's last line
  };
  const std::string h = header(1);
  const Cut cuts[] = {
      {"4D546864 000000", "unexpected end of file at 0x000000"},
      {"4D546864 00000008 0001 0001 01E0", "unexpected end of file at 0x000000"},
      {h + "4D54726B 0000", "unexpected end of file at 0x00000e"},
      {h + "41424344 00000010 00", "unexpected end of file at 0x00000e"},
      {h + "4D54726B 00000010", "st 0x000016 ---unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 81", "st 0x000016 ---unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00", "st 0x000016 ---time 0000 unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 90 3C",
       "st 0x000016 ---time 0000 R[90] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 FF",
       "st 0x000016 ---time 0000 R[FF] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 FF 51 03 07 A1",
       "st 0x000016 ---time 0000 R[FF] [51] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 F0 81",
       "st 0x000016 ---time 0000 R[F0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 F0 03 01 02",
       "st 0x000016 ---time 0000 R[F0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 C0",
       "st 0x000016 ---time 0000 R[C0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 E0 00",
       "st 0x000016 ---time 0000 R[E0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 B0 07",
       "st 0x000016 ---time 0000 R[B0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 A0",
       "st 0x000016 ---time 0000 R[A0] unexpected end of file at 0x000016"},
      {h + "4D54726B 00000010 00 90 3C 64 00", "unexpected end of file at 0x00000e"},  // note rule
  };
  for (const Cut& c : cuts) {
    Walk w = walk(c.file);
    EXPECT_EQ(last_line(w.printed), c.last) << c.file;
    release_tracks(w.rec);
  }
}

TEST(Walker, EndsCleanlyAtEveryPrefixOfAFile) {
  const std::vector<uint8_t> file =
      hex(header(2) +
          track("00 FF 03 02 41 42 81 00 F0 02 7E F7 00 B0 40 7F 00 C0 05 00 E0 00 40 " +
                std::string(kTempo120) + " 00 FF 58 04 03 02 18 08 00 FF 59 02 FD 00 00 90 3C 64 " +
                kEnd) +
          "4A554E4B 00000002 0102 " + track(kEnd));
  for (size_t size = 0; size <= file.size(); ++size) {
    for (bool notes : {false, true}) {
      Walk w =
          walk(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(size)), notes);
      const std::string last = last_line(w.printed);
      const bool cut = last.find("unexpected end of file at 0x") != std::string::npos;
      const bool whole = last.rfind("pos ", 0) == 0 && last.find("->fsize") != std::string::npos;
      const bool header_only = last.rfind("pos=0x", 0) == 0;
      EXPECT_TRUE(cut || whole || header_only || size == 0) << size << ": " << last;
      if (cut) {
        const unsigned long at = strtoul(last.c_str() + last.size() - 6, nullptr, 16);
        EXPECT_LE(at, size) << size;
      }
      release_tracks(w.rec);
    }
  }
}

TEST(Walker, WalksAnEmptyFileAndAFileOfTracksAlone) {
  Walk empty = walk(std::vector<uint8_t>{});
  EXPECT_EQ(empty.printed, "pos=0x0\n");
  Walk tracks = walk(track(kEnd));
  EXPECT_EQ(tracks.rec.Track_Count, 0);
  EXPECT_EQ(track_facts(tracks.rec, 0).track_pos, 0u);
  EXPECT_EQ(tracks.rec.track_entries, 1u);
  EXPECT_EQ(tracks.printed.rfind("pos=0x0\n", 0), 0u);
  release_tracks(tracks.rec);
}

TEST(Walker, WalksNoEventOfAChunkWhoseEndWrapsAround) {
  Walk w = walk(header(1) + "4D54726B FFFFFFF8 " + kEnd);
  EXPECT_EQ(track_facts(w.rec, 0).track_size, 0xFFFFFFF8u);
  EXPECT_NE(w.printed.find("mtrk size 4294967288 0xfffffff8\npos 000016\npos 16 ->fsize 1a\n"),
            std::string::npos)
      << w.printed;
  EXPECT_EQ(last_line(w.printed), "unexpected end of file at 0x000016");
  release_tracks(w.rec);
}

}  // namespace
