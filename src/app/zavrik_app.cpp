#include "app/zavrik_app.h"

#include <QDesktopServices>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>

#include "app/about_text.h"
#include "app/mime_registration.h"
#include "app/options_commands.h"
#include "encoder_options/encoder_commands.h"
#include "files/files_commands.h"
#include "platform/message_box_presenter.h"
#include "platform/system_messages.h"
#include "window/main_window.h"

ZavrikApp::ZavrikApp(int& argc, char** argv)
    : QApplication(argc, argv),
      executable_path_(QCoreApplication::applicationFilePath()),
      settings_file_(UserSettingsFile()),
      message_boxes_(std::make_unique<MessageBoxPresenter>()),
      alerts_(message_boxes_.get()) {
  // No application display name: Qt would append it to every window title that does not end
  // with it ("Fortschritt der Kodierung — ..."), and each title is exactly the window's own.
  setApplicationName(QStringLiteral("zavrik"));
  setDesktopFileName(QStringLiteral("zavrik"));
  // Qt's own dialogs, the file panels' inner labels among them, speak German too.
  auto* qt_german = new QTranslator(this);
  if (qt_german->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installTranslator(qt_german);
  }
}

// The window goes before the application object it belongs to.
ZavrikApp::~ZavrikApp() { main_window.reset(); }

void ZavrikApp::SetAlertPresenter(AlertPresenter* alerts) {
  alerts_ = alerts != nullptr ? alerts : message_boxes_.get();
}

void ZavrikApp::ReadyToRun() {
  main_window.reset();
  ReadOptions();
  if (settings.self_register_mime_type) RegisterMIMEType(false);
  options_view_ = new OptionsView(settings, *this, this);
  main_window = std::make_unique<MainWindow>(QString(), settings, *this, *alerts_, *options_view_);
  // Say so instead of losing changes when nothing can keep them.
  if (!CanSaveSettings(executable_path_, settings_file_)) {
    options_view_->ShowSettingsCannotBeSaved(settings_file_);
  }
  // Files the program was started with are sorted like files handed over later: the first
  // list file is opened, the files before it are added.
  if (!launch_refs.isEmpty()) {
    Message started_with(command::kRefsReceived);
    for (const QString& path : std::as_const(launch_refs)) {
      started_with.AddRef(QStringLiteral("refs"), path);
    }
    launch_refs.clear();
    main_window->RefsReceived(started_with);
  }
  main_window->show();
}

void ZavrikApp::RefsReceived(const Message& message) {
  const QStringList refs = message.Refs(QStringLiteral("refs"));
  if (!main_window) {
    launch_refs.append(refs);
    return;
  }
  if (refs.isEmpty()) {
    // Started again without files: bring the running window to the front.
    main_window->show();
    main_window->raise();
    main_window->activateWindow();
    return;
  }
  main_window->RefsReceived(message);
}

void ZavrikApp::MessageReceived(const Message& message) {
  switch (message.what) {
    case command::kSomeAppQuit: {
      const std::optional<QString> executable = message.FindRef(QStringLiteral("be:ref"));
      const std::optional<int32_t> pid = message.FindInt32(QStringLiteral("pid"));
      // Only the process the run launched moves it on; the run itself compares.
      if (main_window && executable && pid) {
        main_window->ProcessEnded(*executable, *pid, EncoderEndFrom(message));
      }
      break;
    }
    case command::kEncoderOptions:
    case command::kEncoderPathPanel:
    case command::kOpenPanel:
    case command::kSavePanel:
      if (main_window) main_window->MessageReceived(message);
      break;
    case command::kRefsReceived:
      RefsReceived(message);
      break;
    case command::kNamesNotUtf8: {
      QStringList lines;
      for (const QString& name : message.Refs(QStringLiteral("names"))) {
        lines.append(alerts::NameNotUtf8(name));
      }
      if (!lines.isEmpty()) alerts_->Go(alerts::FilesRefused(lines));
      break;
    }
    case command::kAboutRequested:
      AboutRequested();
      break;
    default:
      break;
  }
}

void ZavrikApp::AboutRequested() {
  const AboutDetails details = BuiltInAboutDetails();
  const int pressed = alerts_->Go(alerts::About(AboutText(details)));
  // A browser that does not start is nothing the user could act on.
  if (pressed == 0) QDesktopServices::openUrl(SiteUrl(details.web_address, executable_path_));
}

void ZavrikApp::ReadOptions() { settings = LoadSettings(executable_path_, settings_file_); }

void ZavrikApp::WriteOptions() { SaveSettings(executable_path_, settings_file_, settings); }

void ZavrikApp::RegisterMIMEType(bool show_result) {
  const MimeInstallResult result = InstallListMimeType(executable_path_);
  if (show_result) alerts_->Go(alerts::MimeInstalled(ResultText(result)));
}

void ZavrikApp::UnregisterMIMEType() {
  alerts_->Go(alerts::MimeDeleted(ResultText(UninstallListMimeType())));
}

// Ends the event loop only: the windows have been asked already, so no second close.
void ZavrikApp::Quit() { QCoreApplication::exit(0); }
