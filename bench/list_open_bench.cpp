// Opening a long list in the file list while the event loop is watched: the longest time the
// loop went without answering (a 1 ms timer's largest gap), the time until the list is filled,
// and the peak memory. Then a sparse file far beyond any list, which must be refused at once.
// With "short", the list holds the shortest records there are, far more of them than any list
// holds: it must be refused with its memory bounded. With "encode", a list of 8 000 000 entries
// in the main window: the time from "Kodieren!" until the progress window shows, the loop's
// longest gap meanwhile and for a second after, and the memory before and after "Neu".
//   list_open_bench [MEGABYTES] [short]   (default 250; run with QT_QPA_PLATFORM=offscreen)
//   list_open_bench encode
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "app/options_view.h"
#include "app/settings.h"
#include "encode/progress_window.h"
#include "encode/run_commands.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/list_file.h"
#include "ignoring_application.h"
#include "platform/alert.h"
#include "window/main_window.h"

namespace {

constexpr int kPathBytes = 60;

class CountingAlerts : public AlertPresenter {
 public:
  int Go(const Alert& alert) override {
    ids.append(alert.id);
    return 0;
  }
  QStringList ids;
};

// Writes a list of `megabytes` of 60-byte paths, or of one-byte ones; returns the number of
// records.
int WriteList(const QString& path, int megabytes, bool short_records) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return -1;
  file.write(QByteArray(kListFileHeader) + '\n');
  const qint64 bytes = qint64(megabytes) * 1024 * 1024;
  int records = 0;
  std::string block;
  while (file.size() + qint64(block.size()) < bytes) {
    std::string line = "0;/home/anwender/Musik/Aufnahmen/Sitzung-" + std::to_string(records);
    line.resize(short_records ? 3 : kPathBytes - 2, 'x');
    block += line + "\n";
    ++records;
    if (block.size() > (1 << 20)) {
      file.write(block.data(), qint64(block.size()));
      block.clear();
    }
  }
  file.write(block.data(), qint64(block.size()));
  return records;
}

long ResidentMegabytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
  }
  return -1;
}

// The longest time the event loop goes without answering, as a 1 ms timer's largest gap.
class GapWatch {
 public:
  GapWatch() {
    ticks_.setInterval(1);
    QObject::connect(&ticks_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
    clock_.start();
    ticks_.start();
  }
  void Restart() {
    last_ = clock_.nsecsElapsed();
    longest_ = 0;
  }
  double LongestMs() const { return double(longest_) / 1e6; }
  double NowMs() const { return double(clock_.nsecsElapsed()) / 1e6; }

 private:
  QElapsedTimer clock_;
  QTimer ticks_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

void RunEventsFor(QApplication& app, double ms) {
  QElapsedTimer clock;
  clock.start();
  while (double(clock.nsecsElapsed()) / 1e6 < ms) app.processEvents(QEventLoop::WaitForMoreEvents);
}

// "Kodieren!" on a list of 8 000 000 entries in the main window.
int BenchEncode(QApplication& app, const QString& list_path) {
  constexpr int kEntries = 8'000'000;
  {
    QFile file(list_path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    std::string block = std::string(kListFileHeader) + "\n";
    for (int i = 0; i < kEntries; ++i) {
      block += "0;/m/" + std::to_string(i) + "\n";
      if (block.size() > (1 << 20)) {
        file.write(block.data(), qint64(block.size()));
        block.clear();
      }
    }
    file.write(block.data(), qint64(block.size()));
  }
  IgnoringApplication application;
  CountingAlerts alerts;
  Settings settings;
  // Launches end unnoticed here, so the run stays at its first file.
  settings.encoder_location = QStringLiteral("/bin/true");
  const long before = ResidentMegabytes();
  MainWindow window(QString(), settings, application, alerts,
                    *new OptionsView(settings, application, &application));
  window.show();
  FilesList* list = window.findChild<FilesList*>();
  auto* progress = window.findChild<ProgressWindow*>();
  GapWatch gaps;
  RunEventsFor(app, 1000);
  const double idle_gap = gaps.LongestMs();
  const auto open_list = [&] {
    gaps.Restart();
    const double opened = gaps.NowMs();
    list->Open(list_path);
    while (list->ChangesPending()) app.processEvents(QEventLoop::WaitForMoreEvents);
    const double filled_after = gaps.NowMs() - opened;
    RunEventsFor(app, 1000);
    std::printf("%d entries opened: filled after %.0f ms, longest unanswered %.1f ms\n", kEntries,
                filled_after, gaps.LongestMs());
  };
  open_list();
  const long filled = ResidentMegabytes();
  gaps.Restart();
  window.MessageReceived(Message(command::kNewList));
  RunEventsFor(app, 2000);
  std::printf(
      "memory %ld MB before the list, %ld MB with it, %ld MB two seconds after \"Neu\", which "
      "left the window unanswered %.1f ms at most; the idle loop's longest gap %.1f ms\n",
      before, filled, ResidentMegabytes(), gaps.LongestMs(), idle_gap);
  open_list();
  gaps.Restart();
  const double pressed = gaps.NowMs();
  window.MessageReceived(Message(command::kEncode));
  while (!progress->isVisible()) app.processEvents(QEventLoop::WaitForMoreEvents);
  const double shown = gaps.NowMs() - pressed;
  RunEventsFor(app, 1000);
  std::printf(
      "\"Kodieren!\" on %d entries: progress window after %.1f ms, longest unanswered %.1f ms "
      "(up to a second after)\n",
      kEntries, shown, gaps.LongestMs());
  const double stop_pressed = gaps.NowMs();
  window.MessageReceived(Message(command::kStop));
  std::printf("\"Kodieren abbrechen\": %.0f ms\n", gaps.NowMs() - stop_pressed);
  return 0;
}

long PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 250;
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  const QString list_path = folder.filePath(QStringLiteral("lang.zvk"));
  if (argc > 1 && std::string(argv[1]) == "encode") return BenchEncode(app, list_path);
  const bool short_records = argc > 2 && std::string(argv[2]) == "short";
  const int records = WriteList(list_path, megabytes, short_records);
  const long before = PeakMegabytes();

  CountingAlerts alerts;
  FilesSettings settings;
  FilesList list(nullptr, &alerts, &settings);
  list.resize(400, 300);
  list.show();

  QElapsedTimer clock;
  qint64 last_tick = 0;
  qint64 longest_gap = 0;
  qint64 longest_gap_ended = 0;
  QTimer ticks;
  ticks.setInterval(1);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (now - last_tick > longest_gap) longest_gap_ended = now;
    longest_gap = std::max(longest_gap, now - last_tick);
    last_tick = now;
  });
  clock.start();
  ticks.start();
  // The same loop doing nothing for a second: what the machine itself adds to every gap.
  while (clock.elapsed() < 1000) app.processEvents(QEventLoop::WaitForMoreEvents);
  const qint64 idle_gap = std::exchange(longest_gap, 0);
  // Opened twice: the second time, the list replaces the one the first opening filled.
  for (const char* opening : {"opened", "opened again"}) {
    // Gaps count from here: what the benchmark itself does between the openings is no answer the
    // window owes.
    const qint64 opened_at = clock.nsecsElapsed();
    last_tick = opened_at;
    longest_gap = 0;
    list.Open(list_path);
    while (list.ChangesPending()) app.processEvents(QEventLoop::WaitForMoreEvents);
    // One more second, so that what follows (laying out the rows, letting go of the list
    // replaced or refused) is measured as well.
    const qint64 filled_at = clock.nsecsElapsed();
    while (clock.nsecsElapsed() < filled_at + 1'000'000'000) {
      app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::printf(
        "%d MB list, %d records, %s: %s after %.0f ms, longest unanswered %.1f ms (ending "
        "%.0f ms after the opening), %d entries, peak memory %ld MB (before opening %ld MB); the "
        "idle loop's longest gap %.1f ms\n",
        megabytes, records, opening, alerts.ids.isEmpty() ? "filled" : "refused",
        double(filled_at - opened_at) / 1e6, double(longest_gap) / 1e6,
        double(longest_gap_ended - opened_at) / 1e6, list.CountItems(), PeakMegabytes(), before,
        double(idle_gap) / 1e6);
    alerts.ids.clear();
  }

  const QString huge_path = folder.filePath(QStringLiteral("riesig.zvk"));
  QFile huge(huge_path);
  if (!huge.open(QIODevice::WriteOnly) || !huge.resize(qint64(3) * 1024 * 1024 * 1024)) return 1;
  huge.close();
  QElapsedTimer refuse;
  refuse.start();
  list.Open(huge_path);
  std::printf(
      "3 GB sparse list: %s after %.2f ms\n",
      alerts.ids == QStringList{QStringLiteral("OpenOpenError")} ? "OpenOpenError" : "no alert",
      double(refuse.nsecsElapsed()) / 1e6);
  return 0;
}
