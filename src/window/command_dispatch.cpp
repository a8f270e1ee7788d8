// The main window's commands: every menu item, button, check box, text field and panel result
// ends up here and is handed to the object that does the work.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QUrl>
#include <optional>

#include "app/application_port.h"
#include "app/options_commands.h"
#include "app/options_view.h"
#include "encode/encoding_run.h"
#include "encode/run_commands.h"
#include "encoder_options/encoder_commands.h"
#include "encoder_options/encoder_view.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/files_view.h"
#include "platform/file_panel.h"
#include "platform/file_type.h"
#include "platform/utf8_limit.h"
#include "window/main_window.h"
#include "window/tab_view.h"
#include "window/window_commands.h"

namespace {
constexpr qsizetype kEncoderLocationBytes = 1023;

// The path of a ref with links followed; nothing when it names no existing entry.
std::optional<QString> ResolvedPath(const QString& ref) {
  const QString canonical = QFileInfo(ref).canonicalFilePath();
  if (canonical.isEmpty()) return std::nullopt;
  return canonical;
}

// The first ref of "refs", resolved; a panel result for an entry that vanished meanwhile keeps
// its own absolute path, so the operation can tell the user it could not be opened.
std::optional<QString> FirstRefPath(const Message& message) {
  const std::optional<QString> ref = message.FindRef(QStringLiteral("refs"));
  if (!ref || ref->isEmpty()) return std::nullopt;
  return ResolvedPath(*ref).value_or(QFileInfo(*ref).absoluteFilePath());
}

// The program options tab's commands.
void SettingsMessageReceived(MainWindow& window, const Message& message) {
  Settings* settings = window.settings;
  OptionsView* options = window.tab_view->options_view;
  auto* port = dynamic_cast<ApplicationPort*>(window.application);
  switch (message.what) {
    case command::kEncoderLocationChanged:
      settings->encoder_location =
          Utf8Prefix(options->encoder_location->text(), kEncoderLocationBytes);
      break;
    case command::kLocateEncoder:
      options->path_panel->Show();
      break;
    case command::kEncoderPathPanel:
      // A link keeps its own path; a run resolves it when it starts. The field's change then
      // reaches encoder_location through 'LOCM'.
      if (const std::optional<QString> ref = message.FindRef(QStringLiteral("refs"));
          ref && !ref->isEmpty()) {
        options->encoder_location->setText(QFileInfo(*ref).absoluteFilePath());
      }
      break;
    case command::kDontCloseOnAdd:
      settings->dont_close_on_add = options->dont_close_on_add->isChecked();
      break;
    case command::kDontClearOnOpen:
      settings->dont_clear_on_open = options->dont_clear_on_open->isChecked();
      break;
    case command::kSelfRegisterMimeType:
      settings->self_register_mime_type = options->self_register_mime_type->isChecked();
      break;
    case command::kRegisterMimeTypeNow:
      if (port) port->RegisterMIMEType(true);
      break;
    case command::kUnregisterMimeTypeNow:
      if (port) port->UnregisterMIMEType();
      break;
    default:
      // Not a command of this window: nothing to do.
      break;
  }
}

void SaveChosenList(MainWindow& window, const Message& message) {
  const std::optional<QString> directory = message.FindRef(QStringLiteral("directory"));
  const std::optional<QString> name = message.FindString(QStringLiteral("name"));
  if (!directory || !name || directory->isEmpty() || name->isEmpty()) return;
  const QString folder = ResolvedPath(*directory).value_or(*directory);
  window.files_list->Save(QDir(folder).filePath(*name));
}

void OpenReadme(MainWindow& window) {
  const auto* port = dynamic_cast<ApplicationPort*>(window.application);
  const QString executable =
      port ? port->ExecutablePath() : QCoreApplication::applicationFilePath();
  const QString readme = QFileInfo(executable).absolutePath() + QStringLiteral("/readme");
  if (QFileInfo::exists(readme)) {
    // Whether a viewer starts is not the user's to act on: its result is not looked at.
    QDesktopServices::openUrl(QUrl::fromLocalFile(readme));
  } else {
    window.alerts->Go(alerts::ReadmeMissing());
  }
}

void ShowAddFilesPanel(MainWindow& window) {
  const Settings* settings = window.settings;
  FilePanel* panel = window.tab_view->files_view->add_files_panel;
  // Set before every showing, so a change of the check box applies from the next one on.
  panel->SetHideWhenDone(!settings->dont_close_on_add);
  panel->SetCancelButtonLabel(settings->dont_close_on_add ? QStringLiteral("Schließen")
                                                          : QStringLiteral("Abbrechen"));
  panel->Show();
}

}  // namespace

void MainWindow::MessageReceived(const Message& message) {
  switch (message.what) {
    case command::kNewList:
      files_list->Clear();
      break;
    case command::kSaveList:
      files_list->ShowSave();
      break;
    case command::kOpenList:
      files_list->ShowOpen();
      break;
    case command::kSavePanel:
      SaveChosenList(*this, message);
      break;
    case command::kOpenPanel:
      if (const std::optional<QString> path = FirstRefPath(message)) files_list->Open(*path);
      break;
    case command::kClose:
      // Closing goes through QuitRequested, which saves the settings and ends the application.
      close();
      break;
    case command::kReadme:
      OpenReadme(*this);
      break;
    case command::kAddFiles:
      ShowAddFilesPanel(*this);
      break;
    case command::kRemoveFiles:
      files_list->RemoveFiles();
      break;
    case command::kMoveUp:
      files_list->MoveUp();
      break;
    case command::kMoveDown:
      files_list->MoveDown();
      break;
    case command::kEncoderOptions:
      tab_view->encoder_view->MessageReceived(message);
      break;
    case command::kEncode:
      run->Start(settings->encoder_location);
      break;
    case command::kSkip:
      run->Skip();
      break;
    case command::kStop:
      run->Stop();
      break;
    default:
      SettingsMessageReceived(*this, message);
      break;
  }
}

void MainWindow::RefsReceived(const Message& message) {
  for (const QString& ref : message.Refs(QStringLiteral("refs"))) {
    const std::optional<QString> path = ResolvedPath(ref);
    if (!path) continue;
    if (IsListFile(*path)) {
      // The first list file is opened; what follows it in this message is dropped.
      files_list->Open(*path);
      return;
    }
    files_list->AddFile(*path);
  }
}

bool MainWindow::QuitRequested() {
  // A running encoder is left to finish its file.
  if (auto* port = dynamic_cast<ApplicationPort*>(application)) {
    port->WriteOptions();
    port->Quit();
  }
  return true;
}
