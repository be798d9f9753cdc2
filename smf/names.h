#pragma once
#include <cstdint>

// The names the program gives to what a file holds.

// A text of the program's own in both of its output encodings, as the
// compiler gives them: code page 932 (the program is compiled with
// -fexec-charset=CP932) and UTF-8.
struct Text {
  const char* cp932;
  const char8_t* utf8;
};

// A literal in both encodings: Text{TXT("E♭")}, or a format of out<>.
#define TXT(literal) literal, u8"" literal

// The 128 General MIDI program names, by program number (ASCII).
extern const char* const program_names[128];

// The name of program `p` as traced and summarised: the table's entry for
// 0..127, a placeholder for 128..255.
Text program_name(uint8_t p);

// The major key with -6..6 flats or sharps, by key byte + 6. -6 and 5 are
// both "B", -1 and 6 both "F".
extern const Text key_names[13];

// The key of a key signature's key byte: its row of key_names, or
// "---(out of -6～6" outside -6..6.
Text key_name(uint8_t key_byte);

// Every key's name with its octave, middle C (60) being "C4", sharps as
// "#": "C#4"; then "-", the name of any number above 127. Made when the
// program is compiled, each in four bytes, those it leaves 0.
struct NoteNames {
  char text[129][4];
  uint8_t length[129];
  consteval NoteNames() : text{}, length{} {
    const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    for (int key = 0; key < 128; ++key) {
      const int octave = key / 12 - 1;
      int n = 0;
      for (const char* c = names[key % 12]; *c; ++c) text[key][n++] = *c;
      if (octave < 0) text[key][n++] = '-';
      text[key][n++] = static_cast<char>('0' + (octave < 0 ? -octave : octave));
      length[key] = static_cast<uint8_t>(n);
    }
    text[128][0] = '-';
    length[128] = 1;
  }
};
inline constexpr NoteNames kNoteNames;

// The row of kNoteNames for key `key`.
constexpr unsigned note_row(uint8_t key) { return key > 127 ? 128 : key; }

// A name of at most four bytes in a slot of four, those after it 0: printed
// by copying the slot whole.
struct ShortName {
  using Slot = char[4];
  const Slot& slot;
  uint8_t length;
};

// The name of key `key`; "-" for a number above 127.
inline ShortName note_name(uint8_t key) {
  return {kNoteNames.text[note_row(key)], kNoteNames.length[note_row(key)]};
}

// The General MIDI percussion name of key 35..81 on channel 10; null for
// any other key.
const char* drum_name(uint8_t key);

// The name of a drum kit chosen by program `p` on channel 10: the GS kits
// by their number p + 1 (1 "Standard", 9 "Room", ...); null for the others.
const char* drum_kit_name(uint8_t p);

// The name of controller 0..127, the standard MIDI names in the program's
// Japanese; undefined numbers are "未定義".
Text controller_name(uint8_t number);

// The name of registered parameter msb/lsb (0/0 pitch bend sensitivity,
// 0/1 fine tuning, 0/2 coarse tuning, 0/5 modulation depth range, 127/127
// null); null for the others.
const Text* rpn_name(uint8_t msb, uint8_t lsb);

// The name of a key signature: `sharps` (negative: flats) and the mode
// byte (0 major, else minor), named by its own tonic: "A minor", "E♭
// major"; null outside -7..7.
const Text* key_signature_name(int8_t sharps, uint8_t mode);

// The system exclusive messages the program knows, by the bytes of an F0
// message after its length.
enum class Sysex { none, gm_on, gm_off, gm2_on, gs_reset, xg_on, master_volume, data_set };
Sysex sysex_kind(const uint8_t* bytes, uint32_t n);

// The name of a known message: "GM System On", ..., "master volume",
// "DT1" for a data set message of maker 41; null for none.
const char* sysex_name(Sysex kind);

// Whether the address, data and checksum of a data set message (DT1) add up
// to a multiple of 128, as they must.
bool data_set_checksum_ok(const uint8_t* bytes, uint32_t n);

// Whether a meta event's length, as the file gives it, fits its type: 2 or
// 0 for a sequence number, 1 for channel prefix and port, 0 for the end of
// a track, 3 for a tempo, 5 for an SMPTE offset, 4 for a time signature, 2
// for a key signature; any for the others.
bool meta_length_fits(uint8_t type, uint32_t length);
