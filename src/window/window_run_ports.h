#pragma once

#include "encode/process_run_ports.h"

class AlertPresenter;
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
  WindowRunPorts(const FilesList& files, const EncoderView& encoder_options,
                 ProgressWindow& progress, const QWidget& window, AlertPresenter& alerts,
                 MessageHandler& application);

  int FileCount() const override;
  QString FileAt(int index) const override;
  QString OptionsBefore() const override;
  QString OptionsAfter() const override;
  void ShowProgress() override;
  void HideProgress() override;
  void SetProgressTexts(const QString& file_text, const QString& number_text) override;
  void SetProgressButtonsEnabled(bool enabled) override;
  void ShowAlert(const Alert& alert) override;

 private:
  const FilesList& files_;
  const EncoderView& encoder_options_;
  ProgressWindow& progress_;
  const QWidget& window_;
  AlertPresenter& alerts_;
};
