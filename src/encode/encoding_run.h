#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "encode/run_outcome.h"
#include "encode/run_progress.h"
#include "platform/alert.h"
#include "platform/message.h"

// How the encoder launched for a file ended: its exit, and the last line it wrote.
struct EncoderEnd {
  ProcessExit exit;
  QString last_line;
};

// An end notice ('BRAQ') carries the end in the fields "exit", "signaled" and "message".
void AddEncoderEnd(Message& notice, const EncoderEnd& end);
EncoderEnd EncoderEndFrom(const Message& notice);

// Everything an encoding run touches outside itself: the file list, the option strings, the
// progress window, the launcher and the watch for ended processes, and the alerts.
class RunPorts {
 public:
  virtual ~RunPorts() = default;

  virtual int FileCount() const = 0;
  virtual QString FileAt(int index) const = 0;

  // Read once when a run starts; the run keeps them for all its files.
  virtual QString OptionsBefore() const = 0;
  virtual QString OptionsAfter() const = 0;

  // Shows the progress window 50 units right of and below the main window's top-left corner.
  virtual void ShowProgress() = 0;
  virtual void HideProgress() = 0;
  virtual void SetProgressTexts(const QString& file_text, const QString& number_text) = 0;
  virtual void SetProgressButtonsEnabled(bool enabled) = 0;
  // The current file's percentage, or -1 while the encoder has printed none (a busy bar).
  virtual void SetFileProgress(int percent) = 0;
  // The whole run's progress in thousandths, and the estimate of the time left ("" for none).
  virtual void SetRunProgress(int permille, const QString& remaining) = 0;

  // While watching, the end of every launched process reaches EncodingRun::ProcessEnded.
  virtual void StartWatching() = 0;
  virtual void StopWatching() = 0;
  // Returns 0 exactly when the program started, and then stores its process id in `pid`.
  virtual int Launch(const QString& executable, const QStringList& words, qint64* pid) = 0;
  virtual void Kill(qint64 pid) = 0;
  // Runs `then` once no encoder that was asked to stop is still running, without waiting: one
  // encoder at a time. A later request replaces one still waiting.
  virtual void AfterStoppedEncodersEnd(std::function<void()> then) = 0;

  // Waits until the user has dismissed the alert.
  virtual void ShowAlert(const Alert& alert) = 0;

  // The size of a file on disk, which weighs it in the run's progress.
  virtual qint64 FileSize(const QString& path) const = 0;
  // Hands the sum of the sizes of the list's files to `weighed`, on the run's thread. Here at
  // once; ports to a long list weigh it while the run goes on.
  virtual void WeighFiles(std::function<void(qint64 total_bytes)> weighed);
  // Milliseconds on a clock that only moves forward.
  virtual qint64 NowMs() const = 0;
  // Marks the failed files in the list, and forgets earlier marks.
  virtual void ShowResults(const RunResults& results) = 0;
  // Tells the user how the run went when Zavrik is not the active application.
  virtual void NotifyRunEnded(const QString& text) = 0;
};

// The path as the user sees it on the encoder's command line: in double quotes when it holds a
// blank.
QString FileText(const QString& path);

// The encoder's arguments for one file: the split option strings around the path, which always
// stays one word whatever characters it holds.
QStringList EncoderWords(const QString& options_before, const QString& path,
                         const QString& options_after);

// Runs the encoder over the file list, one file at a time in list order. The next file starts
// only when the process launched last has ended.
class EncodingRun {
 public:
  explicit EncodingRun(RunPorts& ports) : ports_(ports) {}

  // Begins a run with the encoder found at `encoder_location` (links followed).
  void Start(const QString& encoder_location);
  // Launches the encoder on entry `file_index`, or ends the run after the last entry.
  void EncodeNext();
  // Kills the running encoder; its end then moves the run on to the next file.
  void Skip();
  // Kills the current encoder and ends the run.
  void Stop();
  // The end of a process launched from `executable`; advances the run only when it is the
  // encoder launched last, whose file's result it gives.
  void ProcessEnded(const QString& executable, qint64 pid, const EncoderEnd& end = {});
  // The encoder launched last has printed `percent`.
  void EncoderProgress(qint64 pid, double percent);

  bool encoding() const { return encoding_; }
  int file_index() const { return file_index_; }
  qint64 encoder_pid() const { return encoder_pid_; }
  const QString& encoder_ref() const { return encoder_ref_; }
  const QString& options_before() const { return options_before_; }
  const QString& options_after() const { return options_after_; }
  const RunResults& results() const { return results_; }

 private:
  void StartProgress();
  void ShowRunProgress();
  void EndRun();
  void FinishRun();
  void KillEncoder();

  RunPorts& ports_;
  bool encoding_ = false;
  int file_index_ = 0;
  qint64 encoder_pid_ = 0;  // 0 while no encoder of this run is known to be running
  QString encoder_ref_;
  QString options_before_;
  QString options_after_;
  QString encoder_path_;         // the file the running encoder works on
  bool encoder_killed_ = false;  // by "Datei auslassen": its end is no failure
  RunResults results_;
  RunProgress progress_;
  int run_number_ = 0;  // tells a late weighing of an earlier run from this run's
};
