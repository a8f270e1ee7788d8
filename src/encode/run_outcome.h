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

// The results of one run, in list order. The files a stopped run never reached are only
// counted: a list of millions would otherwise hold the window while each got its own result.
class RunResults {
 public:
  void Clear() {
    results_.clear();
    not_started_ = 0;
  }
  void Add(const FileResult& result) { results_.append(result); }
  void AddNotStarted(qsizetype count) { not_started_ += count; }

  // The files the run reached, in list order.
  const QList<FileResult>& all() const { return results_; }
  // Every file of the run, those it never reached included.
  qsizetype size() const { return results_.size() + not_started_; }
  qsizetype Count(FileOutcome outcome) const;
  QList<FileResult> Failed() const;

  // The one alert that names the failed files, when there is any.
  Alert FailureAlert() const;
  // What a desktop notification says about the run: "12 Dateien kodiert" or "10 von 12
  // Dateien kodiert, 2 fehlgeschlagen".
  QString NoticeText() const;

 private:
  QList<FileResult> results_;
  qsizetype not_started_ = 0;
};
