#include "window/window_run_ports.h"

#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <utility>

#include "encode/progress_window.h"
#include "encoder_options/encoder_view.h"
#include "files/files_list.h"
#include "platform/background_task.h"
#include "platform/system_messages.h"

namespace {
// The progress window stands this far right of and below the main window's top-left corner.
constexpr QPoint kProgressOffset(50, 50);
}  // namespace

// The weighing thread is joined before the list it copied and the progress window go.
WindowRunPorts::~WindowRunPorts() = default;

WindowRunPorts::WindowRunPorts(FilesList& files, const EncoderView& encoder_options,
                               ProgressWindow& progress, const QWidget& window,
                               AlertPresenter& alerts, MessageHandler& application)
    : files_(files),
      encoder_options_(encoder_options),
      progress_(progress),
      window_(window),
      alerts_(alerts) {
  clock_.start();
  SetEndNoticeReceiver(
      [&application](const QString& executable, qint64 pid, const EncoderEnd& end) {
        Message notice(command::kSomeAppQuit);
        notice.AddRef(QStringLiteral("be:ref"), executable);
        notice.AddInt32(QStringLiteral("pid"), int32_t(pid));
        AddEncoderEnd(notice, end);
        application.MessageReceived(notice);
      });
}

int WindowRunPorts::FileCount() const { return files_.CountItems(); }

QString WindowRunPorts::FileAt(int index) const { return files_.ItemText(index); }

QString WindowRunPorts::OptionsBefore() const { return encoder_options_.OptionsBefore(); }

QString WindowRunPorts::OptionsAfter() const { return encoder_options_.OptionsAfter(); }

void WindowRunPorts::ShowProgress() {
  progress_.show();
  progress_.move(window_.frameGeometry().topLeft() + kProgressOffset);
}

void WindowRunPorts::HideProgress() { progress_.hide(); }

void WindowRunPorts::SetProgressTexts(const QString& file_text, const QString& number_text) {
  progress_.SetFileName(file_text);
  progress_.SetFileNumber(number_text);
}

void WindowRunPorts::SetProgressButtonsEnabled(bool enabled) {
  progress_.SetButtonsEnabled(enabled);
}

void WindowRunPorts::ShowAlert(const Alert& alert) { alerts_.Go(alert); }

void WindowRunPorts::SetFileProgress(int percent) { progress_.SetFileProgress(percent); }

void WindowRunPorts::SetRunProgress(int permille, const QString& remaining) {
  progress_.SetRunProgress(permille, remaining);
}

qint64 WindowRunPorts::FileSize(const QString& path) const { return QFileInfo(path).size(); }

void WindowRunPorts::WeighFiles(std::function<void(qint64 total_bytes)> weighed) {
  weighing_.reset();
  weighing_ = std::make_unique<BackgroundTask>(
      &progress_,
      [paths = files_.Texts()](const std::atomic<bool>& stop) {
        qint64 total = 0;
        for (const QString& path : paths) {
          if (stop.load(std::memory_order_relaxed)) break;
          struct stat info {};
          if (::stat(QFile::encodeName(path).constData(), &info) == 0) total += info.st_size;
        }
        return total;
      },
      std::move(weighed));
}

void WindowRunPorts::ShowResults(const RunResults& results) {
  QHash<QString, QString> failures;
  for (const FileResult& failed : results.Failed()) failures.insert(failed.path, failed.message);
  files_.ShowFailures(failures);
}

void WindowRunPorts::NotifyRunEnded(const QString& text) {
  // A user who watches Zavrik sees the end; one who works elsewhere hears of it.
  if (QApplication::activeWindow() == nullptr) desktop_notice_.Show(text, {});
}
