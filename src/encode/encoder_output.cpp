#include "encode/encoder_output.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// A progress line is a percentage and nothing after it, with at most a short prefix such as
// "gogo: " or "(": a number of up to three digits, maybe with decimals, and a percent sign,
// maybe after a blank. A line that says more, a file name such as "Remix 100% live.wav" among
// it, is a message.
const QRegularExpression& ProgressPattern() {
  static const QRegularExpression pattern(
      QStringLiteral("^.{0,16}?(?<!\\d)(\\d{1,3}(?:[.,]\\d+)?) ?%$"));
  return pattern;
}

// The percentage a line shows, when it is a progress line; over 100 is a progress line that
// shows nothing.
std::optional<std::optional<double>> ProgressOf(const QString& line) {
  const QRegularExpressionMatch match = ProgressPattern().match(line.trimmed());
  if (!match.hasMatch()) return std::nullopt;
  QString number = match.captured(1);
  number.replace(QLatin1Char(','), QLatin1Char('.'));
  const double value = number.toDouble();
  return value <= 100 ? std::optional<double>(value) : std::nullopt;
}

// A carriage return rewrites the line on a terminal: what follows it is a line of its own.
QStringList LinesOf(const QByteArray& bytes) {
  return QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("[\r\n]")));
}

}  // namespace

void EncoderOutput::Append(QByteArrayView bytes) {
  // The line still open before these bytes may be completed by them, so it is looked at again.
  qsizetype start = std::max(tail_.lastIndexOf('\r'), tail_.lastIndexOf('\n')) + 1;
  bool after_return = start > 0 && tail_.at(start - 1) == '\r';
  const QByteArray recent = tail_.mid(start) + bytes.toByteArray();
  start = 0;
  for (qsizetype at = 0; at <= recent.size(); ++at) {
    const bool line_end = at < recent.size() && (recent.at(at) == '\r' || recent.at(at) == '\n');
    if (!line_end && at < recent.size()) continue;
    // A line still open counts only where it rewrites a terminal line, as percents do; any
    // other may yet turn out to be a message that names a percentage.
    if (line_end || after_return) {
      const auto progress = ProgressOf(QString::fromUtf8(recent.mid(start, at - start)));
      if (progress && *progress) last_percent_ = *progress;
    }
    if (line_end) after_return = recent.at(at) == '\r';
    start = at + 1;
  }
  tail_.append(bytes.last(std::min(bytes.size(), kKeptBytes)));
  if (tail_.size() > kKeptBytes) tail_.remove(0, tail_.size() - kKeptBytes);
}

QString EncoderOutput::LastMessageLine() const {
  const QStringList lines = LinesOf(tail_);
  for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
    const QString text = line->trimmed();
    if (!text.isEmpty() && !ProgressOf(text)) return text;
  }
  return {};
}
