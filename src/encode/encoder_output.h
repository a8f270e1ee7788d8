#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// What an encoder wrote to its standard output and error, as far as a run needs it: the last
// percentage it printed and its last lines. Only the newest bytes are kept, so an encoder that
// writes without end costs no more memory than one that writes a line.
class EncoderOutput {
 public:
  static constexpr qsizetype kKeptBytes = 4096;

  void Append(QByteArrayView bytes);

  // The percentage of the last progress line: a percentage after at most a short prefix
  // ("42%", "gogo:  42 %", "42.5%"), 0 to 100.
  std::optional<double> LastPercent() const { return last_percent_; }
  // The last line that is no progress line; empty when there is none.
  QString LastMessageLine() const;

 private:
  QByteArray tail_;
  std::optional<double> last_percent_;
};
