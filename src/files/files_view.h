#pragma once

#include <QWidget>

#include "files/files_settings.h"
#include "platform/message.h"

class AlertPresenter;
class FilePanel;
class FilesList;
class QPushButton;

// The "Dateien" tab: the file list above its four buttons. The buttons send their commands to
// the main window, which hands them back here; the list keeps their enabled states.
class FilesView : public QWidget {
  Q_OBJECT

 public:
  // `settings` is read at every showing of the add-files panel and every Open of a list.
  FilesView(QPushButton* encode_button, MessageHandler* window, MessageHandler* application,
            AlertPresenter* alerts, const FilesSettings* settings, QWidget* parent = nullptr);

  // The file list's commands: "Hinzufügen..." shows the add-files panel, the list does the rest.
  void MessageReceived(const Message& message);

  FilesList* List() const { return files_list_; }

 private:
  QPushButton* CommandButton(const char* name, const QString& label, uint32_t what);
  void ShowAddFilesPanel();

  const FilesSettings* settings_;
  FilesList* const files_list_;
  // Chooses files to add; its message goes to the application as command::kRefsReceived.
  FilePanel* const add_files_panel_;
  MessageHandler* window_;
};
