#include "smf/record.h"

#include <cstdlib>
#include <cstring>

const TrackFacts& track_facts(const CMIDI& rec, uint32_t i) {
  static const TrackFacts cleared{};
  return i < rec.track_entries ? rec.tracks[i] : cleared;
}

TrackFacts* track_slot(CMIDI& rec, uint32_t i) {
  if (i < rec.track_entries) return &rec.tracks[i];
  if (i >= rec.track_capacity) {
    uint64_t want = rec.track_capacity ? uint64_t{rec.track_capacity} * 2 : MAX_TRACKS;
    if (want <= i) want = uint64_t{i} + 1;
    if (want > UINT32_MAX) want = UINT32_MAX;
    if (want <= i) return nullptr;
    void* grown = realloc(rec.tracks, want * sizeof(TrackFacts));
    if (!grown) return nullptr;
    rec.tracks = static_cast<TrackFacts*>(grown);
    rec.track_capacity = static_cast<uint32_t>(want);
  }
  memset(static_cast<void*>(rec.tracks + rec.track_entries), 0,
         (uint64_t{i} + 1 - rec.track_entries) * sizeof(TrackFacts));
  rec.track_entries = i + 1;
  return &rec.tracks[i];
}

void release_tracks(CMIDI& rec) {
  free(rec.tracks);
  rec.tracks = nullptr;
  rec.track_entries = 0;
  rec.track_capacity = 0;
}
