// The file layer: what it opens, and reads and writes that a signal
// interrupts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "smf/raw_file.h"
#include "support.h"

namespace {

// The lowest free descriptor: the next one the program would get.
int next_descriptor() {
  const int fd = dup(0);
  ::close(fd);
  return fd;
}

TEST(RawFile, OpensRegularFilesOnlyAndAtOnce) {
  TempDir dir;
  write_file(dir / "empty.mid", "");
  mkfifo((dir / "fifo").c_str(), 0600);
  const int free_fd = next_descriptor();
  for (const std::string& name : {dir / "missing.mid", dir.path, dir / "fifo", std::string("/dev/null")}) {
    RawFile f;
    f.size = 7;
    EXPECT_EQ(open_read(f, name.c_str()), 1) << name;
    EXPECT_EQ(f.size, 7u);
    EXPECT_EQ(close(f), 1);  // it never opened
    EXPECT_EQ(next_descriptor(), free_fd) << name;
  }
  RawFile f;
  EXPECT_EQ(close(f), 1);  // before it was opened
  ASSERT_EQ(open_read(f, (dir / "empty.mid").c_str()), 0);
  EXPECT_EQ(f.size, 0u);
  char byte;
  EXPECT_EQ(read_bytes(f, &byte, 1), 0u);  // more than there is: what there is
  EXPECT_EQ(close(f), 0);
  EXPECT_EQ(close(f), 1);  // closing twice fails the second time
}

// A pipe whose other end the signal handler serves: it writes 4 bytes for a
// blocked read, or makes room for a blocked write.
int g_pipe[2];
bool g_reading;
void serve_pipe(int) {
  char bytes[1 << 16] = "MThd";
  (void)!(g_reading ? write(g_pipe[1], bytes, 4) : read(g_pipe[0], bytes, sizeof bytes));
}

TEST(RawFile, ReadsAndWritesOnAfterASignal) {
  struct sigaction action = {};
  action.sa_handler = serve_pipe;  // no SA_RESTART: the blocked call ends with EINTR
  sigaction(SIGALRM, &action, nullptr);
  ASSERT_EQ(pipe(g_pipe), 0);
  RawFile in, out;
  in.handle = g_pipe[0];
  out.handle = g_pipe[1];
  char bytes[100] = {};
  g_reading = true;
  ualarm(100000, 0);
  EXPECT_EQ(read_bytes(in, bytes, 4), 4u);
  fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);  // fill the pipe, then block on it
  while (write(g_pipe[1], bytes, 1) == 1) {
  }
  fcntl(g_pipe[1], F_SETFL, 0);
  g_reading = false;
  ualarm(100000, 0);
  EXPECT_EQ(write_bytes(out, bytes, sizeof bytes), sizeof bytes);
  close(in);
  close(out);
}

}  // namespace
