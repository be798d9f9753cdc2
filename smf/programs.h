#pragma once
#include <cstdint>

// The 128 General MIDI program names, by program number.
extern const char* const program_names[128];

// The name of program `p` as traced and summarised: the table's entry for
// 0..127, a placeholder for 128..255.
const char* program_name(uint8_t p);
