#include "encode/run_progress.h"

#include <algorithm>
#include <cmath>

void RunProgress::Start(qint64 total_bytes, qint64 now_ms) {
  total_bytes_ = std::max<qint64>(total_bytes, 0);
  done_bytes_ = 0;
  file_bytes_ = 0;
  file_percent_ = 0;
  start_ms_ = now_ms;
}

void RunProgress::BeginFile(qint64 bytes) {
  done_bytes_ += file_bytes_;
  file_bytes_ = std::max<qint64>(bytes, 0);
  file_percent_ = 0;
}

double RunProgress::Fraction() const {
  if (total_bytes_ <= 0) return 0;
  const double done = double(done_bytes_) + double(file_bytes_) * file_percent_ / 100;
  return std::clamp(done / double(total_bytes_), 0.0, 1.0);
}

QString RunProgress::RemainingText(qint64 now_ms) const {
  const qint64 elapsed = now_ms - start_ms_;
  const double fraction = Fraction();
  if (elapsed < kEstimateAfterMs || fraction <= 0) return {};
  const auto seconds = qint64(std::lround(double(elapsed) * (1 - fraction) / fraction / 1000));
  const auto two_digits = [](qint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
  };
  const QString clock =
      seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                            .arg(seconds / 3600)
                            .arg(two_digits(seconds / 60 % 60), two_digits(seconds % 60))
                      : QStringLiteral("%1:%2").arg(seconds / 60).arg(two_digits(seconds % 60));
  return QStringLiteral("noch etwa ") + clock;
}
