#pragma once
#include <cstdint>

#include "smf/walker.h"

// What an argument is to the run, as the scan of them all decided.
enum class Role : uint8_t {
  option,
  file_name,      // its line is printed; the last one is opened
  tempo,          // the tempo after "-t"
  tempo_missing,  // a "-t" whose next argument is not a nonzero number
};

// What the arguments ask for.
struct Options {
  Role* roles = nullptr;            // one for each argument, the program's name included
  const char* midi_path = nullptr;  // the last file name; null: none
  bool tempo_mode = false;          // -t (of -t and -v the later one counts)
  uint32_t newtempo = 0;            // 0: none given
  WalkOptions walk;
  bool utf8 = false;   // -u8
  bool full = false;   // -full: the complete trace
  bool json = false;   // -json: JSON lines
  bool check = false;  // -check: is each file named sound?
};

// Scans the arguments, printing nothing. Options are matched exactly and
// may stand anywhere; any other argument is a file name. Returns false when
// there is no memory for the roles.
bool scan(int argc, char** argv, Options& o);

// White space as the C library sees it.
constexpr bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A decimal number, read as strtoul and scanf("%lu") read one, from `c`, the
// first character after any white space, and the characters `next()` gives
// after it: an optional sign, then digits up to the first other character,
// which is left in `c`. 0 without digits; a negative number, or one past 32
// bits, stands as UINT32_MAX, outside every range instead of wrapping round.
template <typename Next>
uint32_t read_number(int& c, Next next) {
  const bool negative = c == '-';
  if (c == '+' || c == '-') c = next();
  uint64_t value = 0;
  for (; c >= '0' && c <= '9'; c = next())
    if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(c - '0');
  if (value > UINT32_MAX || (negative && value != 0)) return UINT32_MAX;
  return static_cast<uint32_t>(value);
}
