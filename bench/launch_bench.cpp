// Times sequential launches of /bin/true in one run: a plain posix_spawn + waitpid loop, each
// launch started when the previous one's end notice arrives through the event loop, the same
// with the output pipe and its keeper that an encoder gets, and that and the plain loop again
// while this process holds memory it has touched (as Zavrik does after a long list). Rounds
// alternate so that all see the same machine load; the medians are reported.
//   launch_bench [launches per round] [rounds] [MB held]
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
    // As the run does at the program's end: the keeper reads on.
    LetGoOfOutput(pid, output);
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
  const int held_mb = argc > 3 ? std::atoi(argv[3]) : 600;
  if (launches < 1 || rounds < 1 || held_mb < 0) {
    std::fprintf(stderr, "usage: launch_bench [launches per round] [rounds] [MB held]\n");
    return 2;
  }

  std::vector<double> plain;
  std::vector<double> event_loop;
  std::vector<double> with_output;
  std::vector<double> holding;
  std::vector<double> plain_holding;
  for (int round = 0; round < rounds; ++round) {
    plain.push_back(TimePlainLoop(launches));
    event_loop.push_back(TimeThroughEventLoop(launches, false));
    with_output.push_back(TimeThroughEventLoop(launches, true));
    {
      // Every page written, so that it is this process's own.
      const std::vector<char> held(size_t(held_mb) << 20, 1);
      plain_holding.push_back(TimePlainLoop(launches));
      holding.push_back(TimeThroughEventLoop(launches, true));
    }
    if (plain.back() < 0 || event_loop.back() < 0 || with_output.back() < 0 || holding.back() < 0) {
      std::fprintf(stderr, "launching %s failed\n", kProgram);
      return 1;
    }
  }

  const double plain_ms = Median(plain);
  std::printf("%d launches of %s, median of %d rounds (goal of each ratio: at most 1.15)\n",
              launches, kProgram, rounds);
  std::printf("posix_spawn + waitpid loop:     %.3f ms per launch\n", plain_ms);
  const auto row = [plain_ms](const char* name, double ms) {
    std::printf("%s: %.3f ms per launch, ratio %.3f\n", name, ms, ms / plain_ms);
  };
  row("ZavrikLaunch + end notice loop", Median(event_loop));
  row("the same with output pipe and keeper", Median(with_output));
  std::printf("holding %d MB, ", held_mb);
  row("with output pipe and keeper", Median(holding));
  // What holding the memory costs a launch that no keeper or event loop takes part in.
  std::printf("holding %d MB, ", held_mb);
  row("posix_spawn + waitpid loop", Median(plain_holding));
  return 0;
}
