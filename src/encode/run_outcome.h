#pragma once

#include <QList>
#include <QString>

#include "platform/alert.h"

// How one file of a run ended.
enum class FileOutcome {
  kEncoded,     // the encoder ended with exit status 0
  kFailed,      // any other exit status, or a signal that Zavrik did not send
  kSkipped,     // the user skipped it ("Datei auslassen") or stopped the run during it
  kNotStarted,  // the run ended before its turn
};

struct FileResult {
  QString path;
  FileOutcome outcome = FileOutcome::kNotStarted;
  QString message;  // for a failed file: the encoder's last message line
};

// How a process ended, as waitpid reported it.
struct ProcessExit {
  bool signaled = false;
  int code = 0;  // the exit status, or the signal's number
};

// The message that explains a failed file: the encoder's own last line, or, when it said
// nothing, its exit status or the signal that ended it.
QString FailureMessage(const QString& last_line, const ProcessExit& exit);

// The results of one run, in list order.
class RunResults {
 public:
  void Clear() { results_.clear(); }
  void Add(const FileResult& result) { results_.append(result); }

  const QList<FileResult>& all() const { return results_; }
  qsizetype Count(FileOutcome outcome) const;
  QList<FileResult> Failed() const;

  // The one alert that names the failed files, when there is any.
  Alert FailureAlert() const;
  // What a desktop notification says about the run: "12 Dateien kodiert" or "10 von 12
  // Dateien kodiert, 2 fehlgeschlagen".
  QString NoticeText() const;

 private:
  QList<FileResult> results_;
};
