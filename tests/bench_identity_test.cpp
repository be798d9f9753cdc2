// The trace of a large generated file, as the benchmark produces it: the
// program's own formatter must print exactly the bytes that the C runtime's
// printf prints, and "-t" must copy the big file exactly. Nothing is timed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/run.h"
#include "bench/big_file.h"
#include "capture.h"
#include "smf/out.h"

namespace {

constexpr uint64_t kBigBytes = 3'000'000;

// A directory of its own for the files of one test, removed at its end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "smfscope_bench_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) abort();
    path_ = buf.data();
  }
  ~TempDir() {
    for (const auto& f : files_) remove(f.c_str());
    rmdir(path_.c_str());
  }
  // The path of `name` in the directory, removed with it.
  std::string file(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  ASSERT_EQ(fclose(f), 0);
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  fclose(f);
  return bytes;
}

// Runs the whole program on `args` in-process; returns what it printed.
std::string run_program(std::vector<std::string> args, int* code) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return capture_stdout([&] { *code = run(static_cast<int>(args.size()), argv.data()); });
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Where two texts first differ, with a little of each around it.
std::string first_difference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  const size_t from = i > 60 ? i - 60 : 0;
  return "first difference at byte " + std::to_string(i) + "\n  own:  " + a.substr(from, 120) +
         "\n  libc: " + b.substr(from, 120);
}

TEST(BenchFile, IsTheSameOnEveryCallAndDiffersWithoutTempoOnlyByTheTempoEvents) {
  BigFileCounts with{}, without{};
  const auto a = make_big_file(1'000'000, true, &with);
  const auto b = make_big_file(1'000'000, true);
  const auto c = make_big_file(1'000'000, false, &without);
  EXPECT_EQ(a, b);
  EXPECT_GT(a.size(), 990'000u);
  EXPECT_LT(a.size(), 1'000'000u);
  EXPECT_GT(with.tempos, 10u);
  EXPECT_EQ(without.tempos, 0u);
  EXPECT_EQ(a.size() - c.size(), 7 * with.tempos);  // each tempo event: 00 FF 51 03 t t t
  EXPECT_EQ(with.events - without.events, with.tempos);
  // Notes dominate.
  EXPECT_GT(with.note_ons + with.note_offs, with.events * 3 / 4);
}

TEST(BenchFile, TraceByOwnFormatterEqualsTheCRuntimesBytes) {
  BigFileCounts counts{};
  const auto bytes = make_big_file(kBigBytes, true, &counts);
  TempDir dir;
  const std::string path = dir.file("big.mid");
  write_file(path, bytes);

  int own_code = -1, libc_code = -1;
  const std::string own = run_program({"smfscope", "-noteon", path}, &own_code);
  out_use_libc(true);
  const std::string libc = run_program({"smfscope", "-noteon", path}, &libc_code);
  out_use_libc(false);

  EXPECT_EQ(own_code, 0);
  EXPECT_EQ(libc_code, 0);
  ASSERT_EQ(own.size(), libc.size()) << first_difference(own, libc);
  ASSERT_TRUE(own == libc) << first_difference(own, libc);

  // The trace is the whole file's: one "st" prefix per event, every note.
  EXPECT_GT(own.size(), bytes.size() * 8);
  EXPECT_EQ(count_of(own, " ---time "), counts.events);
  const size_t notes = count_of(own, "] note ");
  const size_t note_offs = count_of(own, "] note off ");
  EXPECT_EQ(note_offs, counts.note_offs);
  EXPECT_EQ(notes - note_offs, counts.note_ons);
  EXPECT_EQ(count_of(own, "MTrk (0x"), 16u);
  EXPECT_EQ(count_of(own, "tempo="), counts.tempos + 1);  // + the summary's
  EXPECT_NE(own.find("CMIDI Conductor_Track= 0\n"), std::string::npos);
  const std::string tail = "FormatID 1\nTrack_Count 16\nDelta_Time 480\n";
  ASSERT_GE(own.size(), tail.size());
  EXPECT_EQ(own.substr(own.size() - tail.size()), tail);
}

TEST(BenchFile, TempoInsertionCopiesTheBigFileBehindTheNewTrack) {
  const auto bytes = make_big_file(kBigBytes, false);
  TempDir dir;
  const std::string path = dir.file("notempo.mid");
  const std::string written = dir.file("notempo.mid(newtempo=120).mid");
  write_file(path, bytes);

  int code = -1;
  const std::string trace = run_program({"smfscope", "-t", "120", path}, &code);
  EXPECT_EQ(code, 0);
  EXPECT_NE(trace.find("newtempocalc 500000\n"), std::string::npos);

  const auto out = read_file(written);
  ASSERT_EQ(out.size(), bytes.size() + 33);
  // The header, with one track more.
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 10, out.begin()));
  EXPECT_EQ(out[10], 0);
  EXPECT_EQ(out[11], 17);
  EXPECT_EQ(out[12], bytes[12]);
  EXPECT_EQ(out[13], bytes[13]);
  // The new track: tempo 07 A1 20 (120 beats per minute), 4/4, C major.
  const std::vector<uint8_t> track =
      hex("4D54726B 00000019 00FF5103 07A120 00FF5804 04021808 00FF5902 0000 00FF2F00");
  EXPECT_TRUE(std::equal(track.begin(), track.end(), out.begin() + 14));
  // Then the input's tracks, unchanged.
  EXPECT_TRUE(std::equal(bytes.begin() + 14, bytes.end(), out.begin() + 47));
}

}  // namespace
