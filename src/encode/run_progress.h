#pragma once

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <optional>

// The progress of a whole run, weighted by the files' sizes on disk, and an estimate of the time
// it still needs.
class RunProgress {
 public:
  // A run over files of `total_bytes` together begins at `now_ms`.
  void Start(qint64 total_bytes, qint64 now_ms);
  // The files of the run weigh `total_bytes` together, found after the start.
  void SetTotal(qint64 total_bytes) { total_bytes_ = std::max<qint64>(total_bytes, 0); }
  // The current file, of `bytes`, begins; the files before it are done.
  void BeginFile(qint64 bytes);
  // The current file is `percent` done.
  void SetFilePercent(double percent) { file_percent_ = percent; }

  // Done so far, 0 to 1.
  double Fraction() const;
  // "noch etwa 2:35" once the run has gone a few seconds and made some progress; empty before.
  QString RemainingText(qint64 now_ms) const;

  static constexpr qint64 kEstimateAfterMs = 3000;

 private:
  qint64 total_bytes_ = 0;
  qint64 done_bytes_ = 0;
  qint64 file_bytes_ = 0;
  double file_percent_ = 0;
  qint64 start_ms_ = 0;
};
