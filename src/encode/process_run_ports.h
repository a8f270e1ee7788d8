#pragma once

#include <functional>
#include <map>
#include <memory>

#include "encode/encoder_output.h"
#include "encode/encoding_run.h"
#include "encode/zavrik_launch.h"

class QSocketNotifier;

// The process half of RunPorts on the real launcher: launching in a process group of its own,
// reading what the program writes, killing that group, and handing the end of every launched
// process on while watching. The list, options, progress window and alerts are left to the
// subclass.
class ProcessRunPorts : public RunPorts {
 public:
  using EndNotice =
      std::function<void(const QString& executable, qint64 pid, const EncoderEnd& end)>;
  using ProgressNotice = std::function<void(qint64 pid, double percent)>;

  explicit ProcessRunPorts(ProcessWatcher::HandleOpener open_handle = {});
  ~ProcessRunPorts() override;

  // Where end notices go while watching, e.g. straight to EncodingRun::ProcessEnded, or into a
  // message for the application object.
  void SetEndNoticeReceiver(EndNotice receiver) { end_notice_ = std::move(receiver); }
  // Where each new percentage that a program prints goes.
  void SetProgressReceiver(ProgressNotice receiver) { progress_notice_ = std::move(receiver); }
  // The common case: end notices and percentages go straight to `run`.
  void DeliverEndNoticesTo(EncodingRun& run);

  void StartWatching() override { watching_ = true; }
  void StopWatching() override { watching_ = false; }
  int Launch(const QString& executable, const QStringList& words, qint64* pid) override;
  // Asks the program's process group to stop (SIGTERM), so that it can remove what it has begun;
  // the keeper ends it (SIGKILL) when the program has not ended after the grace. Never waits.
  void Kill(qint64 pid) override;
  // Runs `then` once no program asked to stop is still running: at once, or at the end of the
  // last one. Only the latest request is kept.
  void AfterStoppedEncodersEnd(std::function<void()> then) override;

  bool watching() const { return watching_; }

 private:
  // A launched program until its end: its output pipe, read whenever it holds something, and
  // whether it has been asked to stop.
  struct OutputReader {
    pid_t pid = 0;
    LaunchOutput pipe;
    std::unique_ptr<QSocketNotifier> notifier;
    EncoderOutput output;
    bool stopping = false;
  };

  void Ended(const QString& executable, qint64 pid, int wait_status);
  void ReadOutput(qint64 pid);
  void CloseOutput(OutputReader& reader);
  bool AnyStopping() const;

  // Keeps watching (and reaping) every launched process, also while the run does not listen.
  ProcessWatcher watcher_;
  std::map<qint64, OutputReader> readers_;
  EndNotice end_notice_;
  ProgressNotice progress_notice_;
  std::function<void()> after_stopped_;
  bool watching_ = false;
};
