// Times sequential launches of /bin/true three ways in one run: each launch started when the
// previous one's end notice arrives through the event loop, the same with the output pipe and
// its keeper that an encoder gets, and a plain posix_spawn + waitpid loop. Rounds alternate so that
// both see the same machine load; the medians are reported.
//   launch_bench [launches per round] [rounds]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "encode/zavrik_launch.h"

extern char** environ;

namespace {

const char kProgram[] = "/bin/true";

// Milliseconds per launch, or a negative value when a launch failed.
double TimePlainLoop(int launches) {
  char* argv[] = {const_cast<char*>(kProgram), nullptr};
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < launches; ++i) {
    pid_t pid = 0;
    if (posix_spawn(&pid, kProgram, nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
  }
  return static_cast<double>(timer.nsecsElapsed()) / 1e6 / launches;
}

// With `with_output`, each program's output comes through a pipe with its keeper, as an
// encoder's does.
double TimeThroughEventLoop(int launches, bool with_output) {
  const QString program = QString::fromLatin1(kProgram);
  ProcessWatcher watcher;
  QEventLoop loop;
  int remaining = launches;
  bool failed = false;
  auto launch_next = [&] {
    pid_t pid = 0;
    LaunchOutput output;
    if (ZavrikLaunch(program, {}, &pid, with_output ? &output : nullptr) != 0) {
      failed = true;
      loop.quit();
      return;
    }
    for (int descriptor : {output.read_end, output.keeper}) {
      if (descriptor >= 0) close(descriptor);
    }
    watcher.Watch(pid, program);
  };
  QObject::connect(&watcher, &ProcessWatcher::ProcessEnded, &loop, [&] {
    if (--remaining == 0) {
      loop.quit();
    } else {
      launch_next();
    }
  });

  QElapsedTimer timer;
  timer.start();
  launch_next();
  if (!failed) loop.exec();
  if (failed) return -1;
  return static_cast<double>(timer.nsecsElapsed()) / 1e6 / launches;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int launches = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (launches < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: launch_bench [launches per round] [rounds]\n");
    return 2;
  }

  std::vector<double> plain;
  std::vector<double> event_loop;
  std::vector<double> with_output;
  for (int round = 0; round < rounds; ++round) {
    plain.push_back(TimePlainLoop(launches));
    event_loop.push_back(TimeThroughEventLoop(launches, false));
    with_output.push_back(TimeThroughEventLoop(launches, true));
    if (plain.back() < 0 || event_loop.back() < 0 || with_output.back() < 0) {
      std::fprintf(stderr, "launching %s failed\n", kProgram);
      return 1;
    }
  }

  const double plain_ms = Median(plain);
  const double event_loop_ms = Median(event_loop);
  std::printf("%d launches of %s, median of %d rounds\n", launches, kProgram, rounds);
  std::printf("posix_spawn + waitpid loop:     %.3f ms per launch\n", plain_ms);
  std::printf("ZavrikLaunch + end notice loop: %.3f ms per launch\n", event_loop_ms);
  std::printf("ratio: %.3f (goal: at most 1.15)\n", event_loop_ms / plain_ms);
  std::printf("the same with output pipe and keeper: %.3f ms per launch\n", Median(with_output));
  return 0;
}
