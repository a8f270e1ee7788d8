#include "window/window_run_ports.h"

#include "encode/progress_window.h"
#include "encoder_options/encoder_view.h"
#include "files/files_list.h"
#include "platform/system_messages.h"
#include "window/main_window.h"
#include "window/tab_view.h"

namespace {
// The progress window stands this far right of and below the main window's top-left corner.
constexpr QPoint kProgressOffset(50, 50);
}  // namespace

WindowRunPorts::WindowRunPorts(MainWindow& window) : window_(window) {
  SetEndNoticeReceiver([&window](const QString& executable, qint64 pid) {
    if (window.application == nullptr) return;
    Message notice(command::kSomeAppQuit);
    notice.AddRef(QStringLiteral("be:ref"), executable);
    notice.AddInt32(QStringLiteral("pid"), int32_t(pid));
    window.application->MessageReceived(notice);
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
