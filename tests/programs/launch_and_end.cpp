// Launches a program the way Zavrik launches an encoder, prints its process id, and ends by
// SIGKILL as soon as the program has written something: an application that ends during a run.
#include <poll.h>
#include <signal.h>

#include <QFile>
#include <QStringList>
#include <cstdio>

#include "encode/zavrik_launch.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  QStringList words;
  for (int i = 2; i < argc; ++i) words.append(QFile::decodeName(argv[i]));
  pid_t pid = 0;
  LaunchOutput output;
  if (ZavrikLaunch(QFile::decodeName(argv[1]), words, &pid, &output) != 0) return 1;
  std::printf("%d\n", int(pid));
  std::fflush(stdout);
  pollfd readable{output.read_end, POLLIN, 0};
  poll(&readable, 1, 30000);
  raise(SIGKILL);
  return 1;
}
