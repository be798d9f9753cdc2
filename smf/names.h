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
