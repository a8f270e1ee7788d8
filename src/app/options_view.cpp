#include "app/options_view.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/options_commands.h"
#include "platform/file_panel.h"
#include "platform/message_post.h"
#include "platform/utf8_limit.h"
#include "platform/utf8_limit_validator.h"

namespace {
// The field takes a path and its NUL; the settings keep at most 1023 bytes of it.
constexpr qsizetype kEncoderLocationBytes = 1024;
constexpr qsizetype kStoredEncoderLocationBytes = 1023;

QPushButton* Button(const QString& name, const QString& label, QWidget* parent) {
  auto* button = new QPushButton(label, parent);
  button->setObjectName(name);
  return button;
}

QCheckBox* CheckBox(const QString& name, const QString& label, QWidget* parent) {
  auto* box = new QCheckBox(label, parent);
  box->setObjectName(name);
  return box;
}
}  // namespace

OptionsView::OptionsView(Settings& settings, MimeTypeActions& mime_types,
                         MessageHandler* application, QWidget* parent)
    : QWidget(parent), settings_(settings), mime_types_(mime_types) {
  setObjectName(QStringLiteral("Programm-Optionen"));

  // Links keep their own path here; a run resolves them when it starts.
  FilePanel::Setup path_setup;
  path_setup.mode = FilePanel::Mode::OpenFile;
  path_setup.what = command::kEncoderPathPanel;
  path_setup.title = QStringLiteral("Pfad suchen");
  path_setup.accept_label = QStringLiteral("Auswählen");
  path_setup.cancel_label = QStringLiteral("Abbrechen");
  path_setup.resolve_symlinks = false;
  path_panel_ = new FilePanel(path_setup, application, this);
  path_panel_->setObjectName(QStringLiteral("PathPanel"));

  set_encoder_location_ =
      Button(QStringLiteral("SetEncoderLocation"), QStringLiteral("Suchen..."), this);
  // The button only shows the tab's own panel, so it shows it itself.
  connect(set_encoder_location_, &QPushButton::clicked, path_panel_, &FilePanel::Show);
  encoder_location_ = new QLineEdit(this);
  encoder_location_->setObjectName(QStringLiteral("EncoderLocation"));
  LimitUtf8Bytes(encoder_location_, kEncoderLocationBytes);
  dont_close_on_add_ =
      CheckBox(QStringLiteral("DontCloseOnAdd"),
               QStringLiteral(
                   "\"Dateien hinzufügen\"-Dialog nach dem Hinzufügen von Dateien nicht schließen"),
               this);
  dont_clear_on_open_ = CheckBox(
      QStringLiteral("DontClearOnOpen"),
      QStringLiteral("Aktuelle Liste beim Öffnen einer anderen Liste nicht löschen"), this);
  self_register_mime_type_ =
      CheckBox(QStringLiteral("SelfRegisterMIMEType"),
               QStringLiteral("MIME-Typ beim Start automatisch installieren"), this);
  register_mime_type_now_ = Button(QStringLiteral("RegisterMIMETypeNow"),
                                   QStringLiteral("MIME-Typ jetzt installieren"), this);
  unregister_mime_type_now_ = Button(QStringLiteral("UnregisterMIMETypeNow"),
                                     QStringLiteral("MIME-Typ jetzt löschen"), this);
  settings_notice_ = new QLabel(this);
  settings_notice_->setObjectName(QStringLiteral("SettingsNotice"));
  settings_notice_->setWordWrap(true);
  // The notice names a path, which is never markup.
  settings_notice_->setTextFormat(Qt::PlainText);
  settings_notice_->hide();

  auto* path_label = new QLabel(QStringLiteral("Pfad zu Gogo:"), this);
  path_label->setBuddy(encoder_location_);
  auto* path_row = new QHBoxLayout;
  path_row->addWidget(path_label);
  path_row->addWidget(encoder_location_, 1);
  path_row->addWidget(set_encoder_location_);
  auto* mime_row = new QHBoxLayout;
  mime_row->addWidget(register_mime_type_now_);
  mime_row->addWidget(unregister_mime_type_now_);
  mime_row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(path_row);
  layout->addWidget(dont_close_on_add_);
  layout->addWidget(dont_clear_on_open_);
  layout->addWidget(self_register_mime_type_);
  layout->addLayout(mime_row);
  layout->addWidget(settings_notice_);
  layout->addStretch();

  // Filled before SendCommandsTo connects the controls: showing the stored values changes no
  // setting.
  Fill(settings);
}

void OptionsView::Fill(const Settings& settings) {
  encoder_location_->setText(settings.encoder_location);
  dont_close_on_add_->setChecked(settings.dont_close_on_add);
  dont_clear_on_open_->setChecked(settings.dont_clear_on_open);
  self_register_mime_type_->setChecked(settings.self_register_mime_type);
}

void OptionsView::SendCommandsTo(MessageHandler* window) {
  const auto post = [window](QObject* sender, uint32_t what) {
    return [window, sender, what] { PostMessage(sender, window, Message(what)); };
  };
  // Every change counts, the program's own (the path panel's choice) included.
  connect(encoder_location_, &QLineEdit::textChanged, this,
          post(encoder_location_, command::kEncoderLocationChanged));
  connect(dont_close_on_add_, &QCheckBox::toggled, this,
          post(dont_close_on_add_, command::kDontCloseOnAdd));
  connect(dont_clear_on_open_, &QCheckBox::toggled, this,
          post(dont_clear_on_open_, command::kDontClearOnOpen));
  connect(self_register_mime_type_, &QCheckBox::toggled, this,
          post(self_register_mime_type_, command::kSelfRegisterMimeType));
  connect(register_mime_type_now_, &QPushButton::clicked, this,
          post(register_mime_type_now_, command::kRegisterMimeTypeNow));
  connect(unregister_mime_type_now_, &QPushButton::clicked, this,
          post(unregister_mime_type_now_, command::kUnregisterMimeTypeNow));
}

void OptionsView::MessageReceived(const Message& message) {
  switch (message.what) {
    case command::kEncoderLocationChanged:
      settings_.encoder_location =
          Utf8Prefix(encoder_location_->text(), kStoredEncoderLocationBytes);
      break;
    case command::kLocateEncoder:
      path_panel_->Show();
      break;
    case command::kEncoderPathPanel:
      // A link keeps its own path; a run resolves it when it starts. The field's change then
      // reaches the settings through 'LOCM'.
      if (const std::optional<QString> ref = message.FindRef(QStringLiteral("refs"));
          ref && !ref->isEmpty()) {
        encoder_location_->setText(QFileInfo(*ref).absoluteFilePath());
      }
      break;
    case command::kDontCloseOnAdd:
      settings_.dont_close_on_add = dont_close_on_add_->isChecked();
      break;
    case command::kDontClearOnOpen:
      settings_.dont_clear_on_open = dont_clear_on_open_->isChecked();
      break;
    case command::kSelfRegisterMimeType:
      settings_.self_register_mime_type = self_register_mime_type_->isChecked();
      break;
    case command::kRegisterMimeTypeNow:
      mime_types_.RegisterMIMEType(true);
      break;
    case command::kUnregisterMimeTypeNow:
      mime_types_.UnregisterMIMEType();
      break;
    default:
      break;
  }
}

void OptionsView::ShowSettingsCannotBeSaved(const QString& settings_file) {
  settings_notice_->setText(
      QStringLiteral("Änderungen werden nicht gespeichert: Zavrik darf weder seine Programmdatei "
                     "ändern noch \"%1\" schreiben. Sie gelten bis zum Beenden.")
          .arg(settings_file));
  settings_notice_->show();
}
