#pragma once

#include <QWidget>

#include "platform/message.h"

class AlertPresenter;
class FilePanel;
class FilesList;
class QPushButton;
struct Settings;

// The "Dateien" tab: the file list above its four buttons. The buttons send their commands to
// the main window, which calls the list; the list keeps their enabled states.
class FilesView : public QWidget {
  Q_OBJECT

 public:
  FilesView(QPushButton* encode_button, MessageHandler* window, MessageHandler* application,
            AlertPresenter* alerts, const Settings* settings, QWidget* parent = nullptr);

  FilesList* const files_list;
  // Chooses files to add; its message goes to the application as command::kRefsReceived.
  FilePanel* const add_files_panel;

 private:
  QPushButton* CommandButton(const char* name, const QString& label, uint32_t what);

  MessageHandler* window_;
};
