#include "files/files_view.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "files/files_commands.h"
#include "files/files_list.h"
#include "platform/file_panel.h"
#include "platform/system_messages.h"

namespace {
FilePanel::Setup AddFilesPanelSetup() {
  FilePanel::Setup setup;
  setup.mode = FilePanel::Mode::OpenFiles;
  setup.what = command::kRefsReceived;
  setup.title = QStringLiteral("Dateien hinzfügen");
  setup.accept_label = QStringLiteral("Hinzufügen");
  // The cancel label and whether the panel stays open are set before every showing.
  return setup;
}
}  // namespace

FilesView::FilesView(QPushButton* encode_button, MessageHandler* window,
                     MessageHandler* application, AlertPresenter* alerts,
                     const FilesSettings* settings, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      files_list_(new FilesList(application, alerts, settings)),
      add_files_panel_(new FilePanel(AddFilesPanelSetup(), application, this)),
      window_(window) {
  setObjectName(QStringLiteral("Dateien"));
  add_files_panel_->setObjectName(QStringLiteral("AddFilesPanel"));

  QPushButton* move_up =
      CommandButton("MoveUp", QStringLiteral("Nach oben schieben"), command::kMoveUp);
  QPushButton* move_down =
      CommandButton("MoveDown", QStringLiteral("Nach unten schieben"), command::kMoveDown);
  QPushButton* add = CommandButton("AddFiles", QStringLiteral("Hinzufügen..."), command::kAddFiles);
  QPushButton* remove =
      CommandButton("RemoveFiles", QStringLiteral("Entfernen"), command::kRemoveFiles);
  move_up->setEnabled(false);
  move_down->setEnabled(false);
  remove->setEnabled(false);
  files_list_->SetButtons(remove, encode_button, move_up, move_down);

  // The list scrolls itself; the frame around it stands for the scroll view.
  auto* scroll = new QFrame;
  scroll->setObjectName(QStringLiteral("FilesScroll"));
  scroll->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  files_list_->setFrameShape(QFrame::NoFrame);
  auto* scroll_layout = new QVBoxLayout(scroll);
  scroll_layout->setContentsMargins(0, 0, 0, 0);
  scroll_layout->addWidget(files_list_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(move_up);
  buttons->addWidget(move_down);
  buttons->addStretch();
  buttons->addWidget(add);
  buttons->addWidget(remove);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(scroll, 1);
  layout->addLayout(buttons);
}

void FilesView::MessageReceived(const Message& message) {
  if (message.what == command::kAddFiles) {
    ShowAddFilesPanel();
  } else {
    files_list_->MessageReceived(message);
  }
}

void FilesView::ShowAddFilesPanel() {
  const bool stays_open = settings_ && settings_->dont_close_on_add;
  // Set before every showing, so a change of the check box applies from the next one on.
  add_files_panel_->SetHideWhenDone(!stays_open);
  add_files_panel_->SetCancelButtonLabel(stays_open ? QStringLiteral("Schließen")
                                                    : QStringLiteral("Abbrechen"));
  add_files_panel_->Show();
}

QPushButton* FilesView::CommandButton(const char* name, const QString& label, uint32_t what) {
  auto* button = new QPushButton(label, this);
  button->setObjectName(QString::fromLatin1(name));
  connect(button, &QPushButton::clicked, this, [this, what] {
    if (window_) window_->MessageReceived(Message(what));
  });
  return button;
}
