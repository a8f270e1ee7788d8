#pragma once

#include <QWidget>

#include "app/settings.h"
#include "platform/message.h"

class FilePanel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Programm-Optionen" tab: shows the settings it is given and sends a command for every
// change; the main window's handlers carry the changes into the settings.
class OptionsView : public QWidget {
  Q_OBJECT

 public:
  // `window` takes the controls' commands; `application` takes the path panel's 'LOGP'.
  OptionsView(const Settings& settings, MessageHandler* window, MessageHandler* application,
              QWidget* parent = nullptr);

  QPushButton* set_encoder_location;
  QLineEdit* encoder_location;
  FilePanel* path_panel;
  QCheckBox* dont_close_on_add;
  QCheckBox* dont_clear_on_open;
  QCheckBox* self_register_mime_type;
  QPushButton* register_mime_type_now;
  QPushButton* unregister_mime_type_now;
  // A one-line notice, hidden until there is something to say (e.g. settings not saved).
  QLabel* settings_notice;

  // Says, once and for the whole session, that changed settings cannot be kept.
  void ShowSettingsCannotBeSaved();

 private:
  void Fill(const Settings& settings);
  void ConnectCommands(MessageHandler* window);
};
