// Replays inputs through the fuzz target without libFuzzer, so that a finding
// can be reproduced with any compiler:
//   smf_fuzz_replay PATH...
// A PATH is an input file or a directory (its files in name order, not
// descending; README.md left out).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
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
