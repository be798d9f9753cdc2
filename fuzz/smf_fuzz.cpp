// The fuzz target. For any bytes and any of -noteon, -rs and -u8, it aborts
// unless the walk and the summary end, a prefix of the bytes prints a prefix
// of the trace ("->fsize" values aside) and at most a cut message, and -u8
// prints UTF-8.
#include "fuzz/smf_fuzz.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/summary.h"
#include "output/check.h"
#include "output/full.h"
#include "output/json.h"
#include "output/trace.h"
#include "smf/walker.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "smf_fuzz: property violated: %s\n", what);
  abort();
}

// UTF-8 as RFC 3629 has it, decoded to code points apart from the program's
// own check.
bool valid_utf8(const std::string& s) {
  static const uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};  // below: overlong
  for (size_t i = 0; i < s.size();) {
    const uint8_t lead = static_cast<uint8_t>(s[i]);
    const size_t more = lead < 0x80       ? 0
                        : lead >> 5 == 6  ? 1
                        : lead >> 4 == 14 ? 2
                        : lead >> 3 == 30 ? 3
                                          : 4;
    if (more == 4 || s.size() - i <= more) return false;
    uint32_t code = lead & (0x7F >> more);
    for (size_t k = 1; k <= more; ++k) {
      const uint8_t b = static_cast<uint8_t>(s[i + k]);
      if (b >> 6 != 2) return false;
      code = code << 6 | (b & 0x3F);
    }
    if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

// A JSON value at `at` (RFC 8259), moving `at` past it; false if there is
// none. Strings must be UTF-8.
bool json_value(const std::string& s, size_t& at, int depth = 0) {
  auto skip = [&] {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  };
  auto literal = [&](const char* word) {
    const size_t n = strlen(word);
    if (s.compare(at, n, word) != 0) return false;
    at += n;
    return true;
  };
  auto string = [&] {
    if (at >= s.size() || s[at++] != '"') return false;
    const size_t begin = at;
    for (; at < s.size() && s[at] != '"'; ++at) {
      if (static_cast<uint8_t>(s[at]) < 0x20) return false;
      if (s[at] == '\\' && ++at < s.size() && !strchr("\"\\/bfnrtu", s[at])) return false;
    }
    return at < s.size() && valid_utf8(s.substr(begin, at++ - begin));
  };
  skip();
  if (at >= s.size() || depth > 8) return false;
  bool ok = true;
  if (s[at] == '{' || s[at] == '[') {
    const char close = s[at++] == '{' ? '}' : ']';
    skip();
    for (bool first = true; ok && at < s.size() && s[at] != close; first = false) {
      if (!first) ok = s[at++] == ',';
      skip();
      if (ok && close == '}') {
        ok = string();
        skip();
        ok = ok && at < s.size() && s[at++] == ':';
      }
      ok = ok && json_value(s, at, depth + 1);
      skip();
    }
    return ok && at < s.size() && s[at++] == close;
  }
  if (s[at] == '"') return string();
  if (literal("true") || literal("false") || literal("null")) return true;
  const size_t begin = at;
  if (s[at] == '-') ++at;
  while (at < s.size() && (isdigit(static_cast<uint8_t>(s[at])) || s[at] == '.')) ++at;
  return at > begin && isdigit(static_cast<uint8_t>(s[at - 1]));
}

// Each event line of a -full trace as its tick and time ("-": none), with
// the columns taken out of the line: where an event sits depends on tempos
// further on in the file.
struct Sits {
  uint64_t tick, millis;
  bool timed;
};
std::string without_columns(const std::string& s, std::vector<std::vector<Sits>>* tracks) {
  std::string out;
  for (size_t at = 0, end; at < s.size(); at = end + 1) {
    end = s.find('\n', at);
    if (end == std::string::npos) end = s.size();
    std::string line = s.substr(at, end - at);
    if (line.find("MTrk (") != std::string::npos && tracks) tracks->emplace_back();
    const size_t time = line.starts_with("st 0x") ? line.find(" ---time ") : std::string::npos;
    if (time != std::string::npos) {
      const size_t columns = line.find(' ', time + 9) + 1;
      const size_t tick = line.find(' ', columns), bar = line.find(' ', tick + 1),
                   clock = line.find(' ', bar + 1);
      if (tracks && !tracks->empty()) {
        unsigned long long minutes = 0;
        unsigned seconds = 0, millis = 0;
        const bool timed =
            sscanf(line.c_str() + bar + 1, "%llu:%u.%u", &minutes, &seconds, &millis) == 3;
        tracks->back().push_back({strtoull(line.c_str() + columns, nullptr, 10),
                                  (minutes * 60 + seconds) * 1000 + millis, timed});
      }
      line.erase(columns, clock + 1 - columns);
    }
    out += line + (end < s.size() ? "\n" : "");
  }
  return out;
}

std::string without_fsize(std::string s) {
  for (size_t at = 0; (at = s.find("->fsize ", at)) != std::string::npos;)
    s.erase(at + 7, s.find('\n', at) - at - 7);
  return s;
}

// Where each event sits, as a -full trace finds it while it walks, going
// on from the last event with the maps as far as they are gathered, and as
// found afresh in the whole maps afterwards: the same.
struct Sites {
  Song& song;
  Locator going{song};
  std::vector<std::pair<int32_t, uint64_t>> events;
  std::vector<Position> found;
  int32_t track = -1;
  void riff(const Riff&) {}
  void header(const HeaderChunk&) {}
  void scan(uint32_t) {}
  void chunk(const Chunk&) {}
  void track_begin(const Chunk& c) { track = c.track; }
  void event(const Event& e) {
    found.push_back(going.at(track, e.tick));
    events.emplace_back(track, e.tick);
    take_in(song, track, e);
  }
  void track_end(uint32_t) {}
  void cut(const Cut&) {}
};

void check_sites(const uint8_t* data, uint32_t size) {
  Song song;
  start_song(Image{data, size}, song);
  Sites sites{song, Locator{song}, {}, {}, -1};
  Record record;
  make_record(record, size);
  walk(Image{data, size}, WalkOptions{true, true}, sites, record);
  for (size_t i = 0; i < sites.events.size(); ++i) {
    const Position& a = sites.found[i];
    const Position b = Locator{song}.at(sites.events[i].first, sites.events[i].second);
    check(a.has_bar == b.has_bar && a.bar == b.bar && a.beat == b.beat &&
              a.beat_tick == b.beat_tick && a.has_time == b.has_time &&
              (!a.has_time || a.micros == b.micros),
          "where an event sits, found on the way and afresh");
  }
}

}  // namespace

bool json_lines(const std::string& text) {
  long track = -1, pos = -1;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    size_t i = 0;
    if (line.empty() || line[0] != '{' || !json_value(line, i) || i != line.size()) return false;
    long p, t;
    if (sscanf(line.c_str(), "{\"type\":\"event\",\"pos\":%ld,\"track\":%ld,", &p, &t) == 2) {
      if (t == track && p <= pos) return false;
      track = t;
      pos = p;
    }
  }
  return true;
}

std::string capture(const std::function<void()>& fn) {
  char* text = nullptr;
  size_t size = 0;
  FILE* const saved = stdout;
  stdout = open_memstream(&text, &size);  // the program writes to whatever stdout is
  fn();
  fclose(stdout);
  stdout = saved;
  std::string out(text, size);
  free(text);
  return out;
}

Walk walk(const uint8_t* data, uint32_t size, int options) {
  Walk w;
  Record record;
  check(make_record(record, size) == 0, "a record");
  const Encoding e = options & kUtf8 ? Encoding::utf8 : Encoding::cp932;
  const WalkOptions walk{(options & kNotes) != 0, (options & kRunningStatus) != 0};
  Song song;
  w.trace = capture([&] {
    if (options & kCheck) {
      check_file(Image{data, size}, "f", Output{e, false, false});
    } else if (options & kJson) {
      print_json(Image{data, size}, song, record);
    } else if (options & kFull) {
      print_full(Image{data, size}, Output{e, false, false}, song, record);
    } else {
      print_trace(Image{data, size}, walk, Output{e, false, false}, record);
    }
  });
  w.summary = capture([&] {
    if (options & kCheck) return;
    if (options & kJson) return print_json_song(record, song);
    print_summary(record, e);
    if (options & kFull) print_song(song, Output{e, false, false});
  });
  return w;
}

void check_prefix(const uint8_t* data, size_t size, size_t cut, int options) {
  if (cut < 4 || cut > size) return;       // shorter than "MThd": not the same file any more
  if (options & (kJson | kCheck)) return;  // no trace: their properties stand elsewhere
  // One byte more in the buffer, unlike the file's: a read past the prefix
  // would show in its trace.
  std::string bytes(reinterpret_cast<const char*>(data), cut);
  bytes += static_cast<char>(cut < size ? data[cut] ^ 0x55 : 0x55);
  const Walk whole = walk(data, static_cast<uint32_t>(size), options);
  std::string part =
      without_fsize(walk(reinterpret_cast<const uint8_t*>(bytes.data()), cut, options).trace);
  // A file wrapped in RIFF is another file where the prefix ends before its
  // "data" chunk.
  if (whole.trace.starts_with("RIFF") != part.starts_with("RIFF")) return;
  // So is one that ends before "MThd" within that chunk, as a file shorter than "MThd" is.
  Riff riff;
  if (part.starts_with("RIFF") && find_riff_data(Image{data, static_cast<uint32_t>(size)}, riff) &&
      cut < uint64_t{riff.pos} + 4)
    return;
  if (options & kFull) part = without_columns(part, nullptr);
  const size_t at = part.rfind("unexpected end of file at 0x");
  if (at != std::string::npos) {
    check(part.find('\n', at) == part.size() - 1, "the cut message ends the trace");
    check(strtoul(part.c_str() + at + 28, nullptr, 16) <= cut, "a cut within the prefix");
    part.erase(at);
  }
  std::string all = without_fsize(whole.trace);
  if (options & kFull) all = without_columns(all, nullptr);
  check(all.starts_with(part), "a prefix's trace is a prefix of the trace");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // Exactly the input's bytes on the heap, so that any read past them is caught.
  auto* bytes = static_cast<uint8_t*>(malloc(size ? size : 1));
  memcpy(bytes, data, size);
  check_sites(bytes, static_cast<uint32_t>(size));
  for (int options = 0; options < kAllOptions; ++options) {
    if (!distinct(options)) continue;
    const Walk w = walk(bytes, static_cast<uint32_t>(size), options);
    const std::string printed = w.trace + w.summary;
    check(!(options & kUtf8) || valid_utf8(printed), "-u8 prints UTF-8");
    check(!(options & kJson) || json_lines(printed), "-json prints JSON lines");
    if (options & kFull) {
      // Within a track neither the tick nor the time of an event goes back.
      std::vector<std::vector<Sits>> tracks;
      without_columns(w.trace, &tracks);
      for (const auto& events : tracks)
        for (size_t i = 1; i < events.size(); ++i) {
          check(events[i].tick >= events[i - 1].tick, "ticks go on");
          check(!events[i].timed || events[i].millis >= events[i - 1].millis, "time goes on");
        }
    }
    check_prefix(bytes, size, size ? bytes[size / 2] * size / 256 : 0, options);
  }
  free(bytes);
  return 0;
}
