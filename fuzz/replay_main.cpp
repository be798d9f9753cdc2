// Replays inputs through the fuzz target without libFuzzer, so that a finding
// can be reproduced with any compiler:
//   smf_fuzz_replay PATH...
// A PATH is an input file, a directory (its files in name order, not
// descending; README.md left out) or, named *.hex, an input written as
// annotated hex: pairs of hex digits, "ASCII" as written, # comments.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int g_inputs = 0;

bool read_file(const std::string& path, std::string& bytes) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes.clear();
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  const bool ok = !ferror(f);
  fclose(f);
  return ok;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The bytes of annotated hex; false with `error` naming the line.
bool parse_hex(const std::string& text, std::string& out, std::string& error) {
  int line = 1;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      if (end == std::string::npos || text.find('\n', i) < end) {
        error = "line " + std::to_string(line) + ": unterminated string";
        return false;
      }
      out.append(text, i + 1, end - i - 1);
      i = end + 1;
    } else if (i + 1 < text.size() && isxdigit(static_cast<unsigned char>(c)) &&
               isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
      i += 2;
    } else {
      error = "line " + std::to_string(line) + ": unexpected '" + std::string(1, c) + "'";
      return false;
    }
  }
  return true;
}

void replay(const std::string& label, const std::string& bytes) {
  fprintf(stderr, "replay %s (%zu bytes)\n", label.c_str(), bytes.size());
  // The target copies the input into a buffer of exactly its size itself.
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ++g_inputs;
}

bool replay_path(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    fprintf(stderr, "cannot open %s\n", path.c_str());
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        struct stat entry;
        if (name != "README.md" && stat((path + "/" + name).c_str(), &entry) == 0 &&
            S_ISREG(entry.st_mode))
          names.push_back(name);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
      if (!replay_path(path + "/" + name)) return false;
    return true;
  }
  std::string bytes;
  if (!read_file(path, bytes)) {
    fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  if (ends_with(path, ".hex")) {
    std::string input, error;
    if (!parse_hex(bytes, input, error)) {
      fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      return false;
    }
    bytes = input;
  }
  replay(path, bytes);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PATH...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i)
    if (!replay_path(argv[i])) return 1;
  fprintf(stderr, "%d inputs replayed, every property holds\n", g_inputs);
  return 0;
}
