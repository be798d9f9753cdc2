#include "smf/names.h"

#include <cstddef>
#include <initializer_list>

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

const char* drum_name(uint8_t key) {
  // clang-format off
  static const char* const kDrums[81 - 35 + 1] = {
      "Acoustic Bass Drum", "Bass Drum 1", "Side Stick", "Acoustic Snare", "Hand Clap",  // 35-39
      "Electric Snare", "Low Floor Tom", "Closed Hi-Hat", "High Floor Tom", "Pedal Hi-Hat",  // 40-44
      "Low Tom", "Open Hi-Hat", "Low-Mid Tom", "Hi-Mid Tom", "Crash Cymbal 1",  // 45-49
      "High Tom", "Ride Cymbal 1", "Chinese Cymbal", "Ride Bell", "Tambourine",  // 50-54
      "Splash Cymbal", "Cowbell", "Crash Cymbal 2", "Vibraslap", "Ride Cymbal 2",  // 55-59
      "Hi Bongo", "Low Bongo", "Mute Hi Conga", "Open Hi Conga", "Low Conga",  // 60-64
      "High Timbale", "Low Timbale", "High Agogo", "Low Agogo", "Cabasa",  // 65-69
      "Maracas", "Short Whistle", "Long Whistle", "Short Guiro", "Long Guiro",  // 70-74
      "Claves", "Hi Wood Block", "Low Wood Block", "Mute Cuica", "Open Cuica",  // 75-79
      "Mute Triangle", "Open Triangle",  // 80-81
  };
  // clang-format on
  return key >= 35 && key <= 81 ? kDrums[key - 35] : nullptr;
}

const char* drum_kit_name(uint8_t p) {
  switch (p + 1) {
    case 1:
      return "Standard";
    case 9:
      return "Room";
    case 17:
      return "Power";
    case 25:
      return "Electronic";
    case 26:
      return "TR-808";
    case 33:
      return "Jazz";
    case 41:
      return "Brush";
    case 49:
      return "Orchestra";
    case 57:
      return "SFX";
    default:
      return nullptr;
  }
}

Text controller_name(uint8_t number) {
  // clang-format off
  static const Text kNames[] = {
      {TXT("バンクセレクトMSB")}, {TXT("モジュレーション")}, {TXT("ブレス・コントローラー")}, {TXT("未定義")},  // 0-3
      {TXT("フット・コントローラー")}, {TXT("ポルタメント・タイム")}, {TXT("データ・エントリー MSB")}, {TXT("ボリューム")},  // 4-7
      {TXT("バランス")}, {TXT("未定義")}, {TXT("パンポット")}, {TXT("エクスプレッション")},  // 8-11
      {TXT("エフェクト・コントロール1")}, {TXT("エフェクト・コントロール2")}, {TXT("未定義")}, {TXT("未定義")},  // 12-15
      {TXT("汎用コントローラー1")}, {TXT("汎用コントローラー2")}, {TXT("汎用コントローラー3")}, {TXT("汎用コントローラー4")},  // 16-19
  };
  static const Text kLsbs[] = {
      {TXT("バンクセレクトLSB")}, {TXT("モジュレーション LSB")}, {TXT("ブレス・コントローラー LSB")}, {TXT("未定義 LSB")},  // 32-35
      {TXT("フット・コントローラー LSB")}, {TXT("ポルタメント・タイム LSB")}, {TXT("データ・エントリー LSB")}, {TXT("ボリューム LSB")},  // 36-39
      {TXT("バランス LSB")}, {TXT("未定義 LSB")}, {TXT("パンポット LSB")}, {TXT("エクスプレッション LSB")},  // 40-43
      {TXT("エフェクト・コントロール1 LSB")}, {TXT("エフェクト・コントロール2 LSB")}, {TXT("未定義 LSB")}, {TXT("未定義 LSB")},  // 44-47
      {TXT("汎用コントローラー1 LSB")}, {TXT("汎用コントローラー2 LSB")}, {TXT("汎用コントローラー3 LSB")}, {TXT("汎用コントローラー4 LSB")},  // 48-51
  };
  static const Text kSwitches[] = {
      {TXT("ホールド1(サステイン)")}, {TXT("ポルタメント")}, {TXT("ソステヌート")}, {TXT("ソフト・ペダル")},  // 64-67
      {TXT("レガート・フットスイッチ")}, {TXT("ホールド2")}, {TXT("サウンド・バリエーション")}, {TXT("ハーモニック・インテンシティ")},  // 68-71
      {TXT("リリース・タイム")}, {TXT("アタック・タイム")}, {TXT("ブライトネス")}, {TXT("ディケイ・タイム")},  // 72-75
      {TXT("ビブラート・レイト")}, {TXT("ビブラート・デプス")}, {TXT("ビブラート・ディレイ")}, {TXT("サウンド・コントローラー10")},  // 76-79
      {TXT("汎用コントローラー5")}, {TXT("汎用コントローラー6")}, {TXT("汎用コントローラー7")}, {TXT("汎用コントローラー8")},  // 80-83
      {TXT("ポルタメント・コントロール")}, {TXT("未定義")}, {TXT("未定義")}, {TXT("未定義")},  // 84-87
      {TXT("高分解能ベロシティ・プリフィックス")}, {TXT("未定義")}, {TXT("未定義")}, {TXT("リバーブ・センド・レベル")},  // 88-91
      {TXT("トレモロ・デプス")}, {TXT("コーラス・センド・レベル")}, {TXT("セレステ・デプス")}, {TXT("フェイザー・デプス")},  // 92-95
      {TXT("データ・インクリメント")}, {TXT("データ・デクリメント")}, {TXT("NRPN LSB")}, {TXT("NRPN MSB")},  // 96-99
      {TXT("RPN LSB")}, {TXT("RPN MSB")},  // 100-101
  };
  static const Text kModes[] = {
      {TXT("オール・サウンド・オフ")}, {TXT("リセット・オール・コントローラー")}, {TXT("ローカル・コントロール")}, {TXT("オール・ノート・オフ")},  // 120-123
      {TXT("オムニ・オフ")}, {TXT("オムニ・オン")}, {TXT("モノ・モード・オン")}, {TXT("ポリ・モード・オン")},  // 124-127
  };
  // clang-format on
  if (number < 20) return kNames[number];
  if (number >= 32 && number < 52) return kLsbs[number - 32];
  if (number >= 64 && number < 102) return kSwitches[number - 64];
  if (number >= 120 && number < 128) return kModes[number - 120];
  return {TXT("未定義")};
}

const Text* rpn_name(uint8_t msb, uint8_t lsb) {
  static const Text kNames[] = {
      {TXT("ピッチ・ベンド・センシティビティ")},
      {TXT("ファイン・チューニング")},
      {TXT("コース・チューニング")},
      {TXT("モジュレーション・デプス・レンジ")},
      {TXT("RPNヌル")},
  };
  if (msb == 0 && lsb <= 2) return &kNames[lsb];
  if (msb == 0 && lsb == 5) return &kNames[3];
  if (msb == 127 && lsb == 127) return &kNames[4];
  return nullptr;
}

const Text* key_signature_name(int8_t sharps, uint8_t mode) {
  // clang-format off
  static const Text kMajor[15] = {
      {TXT("C♭ major")}, {TXT("G♭ major")}, {TXT("D♭ major")}, {TXT("A♭ major")}, {TXT("E♭ major")},
      {TXT("B♭ major")}, {TXT("F major")}, {TXT("C major")}, {TXT("G major")}, {TXT("D major")},
      {TXT("A major")}, {TXT("E major")}, {TXT("B major")}, {TXT("F# major")}, {TXT("C# major")}};
  static const Text kMinor[15] = {
      {TXT("A♭ minor")}, {TXT("E♭ minor")}, {TXT("B♭ minor")}, {TXT("F minor")}, {TXT("C minor")},
      {TXT("G minor")}, {TXT("D minor")}, {TXT("A minor")}, {TXT("E minor")}, {TXT("B minor")},
      {TXT("F# minor")}, {TXT("C# minor")}, {TXT("G# minor")}, {TXT("D# minor")}, {TXT("A# minor")}};
  // clang-format on
  if (sharps < -7 || sharps > 7) return nullptr;
  return mode == 0 ? &kMajor[sharps + 7] : &kMinor[sharps + 7];
}

Sysex sysex_kind(const uint8_t* b, uint32_t n) {
  // The bytes, -1 standing for any (the device number).
  const auto is = [&](std::initializer_list<int> bytes) {
    if (bytes.size() != n) return false;
    uint32_t i = 0;
    for (int x : bytes) {
      if (x >= 0 && b[i] != x) return false;
      ++i;
    }
    return true;
  };
  if (is({0x7E, -1, 0x09, 0x01, 0xF7})) return Sysex::gm_on;
  if (is({0x7E, -1, 0x09, 0x02, 0xF7})) return Sysex::gm_off;
  if (is({0x7E, -1, 0x09, 0x03, 0xF7})) return Sysex::gm2_on;
  if (is({0x41, -1, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})) return Sysex::gs_reset;
  if (is({0x43, -1, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}) && (b[1] & 0xF0) == 0x10)
    return Sysex::xg_on;
  if (is({0x7F, -1, 0x04, 0x01, -1, -1, 0xF7})) return Sysex::master_volume;
  // 41 device model 12, an address of 3 bytes, data, checksum, F7.
  if (n >= 9 && b[0] == 0x41 && b[3] == 0x12 && b[n - 1] == 0xF7) return Sysex::data_set;
  return Sysex::none;
}

const char* sysex_name(Sysex kind) {
  switch (kind) {
    case Sysex::gm_on:
      return "GM System On";
    case Sysex::gm_off:
      return "GM System Off";
    case Sysex::gm2_on:
      return "GM2 System On";
    case Sysex::gs_reset:
      return "GS Reset";
    case Sysex::xg_on:
      return "XG System On";
    case Sysex::master_volume:
      return "master volume";
    case Sysex::data_set:
      return "DT1";
    default:
      return nullptr;
  }
}

bool data_set_checksum_ok(const uint8_t* b, uint32_t n) {
  unsigned sum = 0;
  for (uint32_t i = 4; i + 1 < n; ++i) sum += b[i];
  return sum % 128 == 0;
}

bool meta_length_fits(uint8_t type, uint32_t length) {
  switch (type) {
    case 0x00:
      return length == 0 || length == 2;
    case 0x20:
    case 0x21:
      return length == 1;
    case 0x2F:
      return length == 0;
    case 0x51:
      return length == 3;
    case 0x54:
      return length == 5;
    case 0x58:
      return length == 4;
    case 0x59:
      return length == 2;
    default:
      return true;
  }
}
