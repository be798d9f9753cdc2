// The program's formatter prints what printf prints, for every conversion
// the program uses, and keeps a line whole however long its texts.
#include "smf/out.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "support.h"

namespace {

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <outfmt::Format F, typename... A>
void same(A... a) {
  std::string want(static_cast<size_t>(snprintf(nullptr, 0, F.text, a...)) + 1, '\0');
  snprintf(want.data(), want.size(), F.text, a...);
  want.pop_back();
  EXPECT_EQ(capture([&] { out<F>(a...); }), want) << F.text;
}

TEST(Out, NumbersAsPrintf) {
  for (long long v : {0LL, 1LL, 9LL, 10LL, 99LL, 100LL, 127LL, 255LL, 999LL, 1000LL, 9999LL,
                      10000LL, 65535LL, 0xFFFFFFLL, 0x1000000LL, 99999999LL, 100000000LL,
                      0x7FFFFFFFLL, 0x80000000LL, 0xFFFFFFFFLL, -1LL, -5LL, -100LL}) {
    const int i = static_cast<int>(v);
    const auto u = static_cast<unsigned>(v);
    const auto ul = static_cast<unsigned long>(v);
    same<"%d|%2d|%3d|%02d|%c">(i, i, i, i, 'A' + (u & 15));
    same<"%u|%x|%02x|%X|%02X">(u, u, u, u, u);
    same<"%lu|%4lu|%04lu|%8lu|%lx|%06lx|%ld|">(ul, ul, ul, ul, ul, ul, static_cast<long>(v));
  }
  same<"%lu %lx %ld %ld">(ULONG_MAX, ULONG_MAX, LONG_MIN, LONG_MAX);
}

TEST(Out, TextsOfAnyLengthWholeAndInOrder) {
  for (size_t n = 0; n < 1100; n += 3) {
    const std::string s(n, 's');
    same<"%s|%lu|%lu|%lu|%lu|%s\n">(s.c_str(), ULONG_MAX, ULONG_MAX, ULONG_MAX, ULONG_MAX, "t");
    same<"[%d] %s %s %lu\n">(INT_MIN, "E♭", s.c_str(), ULONG_MAX);
  }
}

}  // namespace
