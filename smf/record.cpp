#include "smf/record.h"

#include <cstdlib>

int make_record(CMIDI& rec, uint32_t fsize, bool show_all_notes, bool running_status) {
  rec = CMIDI{};
  rec.fsize = fsize;
  rec.show_all_notes = show_all_notes;
  rec.running_status = running_status;
  rec.Conductor_Track = -1;
  rec.System_Setup_Track = -1;
  // Every "MTrk" chunk takes at least its 8-byte head.
  const uint32_t capacity = fsize / 8 < kMaxRecordedTracks ? fsize / 8 + 1 : kMaxRecordedTracks;
  rec.tracks = static_cast<TrackFacts*>(calloc(capacity, sizeof(TrackFacts)));
  if (!rec.tracks) return 1;
  rec.track_capacity = capacity;
  return 0;
}

const TrackFacts& track_facts(const CMIDI& rec, uint32_t i) {
  static const TrackFacts cleared{};
  return i < rec.track_entries ? rec.tracks[i] : cleared;
}

TrackFacts* track_slot(CMIDI& rec, uint32_t i) {
  if (i >= rec.track_capacity) return nullptr;
  if (i >= rec.track_entries) rec.track_entries = i + 1;
  return &rec.tracks[i];
}
