#pragma once

#include <QMainWindow>
#include <memory>

#include "encode/encoding_run.h"
#include "platform/alert.h"
#include "platform/message.h"
#include "window/application_port.h"
#include "window/options_tab.h"
#include "window/window_settings.h"

class EncoderView;
class FilesList;
class FilesView;
class ProgressWindow;
class QMenuBar;
class QPushButton;
class TabView;
class WindowRunPorts;

// The one window the user works in: the "Liste" and "Hilfe" menus, the three tabs, and the
// buttons "Kodieren!" and "Beenden". Every control's command arrives at MessageReceived, which
// hands each family of commands to the part that owns it.
class MainWindow : public QMainWindow, public MessageHandler {
  Q_OBJECT

 public:
  // `list_path`, when not empty, is opened as a list file whatever its type. `settings`,
  // `application` and `alerts` belong to the application object and outlive the window; the
  // window takes `options_tab` as its last tab and owns it from then on.
  MainWindow(const QString& list_path, const WindowSettings& settings, ApplicationPort& application,
             AlertPresenter& alerts, OptionsTab& options_tab, QWidget* parent = nullptr);
  ~MainWindow() override;

  void MessageReceived(const Message& message) override;
  // Adds the handed files to the list, or opens the first list file among them; during a run
  // they wait for its end.
  void RefsReceived(const Message& message);
  bool QuitRequested();
  // The end of a launched program: moves the run on when it is the encoder launched last.
  void ProcessEnded(const QString& executable, qint64 pid, const EncoderEnd& end = {});

  const EncodingRun& run() const { return *run_; }
  const WindowRunPorts& run_ports() const { return *run_ports_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenuBar();
  void BuildButtons();
  void FixSize();
  void OpenReadme();
  void SortIntoList(const Message& message);
  // Sorts the files handed over during a run into the list once it has ended.
  void TakeHandedFiles();

  const WindowSettings& settings_;
  ApplicationPort& application_;
  AlertPresenter& alerts_;
  OptionsTab& options_tab_;

  QWidget* back_view_;
  QPushButton* close_button_;
  QPushButton* encode_button_;
  ProgressWindow* progress_window_;
  QMenuBar* menu_bar_;
  FilesView* files_view_;
  FilesList* files_list_;  // the "Dateien" tab's list, kept at hand
  EncoderView* encoder_view_;
  TabView* tab_view_;

  // The encoding run and the window's half of its ports; the run's state lives with the window.
  std::unique_ptr<WindowRunPorts> run_ports_;
  std::unique_ptr<EncodingRun> run_;
  QList<Message> handed_during_run_;
  bool encode_waiting_ = false;  // "Kodieren!" waits for the list to take earlier changes
};
