#include "window/window_run_ports.h"

#include <QApplication>
#include <QFileInfo>

#include "encode/progress_window.h"
#include "encoder_options/encoder_view.h"
#include "files/files_list.h"
#include "window/main_window.h"
#include "window/tab_view.h"

namespace {
// The progress window stands this far right of and below the main window's top-left corner.
constexpr QPoint kProgressOffset(50, 50);
}  // namespace

WindowRunPorts::WindowRunPorts(MainWindow& window) : window_(window) {
  clock_.start();
  SetEndNoticeReceiver([&window](const QString& executable, qint64 pid, const EncoderEnd& end) {
    if (window.application == nullptr) return;
    Message notice(command::kSomeAppQuit);
    notice.AddRef(QStringLiteral("be:ref"), executable);
    notice.AddInt32(QStringLiteral("pid"), int32_t(pid));
    AddEncoderEnd(notice, end);
    window.application->MessageReceived(notice);
  });
  // Percentages are no command of anyone's: they go straight to the run.
  SetProgressReceiver([&window](qint64 pid, double percent) {
    if (window.run) window.run->EncoderProgress(pid, percent);
  });
}

int WindowRunPorts::FileCount() const { return window_.files_list->CountItems(); }

QString WindowRunPorts::FileAt(int index) const { return window_.files_list->ItemText(index); }

QString WindowRunPorts::OptionsBefore() const {
  return window_.tab_view->encoder_view->OptionsBefore();
}

QString WindowRunPorts::OptionsAfter() const {
  return window_.tab_view->encoder_view->OptionsAfter();
}

void WindowRunPorts::ShowProgress() {
  ProgressWindow* progress = window_.progress_window;
  progress->show();
  progress->move(window_.frameGeometry().topLeft() + kProgressOffset);
}

void WindowRunPorts::HideProgress() { window_.progress_window->hide(); }

void WindowRunPorts::SetProgressTexts(const QString& file_text, const QString& number_text) {
  window_.progress_window->SetFileName(file_text);
  window_.progress_window->SetFileNumber(number_text);
}

void WindowRunPorts::SetProgressButtonsEnabled(bool enabled) {
  window_.progress_window->SetButtonsEnabled(enabled);
}

void WindowRunPorts::ShowAlert(const Alert& alert) { window_.alerts->Go(alert); }

void WindowRunPorts::SetFileProgress(int percent) {
  window_.progress_window->SetFileProgress(percent);
}

void WindowRunPorts::SetRunProgress(int permille, const QString& remaining) {
  window_.progress_window->SetRunProgress(permille, remaining);
}

qint64 WindowRunPorts::FileSize(const QString& path) const { return QFileInfo(path).size(); }

void WindowRunPorts::ShowResults(const RunResults& results) {
  QHash<QString, QString> failures;
  for (const FileResult& failed : results.Failed()) failures.insert(failed.path, failed.message);
  window_.files_list->ShowFailures(failures);
}

void WindowRunPorts::NotifyRunEnded(const QString& text) {
  // A user who watches Zavrik sees the end; one who works elsewhere hears of it.
  if (QApplication::activeWindow() == nullptr) notice_->Show(text, {});
}
