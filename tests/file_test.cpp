// The file layer: what it opens and closes, and reads and writes that a
// signal interrupts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "smf/raw_file.h"
#include "support.h"

// A pipe whose other end the signal handler serves: it writes 4 bytes for a
// blocked read, or makes room for a blocked write.
static int g_pipe[2];
static bool g_reading;
static void serve_pipe(int) {
  char bytes[1 << 16] = "MThd";
  (void)!(g_reading ? write(g_pipe[1], bytes, 4) : read(g_pipe[0], bytes, sizeof bytes));
}

TEST(RawFile, OpensClosesReadsAndWrites) {
  TempDir dir;
  mkfifo((dir / "fifo").c_str(), 0600);
  write_file(dir / "empty", "");
  const int free_fd = dup(0);  // the lowest free descriptor: the next one opened
  close(free_fd);
  for (const std::string& name : {dir / "missing", dir.path, dir / "fifo", std::string("/dev/null")}) {
    RawFile f;
    const bool refused = open_read(f, name.c_str()) == 1 && close(f) == 1;
    const int next = dup(0);  // the refused file left no descriptor open
    EXPECT_TRUE(refused && next == free_fd && ::close(next) == 0) << name;
  }
  RawFile f, in, out;  // closed before it is opened, and twice; a read of more than there is
  char bytes[100] = {};
  EXPECT_TRUE(close(f) == 1 && open_read(f, (dir / "empty").c_str()) == 0 && f.size == 0 &&
              read_bytes(f, bytes, 1) == 0 && close(f) == 0 && close(f) == 1);

  struct sigaction action = {};
  action.sa_handler = serve_pipe;  // no SA_RESTART: the blocked call ends with EINTR
  sigaction(SIGALRM, &action, nullptr);
  ASSERT_EQ(pipe(g_pipe), 0);
  in.handle = g_pipe[0];
  out.handle = g_pipe[1];
  g_reading = true;
  ualarm(100000, 0);
  EXPECT_EQ(read_bytes(in, bytes, 4), 4u);
  fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);  // fill the pipe, then block on it
  while (write(g_pipe[1], bytes, 1) == 1) continue;
  fcntl(g_pipe[1], F_SETFL, 0);
  g_reading = false;
  ualarm(100000, 0);
  // Then a close that fails (the descriptor is gone) is reported.
  EXPECT_TRUE(write_bytes(out, bytes, sizeof bytes) == sizeof bytes && ::close(g_pipe[0]) == 0 && close(in) == 1);
}
