#pragma once

#include <QString>

// The state of the encoder options tab, as the option string needs it.
struct EncoderOptionValues {
  int bitrate_position = 0;  // 0 "Standard", 1 separator, 2..15 the bitrate table
  int mode_position = 0;     // 0 "Standard", 1 separator, 2 mono, 3 stereo, 4 joint stereo
  bool disable_psycho = false;
  bool delete_wave = false;
  QString output_directory;
  QString extra_parameters;
};

// Bitrates in kbit/s, in menu order.
inline constexpr int kBitrateTable[14] = {32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320};

// The options that precede the input file, e.g. `-b 128 -m j -nopsy -delete -o "/a b" -q 2`.
QString OptionsBeforeText(const EncoderOptionValues& values);

// The options that follow the input file: always empty.
inline QString OptionsAfterText() { return {}; }
