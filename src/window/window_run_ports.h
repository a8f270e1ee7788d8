#pragma once

#include <QElapsedTimer>
#include <memory>

#include "encode/process_run_ports.h"
#include "platform/desktop_notice.h"

class AlertPresenter;
class BackgroundTask;
class EncoderView;
class FilesList;
class MessageHandler;
class ProgressWindow;
class QWidget;

// The main window's half of an encoding run's ports: its file list, the encoder options tab,
// the progress window and the alerts. Programs are launched for real; the end of each one
// reaches the application object as 'BRAQ' with "be:ref" (the canonical executable) and "pid",
// and the application hands it to the window's run.
class WindowRunPorts : public ProcessRunPorts {
 public:
  // The progress window is placed relative to `window`.
  WindowRunPorts(FilesList& files, const EncoderView& encoder_options, ProgressWindow& progress,
                 const QWidget& window, AlertPresenter& alerts, MessageHandler& application);
  ~WindowRunPorts() override;

  int FileCount() const override;
  QString FileAt(int index) const override;
  QString OptionsBefore() const override;
  QString OptionsAfter() const override;
  void ShowProgress() override;
  void HideProgress() override;
  void SetProgressTexts(const QString& file_text, const QString& number_text) override;
  void SetProgressButtonsEnabled(bool enabled) override;
  void ShowAlert(const Alert& alert) override;
  void SetFileProgress(int percent) override;
  void SetRunProgress(int permille, const QString& remaining) override;
  qint64 FileSize(const QString& path) const override;
  // On a thread of its own, so "Kodieren!" shows the progress window at once whatever the list's
  // length; a new weighing replaces one still under way.
  void WeighFiles(std::function<void(qint64 total_bytes)> weighed) override;
  qint64 NowMs() const override { return clock_.elapsed(); }
  void ShowResults(const RunResults& results) override;
  void NotifyRunEnded(const QString& text) override;

 private:
  FilesList& files_;
  const EncoderView& encoder_options_;
  ProgressWindow& progress_;
  const QWidget& window_;
  AlertPresenter& alerts_;
  QElapsedTimer clock_;
  DBusDesktopNotice desktop_notice_;
  std::unique_ptr<BackgroundTask> weighing_;
};
