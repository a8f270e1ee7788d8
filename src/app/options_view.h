#pragma once

#include <QWidget>

#include "app/settings.h"
#include "platform/message.h"
#include "window/options_tab.h"

class FilePanel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the tab's MIME buttons ask of the application object.
class MimeTypeActions {
 public:
  virtual ~MimeTypeActions() = default;
  // Installs the list MIME type when it is missing; with `show_result` the result is shown.
  virtual void RegisterMIMEType(bool show_result) = 0;
  // Deletes the list MIME type and shows the result.
  virtual void UnregisterMIMEType() = 0;
};

// The "Programm-Optionen" tab: shows the settings it is given, sends a command for every change
// to the window, and carries the changes into the settings when the window hands the commands
// back.
class OptionsView : public QWidget, public OptionsTab {
  Q_OBJECT

 public:
  // `settings` and `mime_types` belong to the application object and outlive the tab;
  // `application` takes the path panel's 'LOGP'.
  OptionsView(Settings& settings, MimeTypeActions& mime_types, MessageHandler* application,
              QWidget* parent = nullptr);

  QWidget* Widget() override { return this; }
  void SendCommandsTo(MessageHandler* window) override;
  // The tab's own commands; other codes change nothing.
  void MessageReceived(const Message& message) override;

  // Says, once and for the whole session, that changed settings cannot be kept, neither on the
  // executable nor in `settings_file`.
  void ShowSettingsCannotBeSaved(const QString& settings_file);

 private:
  void Fill(const Settings& settings);

  Settings& settings_;
  MimeTypeActions& mime_types_;
  QPushButton* set_encoder_location_;
  QLineEdit* encoder_location_;
  FilePanel* path_panel_;
  QCheckBox* dont_close_on_add_;
  QCheckBox* dont_clear_on_open_;
  QCheckBox* self_register_mime_type_;
  QPushButton* register_mime_type_now_;
  QPushButton* unregister_mime_type_now_;
  // A one-line notice, hidden until there is something to say (e.g. settings not saved).
  QLabel* settings_notice_;
};
