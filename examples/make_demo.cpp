// Writes the demo file shown in the README: a conductor track, a
// "System Setup" track and two instrument tracks with program changes,
// controllers and notes.
//
//   make_demo OUT.mid
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes& b, std::initializer_list<int> bytes) {
  for (int v : bytes) b.push_back(static_cast<uint8_t>(v));
}

void put_text(Bytes& b, int type, const char* text) {
  put(b, {0x00, 0xFF, type, static_cast<int>(strlen(text))});
  b.insert(b.end(), text, text + strlen(text));
}

void put_chunk(Bytes& file, const char* type, const Bytes& body) {
  file.insert(file.end(), type, type + 4);
  const uint32_t n = static_cast<uint32_t>(body.size());
  put(file, {int(n >> 24), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)});
  file.insert(file.end(), body.begin(), body.end());
}

Bytes conductor() {
  Bytes t;
  put_text(t, 0x03, "Demo Song");
  put_text(t, 0x02, "(c) smfscope demo");
  put(t, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});        // 120 bpm
  put(t, {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});  // 3/4
  put(t, {0x00, 0xFF, 0x59, 0x02, 0xFD, 0x00});              // E flat major
  put_text(t, 0x06, "Intro");
  put(t, {0x00, 0xFF, 0x2F, 0x00});
  return t;
}

Bytes system_setup() {
  Bytes t;
  put_text(t, 0x03, "System Setup");
  put(t, {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // GM system on
  put(t, {0x00, 0xFF, 0x21, 0x01, 0x00});                    // port 0
  put(t, {0x00, 0xFF, 0x2F, 0x00});
  return t;
}

Bytes piano() {
  Bytes t;
  put_text(t, 0x03, "Piano");
  put(t, {0x00, 0xB0, 0x00, 0x00});  // bank select
  put(t, {0x00, 0xC0, 0x00});        // Acoustic Piano
  put(t, {0x00, 0xB0, 0x07, 0x64});  // volume 100
  put(t, {0x00, 0xB0, 0x0A, 0x40});  // pan centre
  put(t, {0x00, 0xB0, 0x5B, 0x28});  // reverb 40
  put(t, {0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x00, 0x90, 0x43, 0x64});
  put(t, {0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x80, 0x40, 0x40, 0x00, 0x80, 0x43, 0x40});
  put(t, {0x00, 0xFF, 0x2F, 0x00});
  return t;
}

Bytes strings() {
  Bytes t;
  put_text(t, 0x03, "Strings");
  put(t, {0x00, 0xC1, 0x30});        // String Ensemble 1
  put(t, {0x00, 0xB1, 0x0B, 0x70});  // expression
  put(t, {0x00, 0xB1, 0x01, 0x10});  // modulation
  put(t, {0x00, 0x91, 0x30, 0x50});
  put(t, {0x81, 0x70, 0xE1, 0x00, 0x50});  // pitch bend up a little
  put(t, {0x81, 0x70, 0x81, 0x30, 0x00});
  put(t, {0x00, 0xFF, 0x2F, 0x00});
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_demo OUT.mid\n");
    return 2;
  }
  Bytes file;
  put_chunk(file, "MThd", {0x00, 0x01, 0x00, 0x04, 0x01, 0xE0});  // format 1, 4 tracks, 480
  put_chunk(file, "MTrk", conductor());
  put_chunk(file, "MTrk", system_setup());
  put_chunk(file, "MTrk", piano());
  put_chunk(file, "MTrk", strings());
  FILE* out = fopen(argv[1], "wb");
  if (!out) {
    perror(argv[1]);
    return 1;
  }
  const bool ok = fwrite(file.data(), 1, file.size(), out) == file.size();
  return fclose(out) == 0 && ok ? 0 : 1;
}
