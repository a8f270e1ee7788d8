#pragma once

#include <QApplication>
#include <QStringList>
#include <memory>

#include "app/options_view.h"
#include "app/settings.h"
#include "platform/alert.h"
#include "window/application_port.h"

class MainWindow;

// The one application object: holds the settings record, starts the program, routes the
// messages of the panels, of handed files and of ended encoders to the main window, and shows
// the about box.
class ZavrikApp : public QApplication, public ApplicationPort, public MimeTypeActions {
  Q_OBJECT

 public:
  ZavrikApp(int& argc, char** argv);
  ~ZavrikApp() override;

  // The file whose attributes hold the settings and beside which the readme stands; the running
  // executable unless set (tests use a copy).
  void SetExecutablePath(const QString& path) { executable_path_ = path; }
  // Where the settings are kept when the executable cannot keep them; the user's settings file
  // unless set.
  void SetSettingsFile(const QString& path) { settings_file_ = path; }
  // Where alerts go; message boxes unless set.
  void SetAlertPresenter(AlertPresenter* alerts);

  // Loads the settings, installs the list type silently when asked to, creates the main window,
  // sorts the files the program was started with into it and shows it.
  void ReadyToRun();
  // Before ReadyToRun the refs are kept for it; afterwards they go to the main window.
  void RefsReceived(const Message& message);
  void MessageReceived(const Message& message) override;
  void AboutRequested();

  void ReadOptions();
  void WriteOptions() override;
  void RegisterMIMEType(bool show_result) override;
  void UnregisterMIMEType() override;
  QString ExecutablePath() const override { return executable_path_; }
  void Quit() override;

  Settings settings;
  std::unique_ptr<MainWindow> main_window;
  // Files handed over before the main window exists.
  QStringList launch_refs;

 private:
  QString executable_path_;
  QString settings_file_;
  // The program options tab of the window; the window owns it.
  OptionsView* options_view_ = nullptr;
  std::unique_ptr<AlertPresenter> message_boxes_;
  AlertPresenter* alerts_;
};
