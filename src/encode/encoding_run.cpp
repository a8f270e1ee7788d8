#include "encode/encoding_run.h"

#include <QFileInfo>
#include <algorithm>

#include "encode/argument_split.h"
#include "platform/paths.h"

void AddEncoderEnd(Message& notice, const EncoderEnd& end) {
  notice.AddInt32(QStringLiteral("exit"), end.exit.code);
  notice.AddInt32(QStringLiteral("signaled"), end.exit.signaled ? 1 : 0);
  notice.AddString(QStringLiteral("message"), end.last_line);
}

EncoderEnd EncoderEndFrom(const Message& notice) {
  EncoderEnd end;
  end.exit.code = notice.FindInt32(QStringLiteral("exit")).value_or(0);
  end.exit.signaled = notice.FindInt32(QStringLiteral("signaled")).value_or(0) != 0;
  end.last_line = notice.FindString(QStringLiteral("message")).value_or(QString());
  return end;
}

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
  // Zavrik as its own encoder would hand every file back to itself, and the run never ends.
  if (IsRunningExecutable(resolved)) {
    ports_.ShowAlert(alerts::LaunchFailed());
    return;
  }
  encoder_ref_ = resolved;
  // A process of an earlier run must never count as this run's encoder.
  encoder_pid_ = 0;
  file_index_ = 0;
  options_before_ = ports_.OptionsBefore();
  options_after_ = ports_.OptionsAfter();
  encoding_ = true;
  results_.Clear();
  ports_.ShowResults(results_);
  StartProgress();
  ports_.ShowProgress();
  ports_.StartWatching();
  // An encoder stopped a moment ago may still be cleaning up; the first file waits for its end.
  ports_.AfterStoppedEncodersEnd([this] {
    if (encoding_) EncodeNext();
  });
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
  ports_.SetFileProgress(-1);
  progress_.BeginFile(ports_.FileSize(path));
  ShowRunProgress();
  qint64 pid = 0;
  const int status =
      ports_.Launch(encoder_ref_, EncoderWords(options_before_, path, options_after_), &pid);
  if (status != 0) {
    ports_.ShowAlert(alerts::LaunchFailed());
    EndRun();
    return;
  }
  encoder_pid_ = pid;
  encoder_path_ = path;
  encoder_killed_ = false;
  ++file_index_;
}

void RunPorts::WeighFiles(std::function<void(qint64 total_bytes)> weighed) {
  qint64 total = 0;
  for (int index = 0; index < FileCount(); ++index) total += FileSize(FileAt(index));
  weighed(total);
}

void EncodingRun::StartProgress() {
  progress_.Start(0, ports_.NowMs());
  // Until the list is weighed the whole run's bar stays at its start.
  ports_.WeighFiles([this, run = ++run_number_](qint64 total_bytes) {
    if (run != run_number_ || !encoding_) return;
    progress_.SetTotal(total_bytes);
    if (encoder_pid_ > 0) ShowRunProgress();
  });
}

void EncodingRun::ShowRunProgress() {
  ports_.SetRunProgress(int(progress_.Fraction() * 1000), progress_.RemainingText(ports_.NowMs()));
}

void EncodingRun::EncoderProgress(qint64 pid, double percent) {
  if (!encoding_ || encoder_pid_ <= 0 || pid != encoder_pid_) return;
  ports_.SetFileProgress(int(percent));
  progress_.SetFilePercent(percent);
  ShowRunProgress();
}

void EncodingRun::Skip() {
  if (!encoding_) return;
  ports_.SetProgressButtonsEnabled(false);
  encoder_killed_ = true;
  KillEncoder();
}

void EncodingRun::Stop() {
  if (!encoding_) return;
  ports_.StopWatching();
  KillEncoder();
  if (encoder_pid_ > 0) results_.Add({encoder_path_, FileOutcome::kSkipped, {}});
  FinishRun();
}

void EncodingRun::ProcessEnded(const QString& executable, qint64 pid, const EncoderEnd& end) {
  if (!encoding_ || encoder_pid_ <= 0 || pid != encoder_pid_ || executable != encoder_ref_) return;
  // Its process id is free for reuse now; nothing may kill it any more.
  encoder_pid_ = 0;
  FileResult result{encoder_path_, FileOutcome::kEncoded, {}};
  if (encoder_killed_) {
    result.outcome = FileOutcome::kSkipped;
  } else if (end.exit.signaled || end.exit.code != 0) {
    result.outcome = FileOutcome::kFailed;
    result.message = FailureMessage(end.last_line, end.exit);
  }
  results_.Add(result);
  EncodeNext();
}

void EncodingRun::EndRun() {
  ports_.StopWatching();
  FinishRun();
}

void EncodingRun::FinishRun() {
  encoding_ = false;
  // The files the run did not reach count too, so the summary speaks of the whole list.
  results_.AddNotStarted(std::max<qsizetype>(0, ports_.FileCount() - results_.all().size()));
  file_index_ = 0;
  // Asked before the progress window goes, while Zavrik's windows still know whether they are
  // the active ones.
  ports_.NotifyRunEnded(results_.NoticeText());
  ports_.HideProgress();
  ports_.ShowResults(results_);
  if (results_.Count(FileOutcome::kFailed) > 0) ports_.ShowAlert(results_.FailureAlert());
}

void EncodingRun::KillEncoder() {
  // A process id of 0 or less would name our own process group or every process.
  if (encoder_pid_ > 0) ports_.Kill(encoder_pid_);
}
