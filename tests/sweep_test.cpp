// The fuzz target's checks on its seed corpus, and on every prefix and every
// one-byte change of a file with every kind of item, of the demo file and of
// a file written with running status, with and without -noteon, -rs and -u8. In
// the sanitizer build any read outside the image stops them.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/smf_fuzz.h"
#include "support.h"

TEST(Fuzz, CorpusPrefixesAndByteChanges) {
  for (const auto& seed : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
    const std::string bytes = read_file(seed.path());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  for (std::string file : {read_file(FUZZ_CORPUS "/every_item.mid"), read_file(EXAMPLES "/demo.mid"),
                           read_file(FUZZ_CORPUS "/running_status.mid")}) {
    auto* data = reinterpret_cast<const uint8_t*>(file.data());
    for (size_t cut = 0; cut <= file.size(); ++cut)
      for (int options = 0; options < kAllOptions; ++options) check_prefix(data, file.size(), cut, options);
    for (char& byte : file) {
      const char kept = byte;
      for (int value : {0x00, 0x7F, 0x81, 0xF0, 0xFF}) {
        byte = static_cast<char>(value);
        LLVMFuzzerTestOneInput(data, file.size());
      }
      byte = kept;
    }
  }
}
