// The file layer: reads and writes that a signal interrupts go on, and a
// close that fails is reported.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/files.h"

// A pipe whose other end the signal handler serves: it writes 4 bytes for a
// blocked read, or makes room for a blocked write.
static int g_pipe[2];
static bool g_reading;
static void serve_pipe(int) {
  char bytes[1 << 16] = "MThd";
  (void)!(g_reading ? write(g_pipe[1], bytes, 4) : read(g_pipe[0], bytes, sizeof bytes));
}

TEST(RawFile, ReadsAndWritesThroughSignals) {
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
  while (write(g_pipe[1], bytes, 1) == 1) continue;
  fcntl(g_pipe[1], F_SETFL, 0);
  g_reading = false;
  ualarm(100000, 0);
  EXPECT_EQ(write_bytes(out, bytes, sizeof bytes), sizeof bytes);
  EXPECT_EQ(close(out), 0);
  ::close(g_pipe[0]);
  EXPECT_EQ(close(in), 1);  // the descriptor is gone
  EXPECT_EQ(close(in), 1);  // and it is no longer open
}
