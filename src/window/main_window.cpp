#include "window/main_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "encode/encoding_run.h"
#include "encode/progress_window.h"
#include "encode/run_commands.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/files_view.h"
#include "platform/message_post.h"
#include "platform/system_messages.h"
#include "window/tab_view.h"
#include "window/window_commands.h"
#include "window/window_run_ports.h"

namespace {
constexpr QSize kWindowSize(440, 280);

QPushButton* Button(const QString& name, const QString& label, QWidget* parent) {
  auto* button = new QPushButton(label, parent);
  button->setObjectName(name);
  // "Kodieren!" is no default button: Return in a text field must not start a run.
  button->setAutoDefault(false);
  return button;
}
}  // namespace

MainWindow::MainWindow(const QString& list_path, Settings* settings_record,
                       AlertPresenter* alert_presenter, MessageHandler* application_handler,
                       QWidget* parent)
    : QMainWindow(parent),
      settings(settings_record),
      alerts(alert_presenter),
      application(application_handler) {
  setWindowTitle(QStringLiteral("Zavrik 1.2a"));
  // Not zoomable: no maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  progress_window = new ProgressWindow(this, this);
  BuildMenuBar();

  back_view = new QWidget(this);
  back_view->setObjectName(QStringLiteral("BackView"));
  setCentralWidget(back_view);
  BuildButtons();
  tab_view = new TabView(encode_button, this, application, alerts, settings, back_view);
  files_list = tab_view->files_view->files_list;
  connect(files_list, &FilesList::ListFileRead, tab_view,
          [this] { tab_view->setCurrentWidget(tab_view->files_view); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(encode_button);
  buttons->addWidget(close_button);
  auto* layout = new QVBoxLayout(back_view);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->addWidget(tab_view, 1);
  layout->addLayout(buttons);
  FixSize();

  run_ports = std::make_unique<WindowRunPorts>(*this);
  run = std::make_unique<EncodingRun>(*run_ports);

  if (!list_path.isEmpty()) files_list->Open(list_path);
}

// Members go in reverse order, the run before its ports, both before the views they reach.
MainWindow::~MainWindow() = default;

void MainWindow::BuildMenuBar() {
  menu_bar = new QMenuBar(this);
  menu_bar->setObjectName(QStringLiteral("MenuBar"));
  setMenuBar(menu_bar);
  const auto add_item = [this](QMenu* menu, const QString& label, uint32_t what,
                               MessageHandler* target) {
    QAction* item = menu->addAction(label);
    connect(item, &QAction::triggered, this,
            [item, what, target] { PostMessage(item, target, Message(what)); });
  };
  QMenu* list_menu = menu_bar->addMenu(QStringLiteral("Liste"));
  list_menu->setObjectName(QStringLiteral("ListMenu"));
  add_item(list_menu, QStringLiteral("Neu"), command::kNewList, this);
  add_item(list_menu, QStringLiteral("Speichern..."), command::kSaveList, this);
  add_item(list_menu, QStringLiteral("Öffnen..."), command::kOpenList, this);
  list_menu->addSeparator();
  add_item(list_menu, QStringLiteral("Beenden"), command::kClose, this);
  QMenu* help_menu = menu_bar->addMenu(QStringLiteral("Hilfe"));
  help_menu->setObjectName(QStringLiteral("HelpMenu"));
  add_item(help_menu, QStringLiteral("Liesmich"), command::kReadme, this);
  help_menu->addSeparator();
  // The about box belongs to the application, not to the window.
  add_item(help_menu, QStringLiteral("Über..."), command::kAboutRequested, application);
}

void MainWindow::BuildButtons() {
  close_button = Button(QStringLiteral("CloseButton"), QStringLiteral("Beenden"), back_view);
  connect(close_button, &QPushButton::clicked, this,
          [this] { PostMessage(close_button, this, Message(command::kClose)); });
  encode_button = Button(QStringLiteral("EncodeButton"), QStringLiteral("Kodieren!"), back_view);
  // The file list enables it as soon as it holds an entry.
  encode_button->setEnabled(false);
  connect(encode_button, &QPushButton::clicked, this,
          [this] { PostMessage(encode_button, this, Message(command::kEncode)); });
}

void MainWindow::FixSize() {
  // 440 x 280 unless the German texts in the desktop's font need more room.
  const QSize needed = minimumSizeHint().expandedTo(kWindowSize);
  setFixedSize(needed);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (QuitRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}
