#pragma once
// The fuzz target and its checks, also run by the tests.
#include <cstdint>
#include <functional>
#include <string>

// What `fn` prints on standard output.
std::string capture(const std::function<void()>& fn);

// The options that change a walk, as bits; what a walk of `size` bytes at
// `data` prints: the trace, then the summary.
// kFull takes the complete trace, which reads every note with running
// status; kJson JSON lines, which read all as kFull does, in UTF-8.
// kCheck the check's findings and verdict.
enum Options {
  kNotes = 1,
  kRunningStatus = 2,
  kUtf8 = 4,
  kFull = 8,
  kJson = 16,
  kCheck = 32,
  kAllOptions = 64
};

// Whether `options` is a run of its own: -full makes -noteon and -rs moot,
// -json all the others.
constexpr bool distinct(int options) {
  if (options & (kJson | kCheck)) return options == kJson || options == kCheck;
  return !(options & kFull) || !(options & (kNotes | kRunningStatus));
}

// Whether every line of `text` is a JSON object (RFC 8259), with the events'
// positions increasing within each track.
bool json_lines(const std::string& text);
struct Walk {
  std::string trace, summary;
};
Walk walk(const uint8_t* data, uint32_t size, int options);

// Aborts unless the walk of the first `cut` bytes prints a prefix of the
// whole trace, then at most a cut message at a position up to `cut`.
void check_prefix(const uint8_t* data, size_t size, size_t cut, int options);

// Aborts unless every property of the fuzz target holds for the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
