#include "encode/run_outcome.h"

#include <QStringList>
#include <algorithm>

namespace {

QString Files(qsizetype count) {
  return count == 1 ? QStringLiteral("1 Datei") : QStringLiteral("%1 Dateien").arg(count);
}

}  // namespace

QString FailureMessage(const QString& last_line, const ProcessExit& exit) {
  if (!last_line.isEmpty()) return last_line;
  if (exit.signaled)
    return QStringLiteral("Der Kodierer wurde durch Signal %1 beendet.").arg(exit.code);
  return QStringLiteral("Der Kodierer endete mit dem Rückgabewert %1.").arg(exit.code);
}

qsizetype RunResults::Count(FileOutcome outcome) const {
  if (outcome == FileOutcome::kNotStarted) return not_started_;
  return std::count_if(results_.begin(), results_.end(),
                       [outcome](const FileResult& result) { return result.outcome == outcome; });
}

QList<FileResult> RunResults::Failed() const {
  QList<FileResult> failed;
  std::copy_if(results_.begin(), results_.end(), std::back_inserter(failed),
               [](const FileResult& result) { return result.outcome == FileOutcome::kFailed; });
  return failed;
}

Alert RunResults::FailureAlert() const {
  const QList<FileResult> failed = Failed();
  const QString text =
      (failed.size() == 1 ? QStringLiteral("%1 von %2 konnte nicht kodiert werden.")
                          : QStringLiteral("%1 von %2 konnten nicht kodiert werden."))
          .arg(failed.size())
          .arg(Files(size()));
  QStringList details;
  for (const FileResult& result : failed) {
    details << result.path + QLatin1Char('\n') + result.message;
  }
  Alert alert{QStringLiteral("RunFailures"), text, {QStringLiteral("OK")}, Alert::Kind::Stop};
  // A blank line between the files: the encoder's message may name the path once more.
  alert.details = details.join(QStringLiteral("\n\n"));
  return alert;
}

QString RunResults::NoticeText() const {
  const qsizetype encoded = Count(FileOutcome::kEncoded);
  const qsizetype failed = Count(FileOutcome::kFailed);
  if (encoded == size()) return Files(encoded) + QStringLiteral(" kodiert");
  QString text = QStringLiteral("%1 von %2 kodiert").arg(encoded).arg(Files(size()));
  if (failed > 0) text += QStringLiteral(", %1 fehlgeschlagen").arg(failed);
  return text;
}
