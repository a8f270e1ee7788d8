#pragma once

#include <QMainWindow>
#include <memory>

#include "app/settings.h"
#include "platform/alert.h"
#include "platform/message.h"

class EncodingRun;
class FilesList;
class ProgressWindow;
class QMenuBar;
class QPushButton;
class TabView;
class WindowRunPorts;

// The one window the user works in: the "Liste" and "Hilfe" menus, the three tabs, and the
// buttons "Kodieren!" and "Beenden". Every control's command arrives at MessageReceived.
class MainWindow : public QMainWindow, public MessageHandler {
  Q_OBJECT

 public:
  // `list_path`, when not empty, is opened as a list file whatever its type. `settings`,
  // `alerts` and `application` belong to the application object and outlive the window.
  MainWindow(const QString& list_path, Settings* settings, AlertPresenter* alerts,
             MessageHandler* application, QWidget* parent = nullptr);
  ~MainWindow() override;

  void MessageReceived(const Message& message) override;
  void RefsReceived(const Message& message);
  bool QuitRequested();

  QWidget* back_view;
  QPushButton* close_button;
  QPushButton* encode_button;
  ProgressWindow* progress_window;
  QMenuBar* menu_bar;
  TabView* tab_view;
  FilesList* files_list;  // the "Dateien" tab's list, kept at hand

  Settings* settings;
  AlertPresenter* alerts;
  MessageHandler* application;

  // The encoding run and the window's half of its ports; the run's state lives with the window.
  std::unique_ptr<WindowRunPorts> run_ports;
  std::unique_ptr<EncodingRun> run;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenuBar();
  void BuildButtons();
  void FixSize();
};
