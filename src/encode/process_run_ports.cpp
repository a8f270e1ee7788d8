#include "encode/process_run_ports.h"

ProcessRunPorts::ProcessRunPorts(ProcessWatcher::HandleOpener open_handle)
    : watcher_(std::move(open_handle)) {
  QObject::connect(&watcher_, &ProcessWatcher::ProcessEnded, &watcher_,
                   [this](const QString& executable, qint64 pid) { Ended(executable, pid); });
}

void ProcessRunPorts::DeliverEndNoticesTo(EncodingRun& run) {
  SetEndNoticeReceiver(
      [&run](const QString& executable, qint64 pid) { run.ProcessEnded(executable, pid); });
}

int ProcessRunPorts::Launch(const QString& executable, const QStringList& words, qint64* pid) {
  pid_t launched = 0;
  const int status = ZavrikLaunch(executable, words, &launched);
  if (status != 0) return status;
  // An encoder whose end cannot be noticed would hold the run for good: it counts as not
  // started.
  if (const int error = watcher_.Watch(launched, executable)) {
    KillAndReap(launched);
    return error;
  }
  *pid = launched;
  return 0;
}

void ProcessRunPorts::Kill(qint64 pid) {
  if (pid > 0) KillProcessGroup(static_cast<pid_t>(pid));
}

void ProcessRunPorts::Ended(const QString& executable, qint64 pid) {
  if (watching_ && end_notice_) end_notice_(executable, pid);
}
