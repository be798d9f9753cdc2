#include "smf/record.h"

int make_record(Record& rec, uint32_t size) {
  rec = Record{};
  rec.conductor_track = -1;
  rec.system_setup_track = -1;
  // Every "MTrk" chunk takes at least its 8-byte head.
  const uint32_t capacity = size / 8 < kMaxRecordedTracks ? size / 8 + 1 : kMaxRecordedTracks;
  rec.tracks.reset(static_cast<TrackFacts*>(calloc(capacity, sizeof(TrackFacts))));
  if (!rec.tracks) return 1;
  rec.track_capacity = capacity;
  return 0;
}

const TrackFacts& track_facts(const Record& rec, uint32_t i) {
  static const TrackFacts cleared{0, 0, -1, 0, false};
  return i < rec.track_entries ? rec.tracks[i] : cleared;
}

TrackFacts* new_track_slot(Record& rec, uint32_t i) {
  if (i >= rec.track_capacity) return nullptr;
  for (uint32_t j = rec.track_entries; j <= i; ++j) rec.tracks[j].program = -1;
  rec.track_entries = i + 1;
  return &rec.tracks[i];
}
