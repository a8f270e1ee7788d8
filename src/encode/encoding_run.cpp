#include "encode/encoding_run.h"

#include <QFileInfo>

#include "encode/argument_split.h"

QString FileText(const QString& path) {
  if (!path.contains(QLatin1Char(' '))) return path;
  return QLatin1Char('"') + path + QLatin1Char('"');
}

QStringList EncoderWords(const QString& options_before, const QString& path,
                         const QString& options_after) {
  // Each option string is split on its own, so an unclosed quote in one of them cannot swallow
  // the path, and the path is never split at all.
  QStringList words = SplitArguments(options_before);
  words.append(path);
  words.append(SplitArguments(options_after));
  return words;
}

void EncodingRun::Start(const QString& encoder_location) {
  const QString resolved = QFileInfo(encoder_location).canonicalFilePath();
  if (resolved.isEmpty()) {
    ports_.ShowAlert(alerts::EncodeFailed(encoder_location));
    return;
  }
  encoder_ref_ = resolved;
  // A process of an earlier run must never count as this run's encoder.
  encoder_pid_ = 0;
  file_index_ = 0;
  options_before_ = ports_.OptionsBefore();
  options_after_ = ports_.OptionsAfter();
  encoding_ = true;
  ports_.ShowProgress();
  ports_.StartWatching();
  EncodeNext();
}

void EncodingRun::EncodeNext() {
  const int file_count = ports_.FileCount();
  // The list may have shrunk during the run; never read past its end.
  if (file_index_ >= file_count) {
    EndRun();
    return;
  }
  const QString path = ports_.FileAt(file_index_);
  ports_.SetProgressTexts(FileText(path),
                          QStringLiteral("Datei %1 von %2").arg(file_index_ + 1).arg(file_count));
  ports_.SetProgressButtonsEnabled(true);
  qint64 pid = 0;
  const int status =
      ports_.Launch(encoder_ref_, EncoderWords(options_before_, path, options_after_), &pid);
  if (status != 0) {
    ports_.ShowAlert(alerts::LaunchFailed());
    EndRun();
    return;
  }
  encoder_pid_ = pid;
  ++file_index_;
}

void EncodingRun::Skip() {
  if (!encoding_) return;
  ports_.SetProgressButtonsEnabled(false);
  KillEncoder();
}

void EncodingRun::Stop() {
  if (!encoding_) return;
  ports_.StopWatching();
  KillEncoder();
  encoding_ = false;
  file_index_ = 0;
  ports_.HideProgress();
}

void EncodingRun::ProcessEnded(const QString& executable, qint64 pid) {
  if (!encoding_ || encoder_pid_ <= 0 || pid != encoder_pid_ || executable != encoder_ref_) return;
  // Its process id is free for reuse now; nothing may kill it any more.
  encoder_pid_ = 0;
  EncodeNext();
}

void EncodingRun::EndRun() {
  ports_.StopWatching();
  encoding_ = false;
  file_index_ = 0;
  ports_.HideProgress();
}

void EncodingRun::KillEncoder() {
  // A process id of 0 or less would name our own process group or every process.
  if (encoder_pid_ > 0) ports_.Kill(encoder_pid_);
}
