#include "smf/raw_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// A new empty directory of the system's temporary directory, named after the
// test and the time.
std::string temp_dir() {
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() /
                       ("smfscope-raw-" + std::string(test->name()) + "-" + std::to_string(now));
  if (!fs::create_directory(dir)) abort();
  return dir.string();
}

TEST(RawFile, FailsToOpenAMissingFileADirectoryOrADevice) {
  const std::string dir = temp_dir();
  RawFile f;
  EXPECT_EQ(open_read(f, (dir + "/missing.mid").c_str(), Access::read), 1);
  EXPECT_EQ(f.size, 0u);
  EXPECT_EQ(close(f), 1);  // closing what never opened fails quietly
  EXPECT_EQ(open_read(f, dir.c_str(), Access::read), 1);
  EXPECT_EQ(open_read(f, "", Access::read), 1);
  // No size to read by: a device (and so a pipe given as /dev/stdin).
#ifdef _WIN32
  EXPECT_EQ(open_read(f, "NUL", Access::read), 1);
#else
  EXPECT_EQ(open_read(f, "/dev/null", Access::read), 1);
#endif
  fs::remove_all(dir);
}

TEST(RawFile, WritesReplacesAndReadsWholeFiles) {
  const std::string dir = temp_dir();
  const std::string name = dir + "/a.mid";
  std::string big(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);

  RawFile out;
  ASSERT_EQ(create_new(out, name.c_str()), 0);
  EXPECT_EQ(write_bytes(out, big.data(), big.size()), big.size());
  EXPECT_EQ(close(out), 0);
  // Creating it again empties it before anything is written.
  ASSERT_EQ(create_new(out, name.c_str()), 0);
  EXPECT_EQ(write_bytes(out, "MThd", 4), 4u);
  EXPECT_EQ(close(out), 0);

  RawFile in;
  ASSERT_EQ(open_read(in, name.c_str(), Access::read), 0);
  EXPECT_EQ(in.size, 4u);
  char back[8] = {};
  EXPECT_EQ(read_bytes(in, back, in.size), 4u);
  EXPECT_STREQ(back, "MThd");
  EXPECT_EQ(close(in), 0);

  ASSERT_EQ(create_new(out, name.c_str()), 0);
  EXPECT_EQ(write_bytes(out, big.data(), big.size()), big.size());
  EXPECT_EQ(close(out), 0);
  ASSERT_EQ(open_read(in, name.c_str(), Access::read), 0);
  ASSERT_EQ(in.size, big.size());
  std::string whole(big.size(), '\0');
  EXPECT_EQ(read_bytes(in, whole.data(), whole.size()), big.size());
  EXPECT_EQ(whole, big);
  // Asking for more than is left delivers what there is.
  EXPECT_EQ(read_bytes(in, whole.data(), 10), 0u);
  EXPECT_EQ(close(in), 0);

  EXPECT_EQ(remove_file(name.c_str()), 0);
  EXPECT_EQ(remove_file(name.c_str()), 1);
  fs::remove_all(dir);
}

TEST(RawFile, OpensAnEmptyFileWithSizeZero) {
  const std::string dir = temp_dir();
  const std::string name = dir + "/empty.mid";
  RawFile out;
  ASSERT_EQ(create_new(out, name.c_str()), 0);
  EXPECT_EQ(close(out), 0);
  RawFile in;
  in.size = 99;
  ASSERT_EQ(open_read(in, name.c_str(), Access::read), 0);
  EXPECT_EQ(in.size, 0u);
  EXPECT_EQ(read_bytes(in, nullptr, 0), 0u);
  EXPECT_EQ(close(in), 0);
  EXPECT_EQ(create_new(out, (dir + "/no/such/dir.mid").c_str()), 1);
  remove_file(name.c_str());
  fs::remove_all(dir);
}

#ifdef _WIN32
// The output is opened for writing with sharing for writing only: nobody reads
// a half-written copy. The input is opened sharing reading and writing.
TEST(RawFile, WindowsSharing) {
  const std::string dir = temp_dir();
  const std::string name = dir + "/shared.mid";
  RawFile out, in;
  ASSERT_EQ(create_new(out, name.c_str()), 0);
  EXPECT_EQ(open_read(in, name.c_str(), Access::read), 1);
  EXPECT_EQ(close(out), 0);
  ASSERT_EQ(open_read(in, name.c_str(), Access::read), 0);
  RawFile again;
  ASSERT_EQ(open_read(again, name.c_str(), Access::read), 0);
  EXPECT_EQ(close(again), 0);
  EXPECT_EQ(close(in), 0);
  fs::remove_all(dir);
}
#endif

}  // namespace
