#include "encoder_options/encoder_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/file_panel.h"
#include "platform/paths.h"
#include "platform/utf8_limit_validator.h"

namespace {
constexpr qsizetype kOutputDirBytes = 1024;
constexpr qsizetype kExtraParamBytes = 128;

// A radio menu whose position 1 is a separator, so positions count as the option string does.
QComboBox* RadioMenu(const QString& name, const QStringList& items, QWidget* parent) {
  auto* menu = new QComboBox(parent);
  menu->setObjectName(name);
  menu->addItem(QStringLiteral("Standard"));
  menu->addItems(items);
  menu->insertSeparator(1);
  menu->setCurrentIndex(0);
  return menu;
}

QStringList BitrateLabels() {
  QStringList labels;
  for (int bitrate : kBitrateTable) labels << QStringLiteral("%1 kbps").arg(bitrate);
  return labels;
}

QLabel* FieldLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}
}  // namespace

EncoderView::EncoderView(MessageHandler* application, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Gogo-Optionen"));

  FilePanel::Setup panel_setup;
  panel_setup.mode = FilePanel::Mode::OpenDirectory;
  panel_setup.what = command::kEncoderOptions;
  panel_setup.title = QStringLiteral("Ausgabeverzeichnis auswählen");
  panel_setup.accept_label = QStringLiteral("Auswählen");
  panel_setup.cancel_label = QStringLiteral("Abbrechen");
  panel_setup.int_field = QStringLiteral("encoder_what");
  panel_setup.int_value = int32_t(command::kOutputDirPanel);
  directory_panel_ = new FilePanel(panel_setup, application, this);
  directory_panel_->setObjectName(QStringLiteral("DirectoryPanel"));

  // A menu field is its label and its menu, side by side.
  bitrate_field_ = new QWidget(this);
  bitrate_field_->setObjectName(QStringLiteral("BitRateField"));
  bitrate_menu_ = RadioMenu(QStringLiteral("BitRate"), BitrateLabels(), bitrate_field_);
  output_mode_field_ = new QWidget(this);
  output_mode_field_->setObjectName(QStringLiteral("OutputModeField"));
  output_mode_menu_ =
      RadioMenu(QStringLiteral("OutputMode"),
                {QStringLiteral("Mono"), QStringLiteral("Stereo"), QStringLiteral("Joint Stereo")},
                output_mode_field_);

  disable_psycho_ = new QCheckBox(QStringLiteral("Psycho-akustisches Modell deaktivieren"), this);
  disable_psycho_->setObjectName(QStringLiteral("DisablePsycho"));
  delete_wave_ = new QCheckBox(QStringLiteral("Wave-Dateien nach dem Kodieren löschen"), this);
  delete_wave_->setObjectName(QStringLiteral("DeleteWave"));

  output_dir_button_ = new QPushButton(QStringLiteral("Suchen..."), this);
  output_dir_button_->setObjectName(QStringLiteral("OutputDirButton"));
  output_dir_text_ = new QLineEdit(this);
  output_dir_text_->setObjectName(QStringLiteral("OutputDirText"));
  LimitUtf8Bytes(output_dir_text_, kOutputDirBytes);
  extra_param_ = new QLineEdit(this);
  extra_param_->setObjectName(QStringLiteral("ExtraParam"));
  LimitUtf8Bytes(extra_param_, kExtraParamBytes);

  // Each row is a label and its field; the labels share one width so the fields line up.
  auto* bitrate_label = FieldLabel(QStringLiteral("Bitrate:"), bitrate_menu_, bitrate_field_);
  auto* mode_label =
      FieldLabel(QStringLiteral("Ausgabemodus:"), output_mode_menu_, output_mode_field_);
  auto* dir_label = FieldLabel(QStringLiteral("Ausgabeverzeichnis:"), output_dir_text_, this);
  auto* extra_label = FieldLabel(QStringLiteral("Zusätzliche Parameter:"), extra_param_, this);
  int label_width = 0;
  for (QLabel* label : {bitrate_label, mode_label, dir_label, extra_label}) {
    label_width = std::max(label_width, label->sizeHint().width());
  }
  for (QLabel* label : {bitrate_label, mode_label, dir_label, extra_label}) {
    label->setFixedWidth(label_width);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  const auto add_row = [layout](QWidget* container, std::initializer_list<QWidget*> widgets,
                                bool stretch_after) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets) row->addWidget(widget);
    if (stretch_after) row->addStretch();
    if (container == nullptr) {
      layout->addLayout(row);
    } else {
      container->setLayout(row);
      layout->addWidget(container);
    }
  };
  add_row(bitrate_field_, {bitrate_label, bitrate_menu_}, true);
  add_row(output_mode_field_, {mode_label, output_mode_menu_}, true);
  layout->addWidget(disable_psycho_);
  layout->addWidget(delete_wave_);
  add_row(nullptr, {dir_label, output_dir_text_, output_dir_button_}, false);
  add_row(nullptr, {extra_label, extra_param_}, false);
  layout->addStretch();

  connect(output_dir_button_, &QPushButton::clicked, directory_panel_, &FilePanel::Show);
}

void EncoderView::MessageReceived(const Message& message) {
  const std::optional<int32_t> encoder_what = message.FindInt32(QStringLiteral("encoder_what"));
  if (!encoder_what) return;
  if (uint32_t(*encoder_what) == command::kBrowseOutputDir) {
    directory_panel_->Show();
  } else if (uint32_t(*encoder_what) == command::kOutputDirPanel) {
    TakeDirectory(message);
  }
}

void EncoderView::TakeDirectory(const Message& message) {
  const std::optional<QString> chosen = message.FindRef(QStringLiteral("refs"));
  if (!chosen) return;
  // Links are followed: the encoder writes into the folder the link points at.
  output_dir_text_->setText(CanonicalOrAbsolutePath(*chosen));
}

EncoderOptionValues EncoderView::Values() const {
  return {.bitrate_position = bitrate_menu_->currentIndex(),
          .mode_position = output_mode_menu_->currentIndex(),
          .disable_psycho = disable_psycho_->isChecked(),
          .delete_wave = delete_wave_->isChecked(),
          .output_directory = output_dir_text_->text(),
          .extra_parameters = extra_param_->text()};
}

QString EncoderView::OptionsBefore() const { return OptionsBeforeText(Values()); }

QString EncoderView::OptionsAfter() const { return OptionsAfterText(); }
