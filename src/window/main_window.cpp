#include "window/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "encode/encoding_run.h"
#include "encode/progress_window.h"
#include "encode/run_commands.h"
#include "encoder_options/encoder_view.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/files_view.h"
#include "platform/file_names.h"
#include "platform/file_type.h"
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

MainWindow::MainWindow(const QString& list_path, const WindowSettings& settings,
                       ApplicationPort& application, AlertPresenter& alerts,
                       OptionsTab& options_tab, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      application_(application),
      alerts_(alerts),
      options_tab_(options_tab) {
  setWindowTitle(QStringLiteral("Zavrik 1.2a"));
  // Not zoomable: no maximise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  progress_window_ = new ProgressWindow(this, this);
  BuildMenuBar();

  back_view_ = new QWidget(this);
  back_view_->setObjectName(QStringLiteral("BackView"));
  setCentralWidget(back_view_);
  BuildButtons();
  files_view_ = new FilesView(encode_button_, this, &application_, &alerts_, &settings_);
  files_list_ = files_view_->List();
  encoder_view_ = new EncoderView(&application_);
  options_tab_.SendCommandsTo(this);
  tab_view_ = new TabView(files_view_, encoder_view_, options_tab_.Widget(), back_view_);
  connect(files_list_, &FilesList::ListFileRead, tab_view_,
          [this] { tab_view_->setCurrentWidget(files_view_); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(encode_button_);
  buttons->addWidget(close_button_);
  auto* layout = new QVBoxLayout(back_view_);
  layout->setContentsMargins(5, 5, 5, 5);
  layout->addWidget(tab_view_, 1);
  layout->addLayout(buttons);
  FixSize();

  run_ports_ = std::make_unique<WindowRunPorts>(*files_list_, *encoder_view_, *progress_window_,
                                                *this, alerts_, application_);
  run_ = std::make_unique<EncodingRun>(*run_ports_);
  // Percentages are no command of anyone's: they go straight to the run.
  run_ports_->SetProgressReceiver(
      [this](qint64 pid, double percent) { run_->EncoderProgress(pid, percent); });

  if (!list_path.isEmpty()) files_list_->Open(list_path);
}

// Members go in reverse order, the run before its ports, both before the views they reach.
MainWindow::~MainWindow() = default;

void MainWindow::BuildMenuBar() {
  menu_bar_ = new QMenuBar(this);
  menu_bar_->setObjectName(QStringLiteral("MenuBar"));
  setMenuBar(menu_bar_);
  const auto add_item = [this](QMenu* menu, const QString& label, uint32_t what,
                               MessageHandler* target) {
    QAction* item = menu->addAction(label);
    connect(item, &QAction::triggered, this,
            [item, what, target] { PostMessage(item, target, Message(what)); });
  };
  QMenu* list_menu = menu_bar_->addMenu(QStringLiteral("Liste"));
  list_menu->setObjectName(QStringLiteral("ListMenu"));
  add_item(list_menu, QStringLiteral("Neu"), command::kNewList, this);
  add_item(list_menu, QStringLiteral("Speichern..."), command::kSaveList, this);
  add_item(list_menu, QStringLiteral("Öffnen..."), command::kOpenList, this);
  list_menu->addSeparator();
  add_item(list_menu, QStringLiteral("Beenden"), command::kClose, this);
  QMenu* help_menu = menu_bar_->addMenu(QStringLiteral("Hilfe"));
  help_menu->setObjectName(QStringLiteral("HelpMenu"));
  add_item(help_menu, QStringLiteral("Liesmich"), command::kReadme, this);
  help_menu->addSeparator();
  // The about box belongs to the application, not to the window.
  add_item(help_menu, QStringLiteral("Über..."), command::kAboutRequested, &application_);
}

void MainWindow::BuildButtons() {
  close_button_ = Button(QStringLiteral("CloseButton"), QStringLiteral("Beenden"), back_view_);
  connect(close_button_, &QPushButton::clicked, this,
          [this] { PostMessage(close_button_, this, Message(command::kClose)); });
  encode_button_ = Button(QStringLiteral("EncodeButton"), QStringLiteral("Kodieren!"), back_view_);
  // The file list enables it as soon as it holds an entry.
  encode_button_->setEnabled(false);
  connect(encode_button_, &QPushButton::clicked, this,
          [this] { PostMessage(encode_button_, this, Message(command::kEncode)); });
}

void MainWindow::FixSize() {
  // 440 x 280 unless the German texts in the desktop's font need more room.
  const QSize needed = minimumSizeHint().expandedTo(kWindowSize);
  setFixedSize(needed);
}

void MainWindow::MessageReceived(const Message& message) {
  switch (message.what) {
    case command::kNewList:
    case command::kSaveList:
    case command::kOpenList:
    case command::kSavePanel:
    case command::kOpenPanel:
    case command::kAddFiles:
    case command::kRemoveFiles:
    case command::kMoveUp:
    case command::kMoveDown:
      files_view_->MessageReceived(message);
      break;
    case command::kClose:
      // Closing goes through QuitRequested, which saves the settings and ends the application.
      close();
      break;
    case command::kReadme:
      OpenReadme();
      break;
    case command::kEncoderOptions:
      encoder_view_->MessageReceived(message);
      break;
    case command::kEncode:
      // The run starts on the list with every change given before "Kodieren!", a list file
      // still being read among them. Files handed over meanwhile wait for the run, as they
      // would if it had started at once.
      encode_waiting_ = true;
      files_list_->WhenUpToDate([this] {
        encode_waiting_ = false;
        run_->Start(settings_.encoder_location);
        TakeHandedFiles();
      });
      break;
    case command::kSkip:
      run_->Skip();
      break;
    case command::kStop:
      run_->Stop();
      TakeHandedFiles();
      break;
    default:
      // The program options tab's commands, and codes nobody knows, which it leaves alone.
      options_tab_.MessageReceived(message);
      break;
  }
}

void MainWindow::RefsReceived(const Message& message) {
  // Files handed over during a run wait for its end, so that the run encodes exactly the files
  // it started with; those that came later still wait behind them, in the order they came.
  if (run_->encoding() || encode_waiting_ || !handed_during_run_.isEmpty()) {
    handed_during_run_.append(message);
    return;
  }
  SortIntoList(message);
}

void MainWindow::TakeHandedFiles() {
  while (!run_->encoding() && !handed_during_run_.isEmpty()) {
    SortIntoList(handed_during_run_.takeFirst());
  }
}

void MainWindow::SortIntoList(const Message& message) {
  // The files before the first list file arrive together: one alert names those the list
  // cannot hold, and, as for dropped files, the names that lead to no file.
  QStringList files;
  QStringList left_out;
  for (const QString& ref : message.Refs(QStringLiteral("refs"))) {
    const QString path = QFileInfo(ref).canonicalFilePath();
    if (path.isEmpty()) {
      left_out.append(alerts::NoSuchFile(VisibleFileName(ref)));
      continue;
    }
    if (IsListFile(path)) {
      // The first list file is opened; what follows it in this message is dropped.
      files_list_->AddFiles(files, left_out);
      files_list_->Open(path);
      return;
    }
    files.append(path);
  }
  files_list_->AddFiles(files, left_out);
}

void MainWindow::OpenReadme() {
  const QString readme =
      QFileInfo(application_.ExecutablePath()).absolutePath() + QStringLiteral("/readme");
  if (QFileInfo::exists(readme)) {
    // Whether a viewer starts is not the user's to act on: its result is not looked at.
    QDesktopServices::openUrl(QUrl::fromLocalFile(readme));
  } else {
    alerts_.Go(alerts::ReadmeMissing());
  }
}

bool MainWindow::QuitRequested() {
  // A running encoder is left to finish its file.
  application_.WriteOptions();
  application_.Quit();
  return true;
}

void MainWindow::ProcessEnded(const QString& executable, qint64 pid, const EncoderEnd& end) {
  run_->ProcessEnded(executable, pid, end);
  TakeHandedFiles();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (QuitRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}
