#pragma once

#include "encode/process_run_ports.h"

class MainWindow;

// The main window's half of an encoding run's ports: its file list, the encoder options tab,
// the progress window and the alerts. Programs are launched for real; the end of each one
// reaches the application object as 'BRAQ' with "be:ref" (the canonical executable) and "pid",
// and the application hands it to the window's run.
class WindowRunPorts : public ProcessRunPorts {
 public:
  explicit WindowRunPorts(MainWindow& window);

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
  MainWindow& window_;
};
