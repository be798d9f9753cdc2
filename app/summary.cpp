#include "app/summary.h"

namespace {

// Every label is 11 bytes in code page 932, so the columns after it line up.
Text label_of(const Record& rec, int32_t index, const TrackFacts& facts) {
  if (index == rec.conductor_track) return {TXT("Conductor  ")};
  if (index == rec.system_setup_track) return {TXT("SystemSetup")};
  if (facts.used) return {TXT("  使用済   ")};
  return {TXT("    -      ")};
}

}  // namespace

void print_summary(const Record& rec, Encoding e) {
  out<TXT(
      "========================================\ntempo=%4lu\n拍子 %d/%d\n"
      "CMIDI Conductor_Track= %d\n")>(e, rec.tempo, rec.beat_numerator, rec.beat_denominator,
                                      rec.conductor_track);
  for (int32_t i = 0; i < rec.track_count; ++i) {
    const TrackFacts& facts = track_facts(rec, static_cast<uint32_t>(i));
    const Text program =
        facts.program < 0 ? Text{TXT("")} : program_name(static_cast<uint8_t>(facts.program));
    out<"Track %2d (MIDI Track %2d) %s pos 0x%06lx size 0x%06lx %s\n">(
        e, i, facts.channel, label_of(rec, i, facts), facts.pos, facts.size, program);
  }
}
