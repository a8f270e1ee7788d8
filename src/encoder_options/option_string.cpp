#include "encoder_options/option_string.h"

#include <iterator>

namespace {

constexpr int kFirstBitratePosition = 2;  // positions 0 and 1 are "Standard" and the separator

// The bitrate that a menu position stands for, or 0 for "Standard" and for positions that hold
// no bitrate (the separator, or a position past the table).
int BitrateAt(int position) {
  const int index = position - kFirstBitratePosition;
  if (index < 0 || index >= static_cast<int>(std::size(kBitrateTable))) return 0;
  return kBitrateTable[index];
}

QChar ModeLetter(int position) {
  switch (position) {
    case 2:
      return u'm';
    case 3:
      return u's';
    default:
      return u'j';
  }
}

}  // namespace

QString OptionsBeforeText(const EncoderOptionValues& values) {
  // Every option ends in a blank; the last one is dropped at the end.
  QString text;
  if (const int bitrate = BitrateAt(values.bitrate_position); bitrate != 0) {
    text += QStringLiteral("-b %1 ").arg(bitrate);
  }
  if (values.mode_position != 0) {
    text += QStringLiteral("-m ") + ModeLetter(values.mode_position) + u' ';
  }
  if (values.disable_psycho) text += QStringLiteral("-nopsy ");
  if (values.delete_wave) text += QStringLiteral("-delete ");
  if (!values.output_directory.isEmpty()) {
    // Only the blank splits words, so only a blank needs the quotes.
    if (values.output_directory.contains(u' ')) {
      text += QStringLiteral("-o \"") + values.output_directory + QStringLiteral("\" ");
    } else {
      text += QStringLiteral("-o ") + values.output_directory + u' ';
    }
  }
  if (!values.extra_parameters.isEmpty()) text += values.extra_parameters + u' ';
  text.chop(1);
  return text;
}
