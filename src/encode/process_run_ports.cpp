#include "encode/process_run_ports.h"

ProcessRunPorts::ProcessRunPorts() {
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
  watcher_.Watch(launched, executable);
  *pid = launched;
  return 0;
}

void ProcessRunPorts::Kill(qint64 pid) {
  if (pid > 0) KillProcessGroup(static_cast<pid_t>(pid));
}

void ProcessRunPorts::Ended(const QString& executable, qint64 pid) {
  if (watching_ && end_notice_) end_notice_(executable, pid);
}
