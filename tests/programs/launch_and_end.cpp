// Launches a program the way Zavrik launches an encoder and prints its process id and that of
// its keeper. As soon as the program has written something, it ends by SIGKILL: an application
// that ends during a run. Before the launch it may hold memory (--hold MB, every page touched);
// with --stop it asks the program to stop and ends normally: "stop", then "quit".
//   launch_and_end [--hold MB] [--stop] PROGRAM [WORD...]
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <vector>

#include "encode/zavrik_launch.h"

namespace {

// This process's child named zavrik-keeper, or 0.
pid_t KeeperOfThisProcess() {
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
  for (const QString& entry : entries) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray line = stat.readAll();
    const qsizetype name_end = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(name_end + 2).split(' ');
    if (line.contains("(zavrik-keeper)") && fields.size() > 1 && fields[1].toInt() == getpid()) {
      return entry.toInt();
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int next = 1;
  std::vector<char> held;
  bool stop = false;
  for (; next < argc && argv[next][0] == '-'; ++next) {
    if (std::strcmp(argv[next], "--stop") == 0) {
      stop = true;
    } else if (std::strcmp(argv[next], "--hold") == 0 && next + 1 < argc) {
      held.assign(size_t(std::atoi(argv[++next])) << 20, 1);
    }
  }
  if (next >= argc) return 2;
  QStringList words;
  for (int i = next + 1; i < argc; ++i) words.append(QFile::decodeName(argv[i]));
  pid_t pid = 0;
  LaunchOutput output;
  if (ZavrikLaunch(QFile::decodeName(argv[next]), words, &pid, &output) != 0) return 1;
  std::printf("%d %d\n", int(pid), int(KeeperOfThisProcess()));
  std::fflush(stdout);
  pollfd readable{output.read_end, POLLIN, 0};
  poll(&readable, 1, 30000);
  if (stop) {
    StopProcessGroup(pid);
    return 0;
  }
  raise(SIGKILL);
  return 1;
}
