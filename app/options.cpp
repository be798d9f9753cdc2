#include "app/options.h"

#include <cstdlib>
#include <cstring>

namespace {

uint32_t parse_tempo(const char* text) {
  while (is_space(*text)) ++text;
  int c = static_cast<unsigned char>(*text);
  return read_number(c, [&text] { return static_cast<unsigned char>(*++text); });
}

}  // namespace

bool scan(int argc, char** argv, Options& o) {
  o.roles = static_cast<Role*>(calloc(static_cast<size_t>(argc), sizeof(Role)));
  if (!o.roles) return false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "-v") == 0) {
      o.tempo_mode = false;
    } else if (strcmp(arg, "-t") == 0) {
      o.tempo_mode = true;
      if (i + 1 < argc) {
        o.newtempo = parse_tempo(argv[i + 1]);
        if (o.newtempo != 0) {
          o.roles[++i] = Role::tempo;
        } else {
          o.roles[i] = Role::tempo_missing;
        }
      }
    } else if (strcmp(arg, "-noteon") == 0) {
      o.walk.all_notes = true;
    } else if (strcmp(arg, "-rs") == 0) {
      o.walk.running_status = true;
    } else if (strcmp(arg, "-u8") == 0) {
      o.utf8 = true;
    } else if (strcmp(arg, "-full") == 0) {
      o.full = true;
    } else if (strcmp(arg, "-json") == 0) {
      o.json = true;
    } else if (strcmp(arg, "-check") == 0) {
      o.check = true;
    } else {
      o.roles[i] = Role::file_name;
      o.midi_path = arg;
    }
  }
  return true;
}
