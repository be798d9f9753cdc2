// The program's formatter against the C runtime's: out_format must give the
// same bytes and the same length as snprintf for every format the program
// prints, and out_printf must write the same bytes as vprintf.

#include "smf/out.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// ---------------------------------------------------------------------------
// Child processes for the tests of out_init_stdout. The test binary runs
// itself with OUT_TEST_CHILD set; this runs before main, while standard
// output is still untouched, and never returns.

// Lines of the child's trace; returns the number of bytes printed.
size_t child_print_until(size_t printed, size_t limit) {
  static unsigned long n = 0;
  char probe[128];
  for (;;) {
    int len = snprintf(probe, sizeof probe, "st 0x%06lx ---time %04lu R[%02X] note %dch\n", n * 3,
                       n % 10000, static_cast<unsigned>(n & 0xff), static_cast<int>(n % 16));
    if (printed + static_cast<size_t>(len) > limit) return printed;
    out_printf("st 0x%06lx ---time %04lu R[%02X] note %dch\n", n * 3, n % 10000,
               static_cast<unsigned>(n & 0xff), static_cast<int>(n % 16));
    printed += static_cast<size_t>(len);
    ++n;
  }
}

off_t stdout_file_size() {
  struct stat st;
  if (fstat(1, &st) != 0) return -1;
  return st.st_size;
}

// Exit codes of the "file" child.
enum ChildCode {
  kChildOk = 0,
  kWroteBeforeBufferFull = 2,
  kNothingWrittenAfter4MiB = 3,
  kWrongSizeAfterFlush = 4,
  kUnknownMode = 5,
};

int run_child_if_asked() {
  const char* mode = getenv("OUT_TEST_CHILD");
  if (mode == nullptr) return 0;
  out_init_stdout();
  if (strcmp(mode, "file") == 0) {
    // Just under 256 KiB must still sit in the buffer...
    size_t printed = child_print_until(0, 256 * 1024 - 1);
    if (stdout_file_size() != 0) _exit(kWroteBeforeBufferFull);
    // ...and more than 4 MiB cannot.
    printed = child_print_until(printed, 4 * 1024 * 1024 + 4096);
    if (stdout_file_size() <= 0) _exit(kNothingWrittenAfter4MiB);
    fflush(stdout);
    if (stdout_file_size() != static_cast<off_t>(printed)) _exit(kWrongSizeAfterFlush);
    _exit(kChildOk);
  }
  if (strcmp(mode, "tty") == 0) {
    // A terminal keeps its line buffer: the line is out before _exit, which
    // flushes nothing.
    out_printf("tty line %d\n", 42);
    _exit(kChildOk);
  }
  _exit(kUnknownMode);
}

[[maybe_unused]] const int g_child = run_child_if_asked();

// Runs this binary as a child with standard output on fd; returns its exit
// status, or -1.
int run_child(const char* mode, int fd) {
  fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    setenv("OUT_TEST_CHILD", mode, 1);
    dup2(fd, 1);
    execl("/proc/self/exe", "out_tests", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------
// Calls of the C runtime's vprintf and vfprintf (which the compiler may turn
// a vprintf on stdout into), counted by the definitions below.

size_t g_libc_calls = 0;

using VprintfFn = int (*)(const char*, va_list);
using VfprintfFn = int (*)(FILE*, const char*, va_list);

}  // namespace

// These stand in for the C runtime's functions in this binary, to count the
// calls out_printf hands over, and pass them on.
extern "C" int vprintf(const char* fmt, va_list args) {
  static VprintfFn next = reinterpret_cast<VprintfFn>(dlsym(RTLD_NEXT, "vprintf"));
  ++g_libc_calls;
  return next(fmt, args);
}

extern "C" int vfprintf(FILE* stream, const char* fmt, va_list args) {
  static VfprintfFn next = reinterpret_cast<VfprintfFn>(dlsym(RTLD_NEXT, "vfprintf"));
  ++g_libc_calls;
  return next(stream, fmt, args);
}

namespace {

// ---------------------------------------------------------------------------
// Argument values.

std::vector<unsigned long> base_values() {
  std::vector<unsigned long> v = {0,          1,          9,          10,        99,
                                  100,        255,        256,        65535,     65536,
                                  0xFFFFFF,   0x1000000,  INT32_MAX,  0x80000000UL, UINT32_MAX,
                                  0x100000000UL, LONG_MAX, static_cast<unsigned long>(LONG_MIN),
                                  ULONG_MAX};
  unsigned long p = 1;
  for (int k = 1; k <= 19; ++k) {
    p *= 10;
    v.push_back(p - 1);
    v.push_back(p);
    v.push_back(p + 1);
  }
  for (int k = 1; k <= 15; ++k) {
    v.push_back((1UL << (4 * k)) - 1);
    v.push_back(1UL << (4 * k));
  }
  return v;
}

std::vector<unsigned> unsigned_values() {
  std::vector<unsigned> v;
  for (unsigned long b : base_values()) v.push_back(static_cast<unsigned>(b));
  return v;
}

std::vector<int> int_values() {
  std::vector<int> v = {INT32_MIN, INT32_MAX, -1, -9, -10, -99, -100, -255, -256};
  for (unsigned u : unsigned_values()) {
    v.push_back(static_cast<int>(u));
    v.push_back(static_cast<int>(0u - u));
  }
  return v;
}

std::vector<long> long_values() {
  std::vector<long> v = {LONG_MIN, LONG_MAX, -1};
  for (unsigned long b : base_values()) {
    v.push_back(static_cast<long>(b));
    v.push_back(static_cast<long>(0UL - b));
  }
  return v;
}

std::vector<int> char_values() {
  return {0, 'M', 'T', 'h', 'd', ' ', '%', 0x7f, 0x80, 0x81, 0xff, 0x100 + 'B', -1, -128};
}

std::vector<std::string> string_values() {
  std::string long_name = "/very/long/path/";
  while (long_name.size() < 6000) long_name += "楽曲フォルダ/song_%d_";
  long_name += ".mid";
  std::string all_bytes;
  for (int c = 1; c < 256; ++c) all_bytes += static_cast<char>(c);
  return {"",
          "a",
          "Acoustic Grand Piano",
          "100% %d %s not conversions",
          "ピアノ",
          "\x83\x73\x83\x41\x83\x6d",  // bytes as the program prints them
          "\xff\x80\x01\x7f",
          all_bytes,
          std::string(4095, 'x'),
          std::string(4096, 'y'),
          std::string(4097, 'z'),
          long_name};
}

// Hands out argument values: in a boundary round every argument takes one
// of the boundary values, so that over all rounds each argument position
// sees each of them; in a random round they are pseudo-random.
class Pick {
 public:
  explicit Pick(uint64_t seed)
      : rng_(seed),
        ints_(int_values()),
        uints_(unsigned_values()),
        longs_(long_values()),
        ulongs_(base_values()),
        chars_(char_values()),
        strings_(string_values()) {}

  // Enough boundary rounds to give every position every value.
  size_t boundary_rounds() const { return ints_.size() > longs_.size() ? ints_.size() : longs_.size(); }

  void boundary_round(size_t r) {
    random_ = false;
    round_ = r;
    draw_ = 0;
  }
  void random_round() { random_ = true; }

  int i() { return random_ ? static_cast<int>(signed_bits(32)) : from(ints_); }
  unsigned u() { return random_ ? static_cast<unsigned>(bits(32)) : from(uints_); }
  long l() { return random_ ? static_cast<long>(signed_bits(64)) : from(longs_); }
  unsigned long ul() { return random_ ? static_cast<unsigned long>(bits(64)) : from(ulongs_); }
  int ch() { return random_ ? static_cast<int>(signed_bits(32) % 300) : from(chars_); }
  const char* s() {
    if (!random_) return from(strings_).c_str();
    std::string& slot = pool_[pool_next_++ % kPool];
    size_t len = rng_() % 8 == 0 ? rng_() % 6000 : rng_() % 40;
    slot.resize(len);
    for (char& c : slot) c = static_cast<char>(1 + rng_() % 255);
    return slot.c_str();
  }
  // A small field width for "%*d".
  int width() { return static_cast<int>(rng_() % 12); }

 private:
  template <class T>
  const T& from(const std::vector<T>& list) {
    ++draw_;
    return list[(round_ + draw_ * 7) % list.size()];
  }
  // A value of a random number of significant bits, so that every length of
  // number turns up.
  uint64_t bits(unsigned max_bits) {
    unsigned n = static_cast<unsigned>(rng_() % (max_bits + 1));
    uint64_t v = rng_();
    return n >= 64 ? v : v & ((uint64_t{1} << n) - 1);
  }
  uint64_t signed_bits(unsigned max_bits) {
    uint64_t v = bits(max_bits);
    return rng_() % 4 == 0 ? 0 - v : v;
  }

  static constexpr size_t kPool = 8;
  std::mt19937_64 rng_;
  bool random_ = false;
  size_t round_ = 0;
  size_t draw_ = 0;
  std::vector<int> ints_;
  std::vector<unsigned> uints_;
  std::vector<long> longs_;
  std::vector<unsigned long> ulongs_;
  std::vector<int> chars_;
  std::vector<std::string> strings_;
  std::string pool_[kPool];
  size_t pool_next_ = 0;
};

// ---------------------------------------------------------------------------
// Comparison with snprintf.

typedef void (*Emit)(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string escaped(const char* s, size_t n) {
  std::string out;
  char hex[8];
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

size_t g_compared = 0;

// Formats with vsnprintf and out_vformat into buffers of the same prefilled
// bytes, with room to spare and with caps that cut the text, and expects the
// same results and the same buffers, bytes past the end included.
void compare_va(const char* fmt, va_list args) {
  constexpr size_t kBuf = 16 * 1024;
  constexpr size_t kBeyond = 16;
  static char want[kBuf + kBeyond];
  static char got[kBuf + kBeyond];
  va_list a;
  va_copy(a, args);
  int want_n = vsnprintf(nullptr, 0, fmt, a);
  va_end(a);
  // A negative result (a format the C runtime rejects) must come back too.
  size_t full = want_n < 0 ? 0 : static_cast<size_t>(want_n);
  size_t caps[] = {0, 1, 2, full / 2, full, full + 1, full + 2, full + 64};
  for (size_t cap : caps) {
    if (cap > kBuf) continue;
    // What may be written, and a few bytes past it that must stay.
    size_t region = (want_n < 0 || cap < full + 1 ? cap : full + 1) + kBeyond;
    memset(want, 0xA5, region);
    memset(got, 0xA5, region);
    va_copy(a, args);
    int wn = vsnprintf(cap == 0 ? nullptr : want, cap, fmt, a);
    va_end(a);
    va_copy(a, args);
    int gn = out_vformat(cap == 0 ? nullptr : got, cap, fmt, a);
    va_end(a);
    ++g_compared;
    EXPECT_EQ(gn, wn) << "format \"" << escaped(fmt, strlen(fmt)) << "\" cap " << cap;
    if (memcmp(want, got, region) != 0) {
      ADD_FAILURE() << "format \"" << escaped(fmt, strlen(fmt)) << "\" cap " << cap << "\n  snprintf:   \""
                    << escaped(want, region) << "\"\n  out_format: \"" << escaped(got, region) << "\"";
    }
  }
}

void compare(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void compare(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  compare_va(fmt, args);
  va_end(args);
}

// For formats built at run time.
void compare_unchecked(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  compare_va(fmt, args);
  va_end(args);
}

struct Case {
  const char* fmt;
  void (*run)(Pick& p, Emit emit);
};

#define CASE(FMT, ...) \
  Case { FMT, [](Pick& p, Emit emit) { emit(FMT, __VA_ARGS__); } }
#define TEXT(FMT) \
  Case { FMT, [](Pick&, Emit emit) { emit(FMT); } }

#define EVENT_PREFIX "st 0x%06lx ---" "time %04lu " "R[%02X] "

// Every format the program prints, with arguments of the types it passes.
const Case kProgramFormats[] = {
    CASE("%c%c%c%c\n", p.ch(), p.ch(), p.ch(), p.ch()),
    CASE("ReadMThd size %lu\n", p.ul()),
    CASE("ReadMThd formatid %u\n", p.u()),
    CASE("ReadMThd track count %u\n", p.u()),
    CASE("ReadMThd deltatime %u\n", p.u()),
    CASE("pos=0x%lx\n", p.ul()),
    CASE("%d)MTrk (0x%06lx) ", p.i(), p.ul()),
    CASE("track_no %02d\n", p.i()),
    CASE("mtrk size %8lu 0x%06lx\n", p.ul(), p.ul()),
    CASE("pos %06lx\n", p.ul()),
    CASE("pos %lx ->fsize %lx\n", p.ul(), p.ul()),
    CASE("%06lx not Mtrk\n", p.ul()),
    CASE("st 0x%06lx ---", p.ul()),
    CASE("time %04lu ", p.ul()),
    CASE("R[%02X] ", p.u()),
    // The walker prints an event's prefix and its text in one call.
    CASE(EVENT_PREFIX, p.ul(), p.ul(), p.u()),
    CASE(EVENT_PREFIX "システムエクスクルーシブ \n", p.ul(), p.ul(), p.u()),
    CASE(EVENT_PREFIX "program change (楽器) %d (%x) %s \n", p.ul(), p.ul(), p.u(), p.i(), p.u(), p.s()),
    CASE(EVENT_PREFIX "Ex " "ピッチ・ベンド・チェンジ 0x%02x 0x%02x\n", p.ul(), p.ul(), p.u(), p.u(), p.u()),
    CASE(EVENT_PREFIX "note off %dch 音 %2d %2d\n", p.ul(), p.ul(), p.u(), p.i(), p.i(), p.i()),
    CASE(EVENT_PREFIX "note %dch 音 %3d %3d\n", p.ul(), p.ul(), p.u(), p.i(), p.i(), p.i()),
    CASE(EVENT_PREFIX "Track Event unknown %02X\n", p.ul(), p.ul(), p.u(), p.u()),
    CASE("program change (楽器) %d (%x) %s \n", p.i(), p.u(), p.s()),
    TEXT("Ex "),
    CASE("ピッチ・ベンド・チェンジ 0x%02x 0x%02x\n", p.u(), p.u()),
    CASE("note off %dch 音 %2d %2d\n", p.i(), p.i(), p.i()),
    CASE("note %dch 音 %3d %3d\n", p.i(), p.i(), p.i()),
    CASE("Track Event unknown %02X\n", p.u()),
    TEXT("システムエクスクルーシブ \n"),
    CASE("[%02X] ", p.u()),
    CASE("テキスト=%s\n", p.s()),
    CASE("著作権表示=%s\n", p.s()),
    CASE("シーケンス名=%s\n", p.s()),
    CASE("マーカー=%s\n", p.s()),
    CASE("出力ポートの指定 %d\n", p.i()),
    TEXT("トラック終端\n"),
    CASE("(0x%02x 0x%02x 0x%02x)", p.u(), p.u(), p.u()),
    CASE("tempo=%lu\n", p.ul()),
    CASE("拍子=%d/%d\n", p.i(), p.i()),
    CASE("調号=%d %d %s %s\n", p.i(), p.i(), p.s(), p.s()),
    TEXT("バンクセレクトMSB (CC#0)\n"),
    CASE("モジュレーション %d\n", p.i()),
    CASE("データ・エントリー MSB %d\n", p.i()),
    CASE("ボリューム %d\n", p.i()),
    CASE("PANPOT %d\n", p.i()),
    CASE("エクスプレッション(Expression) %d\n", p.i()),
    TEXT("バンクセレクトLSB (CC#32)\n"),
    CASE("データ・エントリー LSB %d\n", p.i()),
    CASE("CC)リバーブ %d\n", p.i()),
    CASE("未定義 (0x%x%d\n", p.u(), p.i()),
    CASE("未定義(0x%x) %d\n", p.u(), p.i()),
    CASE("unknown(#100(0x64)) 0x%x %d\n", p.u(), p.i()),
    CASE("unknown(#101(0x65)) 0x%x %d\n", p.u(), p.i()),
    TEXT("リセットオールコントローラー (CC#121)\n"),
    TEXT("========================================\n"),
    CASE("tempo=%4lu\n", p.ul()),
    CASE("拍子 %d/%d\n", p.i(), p.i()),
    CASE("CMIDI Conductor_Track= %d\n", p.i()),
    CASE("Track %2d (MIDI Track %2d) %s pos 0x%06lx size 0x%06lx %s\n", p.i(), p.i(), p.s(), p.ul(),
         p.ul(), p.s()),
    CASE("%d MIDIファイル %s\n", p.i(), p.s()),
    CASE("fs %ld\n", p.l()),
    TEXT("not bin\n"),
    TEXT("open error\n"),
    CASE("FormatID %d\n", p.i()),
    CASE("Track_Count %d\n", p.i()),
    CASE("Delta_Time %d\n", p.i()),
    CASE("newtempofn=%s\n", p.s()),
    CASE("newtempocalc %lu\n", p.ul()),
    CASE("%x %x %x\n", p.u(), p.u(), p.u()),
    CASE("CMIDI.Track_Count %d\n", p.i()),
    CASE("unexpected end of file at 0x%06lx\n", p.ul()),
    TEXT("テンポ入力="),
    TEXT("\nsmfscope v0.02 オプション\n"),
    TEXT("-noteon -v使用時に、音符の情報をすべて表示する\n"),
    TEXT("-t テンポを設定します（プログラム実行時に、テンポ入力待ちになります\n"),
    TEXT("※コマンドラインの最後に、MIDIファイルを指定します\n"),
    TEXT("file too large\n"),
    CASE("100%% of %d%%\n", p.i()),
};

// Formats the formatter leaves to the C runtime, some after conversions of
// its own in the same call.
const Case kOtherFormats[] = {
    CASE("[%-5d]", p.i()),
    CASE("[%+d]", p.i()),
    CASE("[% d]", p.i()),
    CASE("[%#x]", p.u()),
    CASE("[%#lx]", p.ul()),
    CASE("[%.3s]", p.s()),
    CASE("[%5s]", p.s()),
    CASE("[%-12s]", p.s()),
    CASE("[%.0d]", p.i()),
    CASE("[%8.3d]", p.i()),
    CASE("[%lld]", static_cast<long long>(p.l())),
    CASE("[%llx]", static_cast<unsigned long long>(p.ul())),
    CASE("[%hhd]", p.i()),
    CASE("[%hd]", p.i()),
    CASE("[%hu]", p.u()),
    CASE("[%zu]", static_cast<size_t>(p.ul())),
    CASE("[%jd]", static_cast<intmax_t>(p.l())),
    CASE("[%i]", p.i()),
    CASE("[%o]", p.u()),
    CASE("[%lX]", p.ul()),
    CASE("[%*d]", p.width(), p.i()),
    CASE("[%.*s]", p.width(), p.s()),
    CASE("[%5c]", p.ch()),
    CASE("[%-3c]", p.ch()),
    CASE("[%e %g %.2f]", static_cast<double>(p.i()) / 7, static_cast<double>(p.l()), 1.0 / 3),
    CASE("[%1$d %1$x]", p.i()),
    CASE("%d %s %lx [%-4d]", p.i(), p.s(), p.ul(), p.i()),
    CASE("R[%02X] %08lx [%+ld] %s", p.u(), p.ul(), p.l(), p.s()),
    CASE("%c%c [%ls]", p.ch(), p.ch(), L"wide"),
};

void run_cases(const Case* cases, size_t n, Pick& p, Emit emit, size_t random_rounds) {
  for (size_t r = 0; r < p.boundary_rounds(); ++r)
    for (size_t k = 0; k < n; ++k) {
      p.boundary_round(r);
      cases[k].run(p, emit);
    }
  p.random_round();
  for (size_t r = 0; r < random_rounds; ++r)
    for (size_t k = 0; k < n; ++k) cases[k].run(p, emit);
}

constexpr size_t kProgramCount = sizeof kProgramFormats / sizeof kProgramFormats[0];
constexpr size_t kOtherCount = sizeof kOtherFormats / sizeof kOtherFormats[0];

TEST(OutFormat, ProgramFormatsMatchSnprintf) {
  Pick p(20240611);
  g_compared = 0;
  run_cases(kProgramFormats, kProgramCount, p, compare, 2000);
  EXPECT_GT(g_compared, kProgramCount * 2000);
}

TEST(OutFormat, OtherConversionsMatchSnprintf) {
  Pick p(7);
  g_compared = 0;
  run_cases(kOtherFormats, kOtherCount, p, compare, 300);
  EXPECT_GT(g_compared, kOtherCount * 300);
  // Outside C's rules, but the C runtime's answer still counts.
  compare_unchecked("[%05s]", "ab");
  compare_unchecked("[%05c]", 'c');
  compare_unchecked("[%ll]");
  compare_unchecked("trailing %");
  compare_unchecked("%l");
  compare_unchecked("[%s]", static_cast<const char*>(nullptr));
  compare_unchecked("[%5s]", static_cast<const char*>(nullptr));
  compare_unchecked("[%2000000d]", 5);
}

// Every field width from 0 to 24, with and without '0', for each conversion.
TEST(OutFormat, FieldWidthsMatchSnprintf) {
  Pick p(99);
  const char* convs[] = {"d", "u", "x", "X", "ld", "lu", "lx", "c", "s"};
  char fmt[32];
  g_compared = 0;
  for (size_t r = 0; r < p.boundary_rounds(); ++r) {
    p.boundary_round(r);
    for (int width = 0; width <= 24; ++width)
      for (const char* flags : {"", "0", "00"})
        for (const char* conv : convs) {
          bool text = conv[0] == 'c' || conv[0] == 's';
          if (text && flags[0] == '0') continue;
          snprintf(fmt, sizeof fmt, "<%%%s%d%s>", flags, width, conv);
          switch (conv[strlen(conv) - 1]) {
            case 'd':
              if (conv[0] == 'l')
                compare_unchecked(fmt, p.l());
              else
                compare_unchecked(fmt, p.i());
              break;
            case 'u':
            case 'x':
            case 'X':
              if (conv[0] == 'l')
                compare_unchecked(fmt, p.ul());
              else
                compare_unchecked(fmt, p.u());
              break;
            case 'c':
              compare_unchecked(fmt, p.ch());
              break;
            default:
              compare_unchecked(fmt, p.s());
          }
        }
  }
  EXPECT_GT(g_compared, 25u * 3 * 9);
}

// The text cut at every length, the full length always returned.
TEST(OutFormat, TruncatesAtEveryCap) {
  std::string name(5000, 'n');
  char want[6000];
  char got[6000];
  struct Line {
    const char* what;
    int (*fill)(char* dst, size_t cap, const std::string& name);
  };
  const Line lines[] = {
      {"walker", [](char* d, size_t c, const std::string&) {
         return out_format(d, c, "st 0x%06lx ---time %04lu R[%02X] note %dch 音 %3d %3d\n", 0x1234UL, 42UL,
                           0x90u, -3, 127, 64);
       }},
      {"walker/libc", [](char* d, size_t c, const std::string&) {
         return snprintf(d, c, "st 0x%06lx ---time %04lu R[%02X] note %dch 音 %3d %3d\n", 0x1234UL, 42UL,
                         0x90u, -3, 127, 64);
       }},
      {"long name", [](char* d, size_t c, const std::string& n) {
         return out_format(d, c, "%d MIDIファイル %s\n", 1, n.c_str());
       }},
      {"long name/libc", [](char* d, size_t c, const std::string& n) {
         return snprintf(d, c, "%d MIDIファイル %s\n", 1, n.c_str());
       }},
      {"fallback", [](char* d, size_t c, const std::string&) {
         return out_format(d, c, "[%-9d|%+5ld|%#x]", -77, 12345L, 0xabcu);
       }},
      {"fallback/libc", [](char* d, size_t c, const std::string&) {
         return snprintf(d, c, "[%-9d|%+5ld|%#x]", -77, 12345L, 0xabcu);
       }},
  };
  for (size_t k = 0; k < sizeof lines / sizeof lines[0]; k += 2) {
    int full = lines[k + 1].fill(nullptr, 0, name);
    ASSERT_GT(full, 0);
    EXPECT_EQ(lines[k].fill(nullptr, 0, name), full) << lines[k].what;
    for (size_t cap = 0; cap <= static_cast<size_t>(full) + 2; ++cap) {
      memset(want, 0x5A, sizeof want);
      memset(got, 0x5A, sizeof got);
      int wn = lines[k + 1].fill(want, cap, name);
      int gn = lines[k].fill(got, cap, name);
      ASSERT_EQ(gn, wn) << lines[k].what << " cap " << cap;
      ASSERT_EQ(0, memcmp(want, got, sizeof want)) << lines[k].what << " cap " << cap;
    }
  }
}

// ---------------------------------------------------------------------------
// out_printf on standard output.

// Runs body with standard output sent to a temporary file and returns what
// it wrote.
std::string capture_stdout(void (*body)()) {
  fflush(stdout);
  FILE* tmp = tmpfile();
  if (tmp == nullptr) return "<no temporary file>";
  int saved = dup(1);
  dup2(fileno(tmp), 1);
  body();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string text;
  char chunk[65536];
  lseek(fileno(tmp), 0, SEEK_SET);
  ssize_t n;
  while ((n = read(fileno(tmp), chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
  fclose(tmp);
  return text;
}

std::string g_reference;
size_t g_emits = 0;
size_t g_long_emits = 0;  // texts longer than 255 bytes

void append_reference(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void append_reference(const char* fmt, ...) {
  ++g_emits;
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(nullptr, 0, fmt, again);
  va_end(again);
  if (n > 255) ++g_long_emits;
  if (n > 0) {
    size_t at = g_reference.size();
    g_reference.resize(at + static_cast<size_t>(n) + 1);
    vsnprintf(&g_reference[at], static_cast<size_t>(n) + 1, fmt, args);
    g_reference.resize(at + static_cast<size_t>(n));
  }
  va_end(args);
}

// The reference for the other writes: the same text, not counted as a call
// of out_printf.
void printf_reference(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void printf_reference(const char* fmt, ...) {
  size_t emits = g_emits;
  size_t long_emits = g_long_emits;
  va_list args;
  va_start(args, fmt);
  char text[256];
  vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  append_reference("%s", text);
  g_emits = emits;
  g_long_emits = long_emits;
}

void printf_elsewhere(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void printf_elsewhere(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  char text[256];
  vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  fputs(text, stdout);
}

// A trace: every program format, out_printf's calls mixed with the C
// runtime's own writes to stdout, and lines longer than out_printf's stack
// buffer. `emit` stands for out_printf, `other` for the other writes.
void trace(Emit emit, Emit other) {
  Pick p(4242);
  for (size_t r = 0; r < p.boundary_rounds(); ++r)
    for (size_t k = 0; k < kProgramCount; ++k) {
      p.boundary_round(r);
      kProgramFormats[k].run(p, emit);
      if (k % 5 == 0) other("<other %zu/%zu>", r, k);
    }
  p.random_round();
  for (size_t r = 0; r < 300; ++r)
    for (size_t k = 0; k < kProgramCount; ++k) kProgramFormats[k].run(p, emit);
  std::string name(10000, 'f');
  name += ".mid";
  emit("%d MIDIファイル %s\n", 3, name.c_str());
  other("%s\n", "between");
  emit("Track %2d (MIDI Track %2d) %s pos 0x%06lx size 0x%06lx %s\n", 1, 2, name.c_str(), 0x10UL, 0x20UL,
       "conductor");
  emit("[%-6s|%+d]\n", "left", 5);
  emit("%c%c%c%c\n", 'M', 0, 'r', 'k');
}

TEST(OutPrintf, WritesTheSameBytesAsVprintf) {
  g_reference.clear();
  g_emits = 0;
  g_long_emits = 0;
  trace(append_reference, printf_reference);
  ASSERT_GT(g_reference.size(), 20000u);

  out_use_libc(false);
  size_t before = g_libc_calls;
  std::string mine = capture_stdout([] { trace(out_printf, printf_elsewhere); });
  // Only lines longer than a stack buffer and the one format of other
  // conversions may go to the C runtime.
  EXPECT_LE(g_libc_calls - before, g_long_emits + 1);

  out_use_libc(true);
  before = g_libc_calls;
  std::string libc = capture_stdout([] { trace(out_printf, printf_elsewhere); });
  out_use_libc(false);
  EXPECT_EQ(g_libc_calls - before, g_emits) << "out_use_libc(true) must hand every call to vprintf";

  EXPECT_EQ(mine.size(), g_reference.size());
  EXPECT_TRUE(mine == g_reference) << "out_printf differs from the reference";
  EXPECT_EQ(libc.size(), g_reference.size());
  EXPECT_TRUE(libc == g_reference) << "out_printf through vprintf differs from the reference";
}

TEST(OutPrintf, VprintfVariantWritesTheSameBytes) {
  struct Local {
    [[gnu::format(printf, 1, 2)]] static void via_va(const char* fmt, ...) {
      va_list args;
      va_start(args, fmt);
      out_vprintf(fmt, args);
      va_end(args);
    }
  };
  g_reference.clear();
  trace(append_reference, printf_reference);
  std::string mine = capture_stdout([] { trace(Local::via_va, printf_elsewhere); });
  EXPECT_TRUE(mine == g_reference) << "out_vprintf differs from the reference";
}

// ---------------------------------------------------------------------------
// out_init_stdout, in child processes whose standard output is untouched.

TEST(OutInitStdout, FileGetsAFullBufferOfAtLeast256KiBAndAtMost4MiB) {
  FILE* tmp = tmpfile();
  ASSERT_NE(tmp, nullptr);
  int code = run_child("file", fileno(tmp));
  EXPECT_NE(code, kWroteBeforeBufferFull) << "output reached the file before 256 KiB";
  EXPECT_NE(code, kNothingWrittenAfter4MiB) << "nothing reached the file after 4 MiB";
  EXPECT_NE(code, kWrongSizeAfterFlush) << "the file does not hold all the output";
  EXPECT_EQ(code, kChildOk);
  struct stat st;
  ASSERT_EQ(fstat(fileno(tmp), &st), 0);
  EXPECT_GT(st.st_size, 4 * 1024 * 1024);
  fclose(tmp);
}

TEST(OutInitStdout, TerminalKeepsItsLineBuffer) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
  const char* name = ptsname(master);
  ASSERT_NE(name, nullptr);
  int slave = open(name, O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  int code = run_child("tty", slave);
  EXPECT_EQ(code, kChildOk);
  std::string seen;
  char chunk[256];
  while (seen.find("tty line 42") == std::string::npos) {
    pollfd pfd{master, POLLIN, 0};
    if (poll(&pfd, 1, 5000) <= 0) break;
    ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) break;
    seen.append(chunk, static_cast<size_t>(n));
  }
  EXPECT_NE(seen.find("tty line 42"), std::string::npos) << "seen: " << escaped(seen.data(), seen.size());
  close(slave);
  close(master);
}

}  // namespace
