#include "encode/encoder_output.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// A number of up to three digits, maybe with decimals, and a percent sign, maybe after a blank.
const QRegularExpression& PercentPattern() {
  static const QRegularExpression pattern(QStringLiteral("(\\d{1,3}(?:[.,]\\d+)?) ?%"));
  return pattern;
}

std::optional<double> LastPercentIn(const QString& text) {
  std::optional<double> last;
  for (const QRegularExpressionMatch& match : PercentPattern().globalMatch(text)) {
    QString number = match.captured(1);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    const double value = number.toDouble();
    if (value <= 100) last = value;
  }
  return last;
}

}  // namespace

void EncoderOutput::Append(QByteArrayView bytes) {
  // A percentage may arrive cut in two; the few bytes before the new ones complete it.
  const qsizetype overlap = std::min<qsizetype>(tail_.size(), 8);
  const QString recent = QString::fromUtf8(tail_.right(overlap) + bytes.toByteArray());
  if (std::optional<double> percent = LastPercentIn(recent)) last_percent_ = percent;
  tail_.append(bytes.last(std::min(bytes.size(), kKeptBytes)));
  if (tail_.size() > kKeptBytes) tail_.remove(0, tail_.size() - kKeptBytes);
}

QString EncoderOutput::LastMessageLine() const {
  // A carriage return rewrites the line on a terminal: what follows it is a line of its own.
  const QStringList lines =
      QString::fromUtf8(tail_).split(QRegularExpression(QStringLiteral("[\r\n]")));
  for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
    const QString text = line->trimmed();
    if (!text.isEmpty() && !PercentPattern().match(text).hasMatch()) return text;
  }
  return {};
}
