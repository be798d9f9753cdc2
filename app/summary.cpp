#include "app/summary.h"

#include "smf/out.h"

namespace {

// Every label is 11 bytes as printed, so the columns after it line up.
const char* label_of(const CMIDI& rec, int32_t index, const TrackFacts& facts) {
  if (index == rec.Conductor_Track) return "Conductor  ";
  if (index == rec.System_Setup_Track) return "SystemSetup";
  if (facts.track_used) return "  使用済   ";
  return "    -      ";
}

}  // namespace

void print_summary(const CMIDI& rec) {
  out<"========================================\n">();
  out<"tempo=%4lu\n">(static_cast<unsigned long>(rec.tempo));
  out<"拍子 %d/%d\n">(rec.beat_numerator, rec.beat_denominator);
  out<"CMIDI Conductor_Track= %d\n">(rec.Conductor_Track);
  for (int32_t i = 0; i < rec.Track_Count; ++i) {
    const TrackFacts& facts = track_facts(rec, static_cast<uint32_t>(i));
    out<"Track %2d (MIDI Track %2d) %s pos 0x%06lx size 0x%06lx %s\n">(
        i, facts.track_channel, label_of(rec, i, facts),
        static_cast<unsigned long>(facts.track_pos), static_cast<unsigned long>(facts.track_size),
        facts.track_program ? facts.track_program : "");
  }
}
