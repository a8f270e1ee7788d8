// Time from process start to the first painted window: Zavrik's main window, with the settings
// read as Zavrik reads them, against a plain Qt window of the same size, started alternately in
// fresh processes. Needs a display (xvfb-run):
//   startup_bench [REPETITIONS [EXECUTABLE]]
// The settings are those of EXECUTABLE (default: this program). For an installed Zavrik, give
// /usr/lib/zavrik/zavrik and run as a user who may not write it: the user's settings file is read.
// The parent takes the clock right before spawning a child and hands it over; the child reports
// the time once its window has been painted and then quits.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/options_view.h"
#include "app/settings.h"
#include "ignoring_application.h"
#include "platform/message_box_presenter.h"
#include "window/main_window.h"

extern char** environ;

namespace {
int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Prints the milliseconds since `started` right after the watched window's first paint.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(int64_t started) : started_(started) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      // Queued, so the painting itself and the flush to the screen are counted.
      QTimer::singleShot(0, [this] {
        std::printf("%.3f\n", double(MonotonicNanoseconds() - started_) / 1e6);
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  int64_t started_;
  bool seen_ = false;
};

int RunChild(int argc, char** argv, bool main_window, int64_t started, const char* executable) {
  QApplication app(argc, argv);
  FirstPaint first_paint(started);
  IgnoringApplication application;
  MessageBoxPresenter alerts;
  Settings settings;
  std::unique_ptr<QWidget> window;
  if (main_window) {
    settings = LoadSettings(QFile::decodeName(executable), UserSettingsFile());
    window = std::make_unique<MainWindow>(QString(), settings, application, alerts,
                                          *new OptionsView(settings, application, &application));
  } else {
    window = std::make_unique<QWidget>();
    window->resize(440, 280);
  }
  window->installEventFilter(&first_paint);
  window->show();
  return app.exec();
}

// Starts this program as a child and returns the milliseconds it reports, or -1.
double TimeChild(const char* self, const char* mode, const char* executable) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  const std::string started = std::to_string(MonotonicNanoseconds());
  const char* child_argv[] = {self, "--child", mode, started.c_str(), executable, nullptr};
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, self, &actions, nullptr, const_cast<char* const*>(child_argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  std::string output;
  char buffer[64];
  for (ssize_t got; spawned == 0 && (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) {
    output.append(buffer, size_t(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child || status != 0) return -1;
  return std::atof(output.c_str());
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--child") {
    return RunChild(argc, argv, std::string(argv[2]) == "main", std::atoll(argv[3]), argv[4]);
  }
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const char* executable = argc > 2 ? argv[2] : argv[0];
  std::vector<double> minimal;
  std::vector<double> main_window;
  // One unmeasured round first, so both start from a warm file cache.
  TimeChild(argv[0], "minimal", executable);
  TimeChild(argv[0], "main", executable);
  for (int round = 0; round < repetitions; ++round) {
    const double minimal_ms = TimeChild(argv[0], "minimal", executable);
    const double main_ms = TimeChild(argv[0], "main", executable);
    if (minimal_ms < 0 || main_ms < 0) {
      std::fprintf(stderr, "a child failed to show its window (is there a display?)\n");
      return 1;
    }
    minimal.push_back(minimal_ms);
    main_window.push_back(main_ms);
    std::printf("round %d: minimal window %.1f ms, main window %.1f ms\n", round + 1, minimal_ms,
                main_ms);
  }
  const double ratio = Median(main_window) / Median(minimal);
  std::printf("median: minimal window %.1f ms, main window %.1f ms, ratio %.2f (goal <= 2.00)\n",
              Median(minimal), Median(main_window), ratio);
  return ratio <= 2.0 ? 0 : 3;
}
