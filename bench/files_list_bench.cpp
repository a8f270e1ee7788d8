// Times the file list with 100,000 entries of 60-byte paths: adding them as one drop, selecting
// every other entry and removing the selection, moving one entry, and clearing. Each step is
// timed on its own, and so is the layout and repaint that the event loop does after it.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "files/dropped_paths.h"
#include "files/files_list.h"
#include "platform/alert.h"
#include "platform/message.h"

namespace {

constexpr int kEntries = 100000;
constexpr int kPathBytes = 60;
constexpr int kRounds = 5;

class SilentAlerts : public AlertPresenter {
 public:
  int Go(const Alert&) override { return 0; }
};

class IgnoringHandler : public MessageHandler {
 public:
  void MessageReceived(const Message&) override {}
};

// Creates the files, each named so that its whole path is kPathBytes long.
QList<QUrl> MakeFiles(const QString& folder) {
  QList<QUrl> urls;
  urls.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    QString path = folder + QStringLiteral("/%1-").arg(i, 6, 10, QLatin1Char('0'));
    path += QString(kPathBytes - 4 - path.size(), QLatin1Char('x')) + QStringLiteral(".wav");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
      std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
      std::exit(1);
    }
    urls.append(QUrl::fromLocalFile(path));
  }
  return urls;
}

double Milliseconds(const std::function<void()>& step) {
  QElapsedTimer timer;
  timer.start();
  step();
  return double(timer.nsecsElapsed()) / 1e6;
}

// Feeds a drag through the view, as a drag from a file manager enters and ends.
void Drop(FilesList& list, const QMimeData& data) {
  const QPoint inside(5, 5);
  QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list.viewport(), &enter);
  QDropEvent drop(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(list.viewport(), &drop);
}

QItemSelection EveryOtherRow(const FilesList& list) {
  QItemSelection selection;
  for (int row = 0; row < list.CountItems(); row += 2) {
    const QModelIndex index = list.model()->index(row, 0);
    selection.append(QItemSelectionRange(index, index));
  }
  return selection;
}

class Timings {
 public:
  void Add(const char* step, double ms) {
    if (!samples_.count(step)) order_.push_back(step);
    samples_[step].push_back(ms);
  }
  void Print() const {
    std::printf("%-44s %9s %9s %9s\n", "step (100,000 entries, 60-byte paths)", "median", "min",
                "max");
    for (const char* step : order_) {
      std::vector<double> values = samples_.at(step);
      std::sort(values.begin(), values.end());
      std::printf("%-44s %7.2f ms %6.2f ms %6.2f ms\n", step, values[values.size() / 2],
                  values.front(), values.back());
    }
  }

 private:
  std::vector<const char*> order_;
  std::map<std::string, std::vector<double>> samples_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir folder;
  if (!folder.isValid()) return 1;
  const QList<QUrl> urls = MakeFiles(QDir(folder.path()).canonicalPath());
  QMimeData dropped;
  dropped.setUrls(urls);

  IgnoringHandler application;
  SilentAlerts alerts;
  Settings settings;
  QPushButton remove, encode, move_up, move_down;
  FilesList list(&application, &alerts, &settings);
  list.SetButtons(&remove, &encode, &move_up, &move_down);
  list.resize(420, 200);
  list.show();
  // What follows a step before the user sees it: the delayed layout and the repaint.
  const auto repaint = [&list] {
    list.viewport()->update();
    QCoreApplication::processEvents();
  };

  Timings timings;
  for (int round = 0; round < kRounds; ++round) {
    QStringList resolved;
    timings.Add("resolving the dropped URLs (file system)",
                Milliseconds([&] { resolved = ResolveDroppedUrls(urls); }));
    timings.Add("appending the resolved paths", Milliseconds([&] { list.AddItems(resolved); }));
    list.Clear();
    repaint();

    timings.Add("adding as one drop", Milliseconds([&] { Drop(list, dropped); }));
    timings.Add("  layout and paint after the drop", Milliseconds(repaint));
    if (list.CountItems() != kEntries) {
      std::fprintf(stderr, "the drop added %d entries\n", list.CountItems());
      return 1;
    }

    const QItemSelection every_other = EveryOtherRow(list);
    timings.Add("selecting every other entry", Milliseconds([&] {
                  list.selectionModel()->select(every_other, QItemSelectionModel::ClearAndSelect);
                }));
    timings.Add("removing the selection", Milliseconds([&] { list.RemoveFiles(); }));
    timings.Add("  layout and paint after the removal", Milliseconds(repaint));
    if (list.CountItems() != kEntries / 2) return 1;

    const QModelIndex middle = list.model()->index(list.CountItems() / 2, 0);
    list.selectionModel()->select(middle, QItemSelectionModel::ClearAndSelect);
    repaint();  // the user sees the selection before pressing the button
    timings.Add("moving one entry", Milliseconds([&] { list.MoveUp(); }));
    timings.Add("  layout and paint after the move", Milliseconds(repaint));

    timings.Add("clearing", Milliseconds([&] { list.Clear(); }));
    timings.Add("  layout and paint after clearing", Milliseconds(repaint));
  }
  timings.Print();
  return 0;
}
