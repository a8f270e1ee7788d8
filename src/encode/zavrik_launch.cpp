#include "encode/zavrik_launch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "encode/keeper_orders.h"
#include "platform/paths.h"

extern char** environ;

namespace {

// Owns the spawn attributes so that every return path releases them.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The program's stdout and stderr both become `write_end`.
  int SendOutputTo(int write_end) {
    if (int error = posix_spawn_file_actions_adddup2(&actions_, write_end, STDOUT_FILENO)) {
      return error;
    }
    return posix_spawn_file_actions_adddup2(&actions_, write_end, STDERR_FILENO);
  }

  int Prepare() {
    // A group of its own, so that ending the program also ends whatever it started; signals
    // back at their defaults and none blocked, whatever this process has set for itself.
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigset_t all_signals;
    sigfillset(&all_signals);
    const short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (int error = posix_spawnattr_setflags(&attributes_, flags)) return error;
    if (int error = posix_spawnattr_setpgroup(&attributes_, 0)) return error;
    if (int error = posix_spawnattr_setsigmask(&attributes_, &no_signals)) return error;
    if (int error = posix_spawnattr_setsigdefault(&attributes_, &all_signals)) return error;
    return posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

// A NUL inside a word cannot cross exec; the word would arrive cut short.
bool HoldsNul(const QByteArray& word) { return word.contains('\0'); }

int PidfdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// The keeper's path: beside the running program, as zavrik and gogo stand side by side.
QByteArray KeeperPath() {
  char self[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
  if (size <= 0) return {};
  QByteArray path(self, size);
  return path.left(path.lastIndexOf('/') + 1) + "zavrik-keeper";
}

// This Zavrik's one keeper, started on first use and again should it have gone. It may be told
// from any thread.
//
// Orders wait in the socket until the keeper reads them, and their descriptors with them, also
// after this process has ended. So an order to keep a pipe does not wake the keeper: a launch
// costs no switch to another process. The keeper is woken (a byte in its wake pipe) for orders
// that cannot wait, when the socket is full, and by this process's end.
class Keeper {
 public:
  // Sends the order, with `descriptor` unless it is -1; returns whether the keeper has it.
  bool Tell(KeeperOrderKind kind, pid_t pid, int descriptor) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (orders_ < 0 && !Start()) return false;
      int error = Send(kind, pid, descriptor, MSG_DONTWAIT);
      if (error == EAGAIN || error == ETOOMANYREFS) {
        Wake();
        error = Send(kind, pid, descriptor, 0);
      }
      if (error == 0) {
        // Woken now and then, the keeper takes what waits long before the socket is full.
        if (kind != kKeepOutput || ++waiting_ == kOrdersPerWake) Wake();
        return true;
      }
      if (error != EPIPE && error != ECONNRESET) return false;
      Forget();
    }
    return false;
  }

 private:
  // Started afresh rather than forked, so it costs the same whatever this process holds, and
  // holds none of it. A session of its own keeps it out of what ends this one (a closed
  // terminal, Ctrl+C); it reads from /dev/null and writes into it.
  bool Start() {
    const QByteArray path = KeeperPath();
    int orders[2];
    int wake[2];
    if (path.isEmpty() || socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, orders) != 0) {
      return false;
    }
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
      close(orders[0]);
      close(orders[1]);
      return false;
    }
    // Above the keeper's own numbers, so that neither is overwritten before it is moved there.
    for (int* end : {&orders[1], &wake[0]}) {
      const int moved = fcntl(*end, F_DUPFD_CLOEXEC, kKeeperWake + 1);
      if (moved >= 0) close(std::exchange(*end, moved));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, orders[1], kKeeperOrders);
    posix_spawn_file_actions_adddup2(&actions, wake[0], kKeeperWake);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigset_t all_signals;
    sigfillset(&all_signals);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&attributes, &no_signals);
    posix_spawnattr_setsigdefault(&attributes, &all_signals);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    const int error = posix_spawn(&pid_, path.constData(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(orders[1]);
    close(wake[0]);
    if (error != 0) {
      close(orders[0]);
      close(wake[1]);
      return false;
    }
    orders_ = orders[0];
    wake_ = wake[1];
    return true;
  }

  // 0 when sent, else the errno value.
  int Send(KeeperOrderKind kind, pid_t pid, int descriptor, int flags) {
    KeeperOrder order{kind, pid};
    iovec data{&order, sizeof order};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    if (descriptor >= 0) {
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
    }
    for (;;) {
      if (sendmsg(orders_, &message, flags | MSG_NOSIGNAL) == ssize_t(sizeof order)) return 0;
      if (errno != EINTR) return errno;
    }
  }

  // A full wake pipe has woken the keeper already.
  void Wake() {
    waiting_ = 0;
    const char byte = 0;
    while (write(wake_, &byte, 1) < 0 && errno == EINTR) {
    }
  }

  // A keeper that no longer listens has ended: it is collected, and the next order starts anew.
  void Forget() {
    close(orders_);
    close(wake_);
    orders_ = wake_ = -1;
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }

  std::mutex mutex_;
  int orders_ = -1;
  int wake_ = -1;
  pid_t pid_ = 0;
  int waiting_ = 0;  // orders sent since the keeper was last woken
  static constexpr int kOrdersPerWake = 32;
};

Keeper& TheKeeper() {
  static Keeper keeper;
  return keeper;
}

// This process's environment with the mark of a launched encoder; `mark` must outlive it.
std::vector<char*> EncoderEnvironment(char* mark) {
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.push_back(*entry);
  environment.push_back(mark);
  environment.push_back(nullptr);
  return environment;
}

}  // namespace

// A pipe whose ends are closed on exec; the program gets its write end through dup2.
class OutputPipe {
 public:
  ~OutputPipe() {
    for (int end : ends_) {
      if (end >= 0) close(end);
    }
  }
  int Open() { return pipe2(ends_, O_CLOEXEC) == 0 ? 0 : errno; }
  int write_end() const { return ends_[1]; }
  // After the start: the write end is the program's alone, the read end goes to the caller.
  int TakeReadEnd() {
    close(ends_[1]);
    ends_[1] = -1;
    fcntl(ends_[0], F_SETFL, fcntl(ends_[0], F_GETFL) | O_NONBLOCK);
    return std::exchange(ends_[0], -1);
  }

 private:
  int ends_[2] = {-1, -1};
};

int ZavrikLaunch(const QString& executable, const QStringList& words, pid_t* pid,
                 LaunchOutput* output) {
  const QByteArray path = QFile::encodeName(executable);
  if (HoldsNul(path)) return EINVAL;
  std::vector<QByteArray> encoded;
  encoded.reserve(words.size());
  for (const QString& word : words) {
    encoded.push_back(QFile::encodeName(word));
    if (HoldsNul(encoded.back())) return EINVAL;
  }

  std::vector<char*> argv;
  argv.reserve(encoded.size() + 2);
  argv.push_back(const_cast<char*>(path.constData()));
  for (QByteArray& word : encoded) argv.push_back(word.data());
  argv.push_back(nullptr);

  SpawnSetup setup;
  if (int error = setup.Prepare()) return error;
  OutputPipe pipe;
  if (output != nullptr) {
    if (int error = pipe.Open()) return error;
    if (int error = setup.SendOutputTo(pipe.write_end())) return error;
  }
  QByteArray mark = QByteArray(kStartedAsEncoder) + "=1";
  std::vector<char*> environment = EncoderEnvironment(mark.data());
  pid_t started = 0;
  // glibc reports a failed exec as posix_spawn's own result, so 0 means the program runs.
  const int error = posix_spawn(&started, path.constData(), setup.actions(), setup.attributes(),
                                argv.data(), environment.data());
  if (error != 0) return error;
  if (pid != nullptr) *pid = started;
  if (output != nullptr) {
    output->read_end = pipe.TakeReadEnd();
    output->kept = TheKeeper().Tell(kKeepOutput, started, output->read_end);
  }
  return 0;
}

void LetGoOfOutput(pid_t pid, LaunchOutput& output) {
  if (output.read_end < 0) return;
  // Once every writer has closed the pipe there is nothing left to keep up, and the keeper
  // closes its own read end as soon as it looks.
  pollfd writers_gone{output.read_end, 0, 0};
  const bool written_to = poll(&writers_gone, 1, 0) == 0;
  close(output.read_end);
  output.read_end = -1;
  if (output.kept && written_to) TheKeeper().Tell(kLetGoOfOutput, pid, -1);
  output.kept = false;
}

void StopProcessGroup(pid_t pid) {
  if (pid <= 1) return;
  // Opened first: however long the keeper waits, the pidfd names this very process.
  const int process = PidfdOpen(pid);
  if (process < 0 && errno == ESRCH) return;  // collected already: its id may name another
  kill(-pid, SIGTERM);
  const bool told = process >= 0 && TheKeeper().Tell(kEndAfterGrace, pid, process);
  if (process >= 0) close(process);
  // Without the keeper nothing would end it after the grace; ended now, it ends all the same.
  if (!told) kill(-pid, SIGKILL);
}

void KillProcessGroup(pid_t pid, int signal_number) {
  // A pid of 0 or 1 would turn into kill(0) (this application's own group) or kill(-1) (every
  // process it may signal), and a negative one would name a single other process.
  if (pid > 1) kill(-pid, signal_number);
}

struct ProcessWatcher::Watched {
  pid_t pid = 0;
  QString executable;
  int pidfd = -1;
  QSocketNotifier* notifier = nullptr;
};

void KillAndReap(pid_t pid) {
  if (pid <= 1) return;
  KillProcessGroup(pid);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

ProcessWatcher::ProcessWatcher(HandleOpener open_handle, QObject* parent)
    : QObject(parent), open_handle_(open_handle ? std::move(open_handle) : PidfdOpen) {}

ProcessWatcher::~ProcessWatcher() {
  for (const std::unique_ptr<Watched>& watched : watched_) {
    delete watched->notifier;
    close(watched->pidfd);
  }
}

int ProcessWatcher::Watch(pid_t pid, const QString& executable) {
  if (pid <= 0) return ESRCH;
  if (IsWatching(pid)) return 0;  // one notice per process, however often asked
  // Resolved now: by the time the program ends its file may be gone or replaced.
  const QString canonical = CanonicalOrAbsolutePath(executable);

  const int pidfd = open_handle_(pid);
  if (pidfd < 0) {
    const int error = errno;
    if (error != ESRCH) return error;
    // The process was already reaped elsewhere: it has ended, and the notice must still come.
    QMetaObject::invokeMethod(
        this, [this, canonical, pid] { Q_EMIT ProcessEnded(canonical, pid, 0); },
        Qt::QueuedConnection);
    return 0;
  }

  auto* watched = new Watched{pid, canonical, pidfd, nullptr};
  watched_.emplace_back(watched);
  // A pidfd turns readable once the process has ended.
  watched->notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, this);
  connect(watched->notifier, &QSocketNotifier::activated, this, [this, watched] { Reap(watched); });
  return 0;
}

bool ProcessWatcher::IsWatching(pid_t pid) const {
  return std::any_of(
      watched_.begin(), watched_.end(),
      [pid](const std::unique_ptr<Watched>& watched) { return watched->pid == pid; });
}

void ProcessWatcher::Reap(Watched* watched) {
  int status = 0;
  const pid_t reaped = waitpid(watched->pid, &status, WNOHANG);
  // 0: ended but not yet collectable; the notifier fires again. Without a child to collect
  // (ECHILD) it has been reaped already, and it has ended all the same.
  if (reaped == 0 || (reaped < 0 && errno == EINTR)) return;

  // Forget the process before telling anyone, so a receiver may watch anew or delete this.
  const auto found = std::find_if(
      watched_.begin(), watched_.end(),
      [watched](const std::unique_ptr<Watched>& each) { return each.get() == watched; });
  if (found == watched_.end()) return;
  const std::unique_ptr<Watched> ended = std::move(*found);
  watched_.erase(found);
  ended->notifier->setEnabled(false);
  ended->notifier->deleteLater();
  close(ended->pidfd);
  Q_EMIT ProcessEnded(ended->executable, ended->pid, reaped > 0 ? status : 0);
}
