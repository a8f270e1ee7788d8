#pragma once

#include <functional>

#include "encode/encoding_run.h"
#include "encode/zavrik_launch.h"

// The process half of RunPorts on the real launcher: launching in a process group of its own,
// killing that group, and handing the end of every launched process on while watching. The
// list, options, progress window and alerts are left to the subclass.
class ProcessRunPorts : public RunPorts {
 public:
  using EndNotice = std::function<void(const QString& executable, qint64 pid)>;

  explicit ProcessRunPorts(ProcessWatcher::HandleOpener open_handle = {});

  // Where end notices go while watching, e.g. straight to EncodingRun::ProcessEnded, or into a
  // message for the application object.
  void SetEndNoticeReceiver(EndNotice receiver) { end_notice_ = std::move(receiver); }
  // The common case: end notices go straight to `run`.
  void DeliverEndNoticesTo(EncodingRun& run);

  void StartWatching() override { watching_ = true; }
  void StopWatching() override { watching_ = false; }
  int Launch(const QString& executable, const QStringList& words, qint64* pid) override;
  void Kill(qint64 pid) override;

  bool watching() const { return watching_; }

 private:
  void Ended(const QString& executable, qint64 pid);

  // Keeps watching (and reaping) every launched process, also while the run does not listen.
  ProcessWatcher watcher_;
  EndNotice end_notice_;
  bool watching_ = false;
};
