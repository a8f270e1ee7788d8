#pragma once

#include <QWidget>

#include "encoder_options/encoder_commands.h"
#include "encoder_options/option_string.h"

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
  // `application` takes the directory panel's result. The "Suchen..." button shows the panel
  // itself.
  explicit EncoderView(MessageHandler* application, QWidget* parent = nullptr);

  void MessageReceived(const Message& message);

  QString OptionsBefore() const;
  QString OptionsAfter() const;

 private:
  EncoderOptionValues Values() const;
  void TakeDirectory(const Message& message);

  QComboBox* bitrate_menu_;
  QWidget* bitrate_field_;
  QComboBox* output_mode_menu_;
  QWidget* output_mode_field_;
  QPushButton* output_dir_button_;
  QLineEdit* output_dir_text_;
  FilePanel* directory_panel_;
  QCheckBox* disable_psycho_;
  QCheckBox* delete_wave_;
  QLineEdit* extra_param_;
};
