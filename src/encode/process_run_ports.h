#pragma once

#include <functional>
#include <map>
#include <memory>

#include "encode/encoder_output.h"
#include "encode/encoding_run.h"
#include "encode/zavrik_launch.h"

class QSocketNotifier;
class QTimer;

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
  // Asks the program's process group to stop (SIGTERM), so that it can remove what it has begun,
  // and ends it (SIGKILL) when the program has not ended after kStopGraceMs. Never waits.
  void Kill(qint64 pid) override;

  static constexpr int kStopGraceMs = 2000;

  bool watching() const { return watching_; }

 private:
  // A launched program until its end: the read end of its output pipe, read whenever it holds
  // something, the keeper that reads on once it is closed, and the kill that follows a request
  // to stop.
  struct OutputReader {
    int descriptor = -1;
    int keeper = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    EncoderOutput output;
    std::unique_ptr<QTimer> kill_timer;
  };

  void Ended(const QString& executable, qint64 pid, int wait_status);
  void ReadOutput(qint64 pid);
  void CloseOutput(OutputReader& reader);

  // Keeps watching (and reaping) every launched process, also while the run does not listen.
  ProcessWatcher watcher_;
  std::map<qint64, OutputReader> readers_;
  EndNotice end_notice_;
  ProgressNotice progress_notice_;
  bool watching_ = false;
};
