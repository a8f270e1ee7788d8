#include "encode/process_run_ports.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

ProcessExit ExitOf(int wait_status) {
  if (WIFSIGNALED(wait_status)) return {true, WTERMSIG(wait_status)};
  return {false, WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 0};
}

}  // namespace

ProcessRunPorts::ProcessRunPorts(ProcessWatcher::HandleOpener open_handle)
    : watcher_(std::move(open_handle)) {
  QObject::connect(&watcher_, &ProcessWatcher::ProcessEnded, &watcher_,
                   [this](const QString& executable, qint64 pid, int wait_status) {
                     Ended(executable, pid, wait_status);
                   });
}

ProcessRunPorts::~ProcessRunPorts() {
  for (auto& [pid, reader] : readers_) CloseOutput(reader);
}

void ProcessRunPorts::DeliverEndNoticesTo(EncodingRun& run) {
  SetEndNoticeReceiver([&run](const QString& executable, qint64 pid, const EncoderEnd& end) {
    run.ProcessEnded(executable, pid, end);
  });
  SetProgressReceiver([&run](qint64 pid, double percent) { run.EncoderProgress(pid, percent); });
}

int ProcessRunPorts::Launch(const QString& executable, const QStringList& words, qint64* pid) {
  pid_t launched = 0;
  LaunchOutput output;
  const int status = ZavrikLaunch(executable, words, &launched, &output);
  if (status != 0) return status;
  OutputReader& reader = readers_[launched];
  reader.pid = launched;
  reader.pipe = output;
  // An encoder whose end cannot be noticed would hold the run for good: it counts as not
  // started.
  if (const int error = watcher_.Watch(launched, executable)) {
    CloseOutput(reader);
    readers_.erase(launched);
    KillAndReap(launched);
    return error;
  }
  reader.notifier = std::make_unique<QSocketNotifier>(output.read_end, QSocketNotifier::Read);
  QObject::connect(reader.notifier.get(), &QSocketNotifier::activated, &watcher_,
                   [this, launched] { ReadOutput(launched); });
  *pid = launched;
  return 0;
}

void ProcessRunPorts::Kill(qint64 pid) {
  // Only a program not yet collected: until then its id cannot name another.
  const auto found = readers_.find(pid);
  if (found == readers_.end() || found->second.stopping) return;
  found->second.stopping = true;
  StopProcessGroup(static_cast<pid_t>(pid));
}

void ProcessRunPorts::AfterStoppedEncodersEnd(std::function<void()> then) {
  if (AnyStopping()) {
    after_stopped_ = std::move(then);
  } else {
    after_stopped_ = nullptr;
    then();
  }
}

bool ProcessRunPorts::AnyStopping() const {
  return std::any_of(readers_.begin(), readers_.end(),
                     [](const auto& each) { return each.second.stopping; });
}

void ProcessRunPorts::ReadOutput(qint64 pid) {
  const auto found = readers_.find(pid);
  if (found == readers_.end() || found->second.pipe.read_end < 0) return;
  OutputReader& reader = found->second;
  const std::optional<double> before = reader.output.LastPercent();
  // Everything there is now, so a program that writes much never waits on a full pipe.
  char block[65536];
  for (;;) {
    const ssize_t count = read(reader.pipe.read_end, block, sizeof block);
    if (count > 0) {
      reader.output.Append(QByteArrayView(block, count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    // Nothing more for now (EAGAIN), or never again: every writer has closed its end.
    if (count == 0 || errno != EAGAIN) CloseOutput(reader);
    break;
  }
  const std::optional<double> percent = reader.output.LastPercent();
  if (percent && percent != before && watching_ && progress_notice_) {
    progress_notice_(pid, *percent);
  }
}

void ProcessRunPorts::CloseOutput(OutputReader& reader) {
  reader.notifier.reset();
  // From here on the keeper reads, for whatever the program left behind.
  LetGoOfOutput(reader.pid, reader.pipe);
}

void ProcessRunPorts::Ended(const QString& executable, qint64 pid, int wait_status) {
  EncoderEnd end{ExitOf(wait_status), {}};
  if (const auto found = readers_.find(pid); found != readers_.end()) {
    // What the program wrote last may still wait in the pipe; a program it left behind may
    // keep the pipe open, so this reads what is there and no more.
    ReadOutput(pid);
    CloseOutput(found->second);
    end.last_line = found->second.output.LastMessageLine();
    readers_.erase(found);
  }
  if (watching_ && end_notice_) end_notice_(executable, pid, end);
  if (after_stopped_ && !AnyStopping()) std::exchange(after_stopped_, nullptr)();
}
