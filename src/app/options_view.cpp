#include "app/options_view.h"

#include <QCheckBox>
#include <QFileDialog>  // completes the panel's dialog pointer
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/options_commands.h"
#include "platform/file_panel.h"
#include "platform/message_post.h"
#include "platform/utf8_limit_validator.h"

namespace {
constexpr qsizetype kEncoderLocationBytes = 1024;

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

OptionsView::OptionsView(const Settings& settings, MessageHandler* window,
                         MessageHandler* application, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("Programm-Optionen"));

  // Links keep their own path here; a run resolves them when it starts.
  FilePanel::Setup path_setup;
  path_setup.mode = FilePanel::Mode::OpenFile;
  path_setup.what = command::kEncoderPathPanel;
  path_setup.title = QStringLiteral("Pfad suchen");
  path_setup.accept_label = QStringLiteral("Auswählen");
  path_setup.cancel_label = QStringLiteral("Abbrechen");
  path_setup.resolve_symlinks = false;
  path_panel = new FilePanel(path_setup, application, this);

  set_encoder_location =
      Button(QStringLiteral("SetEncoderLocation"), QStringLiteral("Suchen..."), this);
  encoder_location = new QLineEdit(this);
  encoder_location->setObjectName(QStringLiteral("EncoderLocation"));
  LimitUtf8Bytes(encoder_location, kEncoderLocationBytes);
  dont_close_on_add =
      CheckBox(QStringLiteral("DontCloseOnAdd"),
               QStringLiteral(
                   "\"Dateien hinzufügen\"-Dialog nach dem Hinzufügen von Dateien nicht schließen"),
               this);
  dont_clear_on_open = CheckBox(
      QStringLiteral("DontClearOnOpen"),
      QStringLiteral("Aktuelle Liste beim Öffnen einer anderen Liste nicht löschen"), this);
  self_register_mime_type =
      CheckBox(QStringLiteral("SelfRegisterMIMEType"),
               QStringLiteral("MIME-Typ beim Start automatisch installieren"), this);
  register_mime_type_now = Button(QStringLiteral("RegisterMIMETypeNow"),
                                  QStringLiteral("MIME-Typ jetzt installieren"), this);
  unregister_mime_type_now = Button(QStringLiteral("UnregisterMIMETypeNow"),
                                    QStringLiteral("MIME-Typ jetzt löschen"), this);
  settings_notice = new QLabel(this);
  settings_notice->setObjectName(QStringLiteral("SettingsNotice"));
  settings_notice->setWordWrap(true);
  settings_notice->hide();

  auto* path_label = new QLabel(QStringLiteral("Pfad zu Gogo:"), this);
  path_label->setBuddy(encoder_location);
  auto* path_row = new QHBoxLayout;
  path_row->addWidget(path_label);
  path_row->addWidget(encoder_location, 1);
  path_row->addWidget(set_encoder_location);
  auto* mime_row = new QHBoxLayout;
  mime_row->addWidget(register_mime_type_now);
  mime_row->addWidget(unregister_mime_type_now);
  mime_row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(path_row);
  layout->addWidget(dont_close_on_add);
  layout->addWidget(dont_clear_on_open);
  layout->addWidget(self_register_mime_type);
  layout->addLayout(mime_row);
  layout->addWidget(settings_notice);
  layout->addStretch();

  // Filled before the commands are connected: showing the stored values changes no setting,
  // and the window that would receive them is still being built.
  Fill(settings);
  ConnectCommands(window);
}

void OptionsView::Fill(const Settings& settings) {
  encoder_location->setText(settings.encoder_location);
  dont_close_on_add->setChecked(settings.dont_close_on_add);
  dont_clear_on_open->setChecked(settings.dont_clear_on_open);
  self_register_mime_type->setChecked(settings.self_register_mime_type);
}

void OptionsView::ConnectCommands(MessageHandler* window) {
  const auto post = [window](QObject* sender, uint32_t what) {
    return [window, sender, what] { PostMessage(sender, window, Message(what)); };
  };
  connect(set_encoder_location, &QPushButton::clicked, this,
          post(set_encoder_location, command::kLocateEncoder));
  // Every change counts, the program's own (the path panel's choice) included.
  connect(encoder_location, &QLineEdit::textChanged, this,
          post(encoder_location, command::kEncoderLocationChanged));
  connect(dont_close_on_add, &QCheckBox::toggled, this,
          post(dont_close_on_add, command::kDontCloseOnAdd));
  connect(dont_clear_on_open, &QCheckBox::toggled, this,
          post(dont_clear_on_open, command::kDontClearOnOpen));
  connect(self_register_mime_type, &QCheckBox::toggled, this,
          post(self_register_mime_type, command::kSelfRegisterMimeType));
  connect(register_mime_type_now, &QPushButton::clicked, this,
          post(register_mime_type_now, command::kRegisterMimeTypeNow));
  connect(unregister_mime_type_now, &QPushButton::clicked, this,
          post(unregister_mime_type_now, command::kUnregisterMimeTypeNow));
}

void OptionsView::ShowSettingsCannotBeSaved() {
  settings_notice->setText(
      QStringLiteral("Änderungen werden nicht gespeichert: Zavrik darf seine Programmdatei nicht "
                     "ändern. Sie gelten bis zum Beenden."));
  settings_notice->show();
}
