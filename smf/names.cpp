#include "smf/names.h"

// clang-format off
const char* const program_names[128] = {
    "Acoustic Piano", "Bright Piano", "Electric Grand Piano", "Honky-tonk Piano", "Electric Piano", "Electric Piano 2", "Harpsichord", "Clavi",  // 0 to 7
    "Celesta", "Glockenspiel", "Musical box", "Vibraphone", "Marimba", "Xylophone", "Tubular Bell", "Dulcimer",  // 8 to 15
    "Drawbar Organ", "Percussive Organ", "Rock Organ", "Church organ", "Reed organ", "Accordion", "Harmonica", "Tango Accordion",  // 16 to 23
    "Acoustic Guitar (nylon)", "Acoustic Guitar (steel)", "Electric Guitar (jazz)", "Electric Guitar (clean)", "Electric Guitar (muted)", "Overdriven Guitar", "Distortion Guitar", "Guitar harmonics",  // 24 to 31
    "Acoustic Bass", "Electric Bass (finger)", "Electric Bass (pick)", "Fretless Bass", "Slap Bass 1", "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",  // 32 to 39
    "Violin", "Viola", "Cello", "Double bass", "Tremolo Strings", "Pizzicato Strings", "Orchestral Harp", "Timpani",  // 40 to 47
    "String Ensemble 1", "String Ensemble 2", "Synth Strings 1", "Synth Strings 2", "Voice Aahs", "Voice Oohs", "Synth Voice", "Orchestra Hit",  // 48 to 55
    "Trumpet", "Trombone", "Tuba", "Muted Trumpet", "French horn", "Brass Section", "Synth Brass 1", "Synth Brass 2",  // 56 to 63
    "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax", "Oboe", "English Horn", "Bassoon", "Clarinet",  // 64 to 71
    "Piccolo", "Flute", "Recorder", "Pan Flute", "Blown Bottle", "Shakuhachi", "Whistle", "Ocarina",  // 72 to 79
    "Lead 1 (square)", "Lead 2 (sawtooth)", "Lead 3 (calliope)", "Lead 4 (chiff)", "Lead 5 (charang)", "Lead 6 (voice)", "Lead 7 (fifths)", "Lead 8 (bass + lead)",  // 80 to 87
    "Pad 1 (Fantasia)", "Pad 2 (warm)", "Pad 3 (polysynth)", "Pad 4 (choir)", "Pad 5 (bowed)", "Pad 6 (metallic)", "Pad 7 (halo)", "Pad 8 (sweep)",  // 88 to 95
    "FX 1 (rain)", "FX 2 (soundtrack)", "FX 3 (crystal)", "FX 4 (atmosphere)", "FX 5 (brightness)", "FX 6 (goblins)", "FX 7 (echoes)", "FX 8 (sci-fi)",  // 96 to 103
    "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe", "Fiddle", "Shanai",  // 104 to 111
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock", "Taiko Drum", "Melodic Tom", "Synth Drum", "Reverse Cymbal",  // 112 to 119
    "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet", "Telephone Ring", "Helicopter", "Applause", "Gunshot",  // 120 to 127
};
// clang-format on

Text program_name(uint8_t p) {
  if (p < 128) return {program_names[p], reinterpret_cast<const char8_t*>(program_names[p])};
  return {TXT("---(out of 0～127")};
}

const Text key_names[13] = {{TXT("B")}, {TXT("D♭")}, {TXT("A♭")}, {TXT("E♭")}, {TXT("B♭")},
                            {TXT("F")}, {TXT("C")},  {TXT("G")},  {TXT("D")},  {TXT("A")},
                            {TXT("E")}, {TXT("B")},  {TXT("F")}};

Text key_name(uint8_t key_byte) {
  const int key = static_cast<int8_t>(key_byte);
  return key >= -6 && key <= 6 ? key_names[key + 6] : Text{TXT("---(out of -6～6")};
}
