#pragma once

#include <signal.h>
#include <sys/types.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// What a launched program writes (stdout and stderr in one pipe): the non-blocking read end,
// and whether the keeper (zavrik-keeper, a small program of its own) holds the pipe too. The
// keeper reads nothing while the caller reads; once LetGoOfOutput, it reads and drops whatever
// the program and what it started still write, until they all have closed the pipe, and so it
// does when the caller ends, however it ends. So the program never dies of a pipe without a
// reader (SIGPIPE) nor waits on a full one.
struct LaunchOutput {
  int read_end = -1;
  bool kept = false;
};

// Set in the environment of every program launched here: a Zavrik that finds it was started as
// another one's encoder, and must not hand its file back to that one.
inline constexpr char kStartedAsEncoder[] = "ZAVRIK_STARTED_AS_ENCODER";

// Starts `executable` with `words` as its arguments (argv[0] is the executable's own path), in
// a process group of its own, stdin from /dev/null. Never through a shell. Returns 0 exactly
// when the program started (exec succeeded) and stores its process id in `pid`; otherwise
// returns a non-zero errno value and leaves `pid` alone. With `output`, the program's stdout and
// stderr go into a pipe that is handed out there; without, they are inherited. The program gets
// this process's environment with kStartedAsEncoder added.
int ZavrikLaunch(const QString& executable, const QStringList& words, pid_t* pid,
                 LaunchOutput* output = nullptr);

// Closes the read end and has the keeper read on for `pid`, the program it came from.
void LetGoOfOutput(pid_t pid, LaunchOutput& output);

// Asks the process group that a launched program leads to stop (SIGTERM), so that it can remove
// what it has begun, and has the keeper kill the group (SIGKILL) unless the program has ended
// after kStopGraceMs, even when this process has ended by then. Never waits. Only for a program
// not yet collected, whose id cannot name another process.
void StopProcessGroup(pid_t pid);

// Sends `signal_number` to the whole process group that a launched program leads; ends it
// outright unless told otherwise. Failures are ignored.
void KillProcessGroup(pid_t pid, int signal_number = SIGKILL);

// Ends the process group a launched program leads and collects the program, waiting for it.
void KillAndReap(pid_t pid);

// Tells, through the Qt event loop, when a launched program has ended, for any reason, and reaps
// it. No polling and no blocking wait.
class ProcessWatcher : public QObject {
  Q_OBJECT

 public:
  // Opens the descriptor that turns readable when the process ends (pidfd_open); returns -1
  // and sets errno when it cannot. Tests replace it to make a watch fail.
  using HandleOpener = std::function<int(pid_t pid)>;

  explicit ProcessWatcher(HandleOpener open_handle = {}, QObject* parent = nullptr);
  ~ProcessWatcher() override;

  // Starts watching `pid`; `executable` is the path it was launched from. Returns 0 when the
  // end notice will come, else the errno value that keeps it from coming.
  int Watch(pid_t pid, const QString& executable);

 Q_SIGNALS:
  // `executable` is the canonical path of the program that ended; `wait_status` is what
  // waitpid told of its end (0 when it had been collected elsewhere).
  void ProcessEnded(const QString& executable, qint64 pid, int wait_status);

 private:
  struct Watched;
  bool IsWatching(pid_t pid) const;
  void Reap(Watched* watched);

  HandleOpener open_handle_;
  std::vector<std::unique_ptr<Watched>> watched_;
};
