#pragma once
#include <cstdint>
#include <vector>

// Large, well-formed Standard MIDI Files for timing the trace.
//
// The file is format 1 with 16 tracks and a division of 480 ticks: track 0
// is a conductor track (names, copyright, tempo, time and key signatures,
// markers), tracks 1 to 15 are instrument tracks, one channel each, holding
// mostly notes on and off, with control changes of named and unnamed
// controllers, program changes, pitch bends, texts, markers and system
// exclusive messages. By default every event has its own status byte (no
// running status); written with running status, a channel message whose
// status equals the previous channel status of its track leaves its status
// byte out, as real files do, and every meta event and system exclusive
// message cancels running status, so that the next channel message writes
// its status again. Such a file holds exactly the events of the one without
// running status for the same size, in fewer bytes (some 8 % fewer: most
// note offs have a status of their own, which breaks the runs of note ons).
// Delta times take 1 to 3 bytes, meta texts are shorter than 128 bytes and
// hold no NUL byte, and every track ends with FF 2F 00.
//
// The bytes depend on the arguments alone: the same call gives the same file
// on every machine and with every library.

// What a generated file holds, for checking a trace of it.
struct BigFileCounts {
  uint64_t events = 0;      // every event, end-of-track events included
  uint64_t note_ons = 0;    // status 0x90..0x9F
  uint64_t note_offs = 0;   // status 0x80..0x8F
  uint64_t tempos = 0;      // FF 51 events
  uint64_t omitted_status = 0;  // status bytes that running status left out
};

// A file of about `target_bytes` bytes (it ends within a few hundred bytes
// of it; at least a few kilobytes). With `with_tempo` false, the same file
// without its tempo events, for timing the tempo-track insertion. With
// `running_status` true, the same events written with running status, in
// fewer bytes than `target_bytes`.
std::vector<uint8_t> make_big_file(uint64_t target_bytes, bool with_tempo,
                                   BigFileCounts* counts = nullptr, bool running_status = false);
