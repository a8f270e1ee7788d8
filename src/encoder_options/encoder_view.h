#pragma once

#include <QWidget>

#include "encoder_options/option_string.h"
#include "encoder_options/encoder_commands.h"

class FilePanel;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The "Gogo-Optionen" tab: the encoder's options, read when a run starts. Only the output
// directory chooser has messages of its own ('ENCO' with "encoder_what").
class EncoderView : public QWidget {
  Q_OBJECT

 public:
  // `window` takes the button's 'ENCO'/'BROW'; `application` takes the directory panel's result.
  EncoderView(MessageHandler* window, MessageHandler* application, QWidget* parent = nullptr);

  void MessageReceived(const Message& message);

  QString OptionsBefore() const;
  QString OptionsAfter() const;

  QComboBox* bitrate_menu;
  QWidget* bitrate_field;
  QComboBox* output_mode_menu;
  QWidget* output_mode_field;
  QPushButton* output_dir_button;
  QLineEdit* output_dir_text;
  FilePanel* directory_panel;
  QCheckBox* disable_psycho;
  QCheckBox* delete_wave;
  QLineEdit* extra_param;

 private:
  EncoderOptionValues Values() const;
  void TakeDirectory(const Message& message);
};
