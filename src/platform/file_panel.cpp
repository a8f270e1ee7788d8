#include "platform/file_panel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>
#include <utility>

#include "platform/paths.h"

namespace {
QFileDialog::FileMode FileModeFor(FilePanel::Mode mode) {
  switch (mode) {
    case FilePanel::Mode::SaveFile:
      return QFileDialog::AnyFile;
    case FilePanel::Mode::OpenFile:
      return QFileDialog::ExistingFile;
    case FilePanel::Mode::OpenFiles:
      return QFileDialog::ExistingFiles;
    case FilePanel::Mode::OpenDirectory:
      return QFileDialog::Directory;
  }
  return QFileDialog::ExistingFile;
}

// A chosen entry as the message carries it: absolute, and with links followed unless the panel
// keeps a link's own path. A name that no longer resolves keeps its absolute path.
QString ChosenPath(const QString& path, bool resolve_symlinks) {
  return resolve_symlinks ? CanonicalOrAbsolutePath(path) : QFileInfo(path).absoluteFilePath();
}

QFileDialog* CreateDialog(const FilePanel::Setup& setup, QWidget* parent) {
  // Qt's own dialog, so the title and both button labels are exactly ours.
  auto* dialog = new QFileDialog(parent, setup.title, QDir::homePath());
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setFileMode(FileModeFor(setup.mode));
  if (setup.mode == FilePanel::Mode::SaveFile) dialog->setAcceptMode(QFileDialog::AcceptSave);
  if (setup.mode == FilePanel::Mode::OpenDirectory) dialog->setOption(QFileDialog::ShowDirsOnly);
  if (!setup.resolve_symlinks) dialog->setOption(QFileDialog::DontResolveSymlinks);
  dialog->setLabelText(QFileDialog::Accept, setup.accept_label);
  if (!setup.cancel_label.isEmpty()) {
    dialog->setLabelText(QFileDialog::Reject, setup.cancel_label);
  }
  // Modal like the panels it stands for, but shown without a nested event loop.
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  return dialog;
}
}  // namespace

FilePanel::FilePanel(Setup setup, MessageHandler* handler, QWidget* parent)
    : QObject(parent), setup_(std::move(setup)), handler_(handler), parent_(parent) {}

FilePanel::~FilePanel() { delete dialog_.data(); }

void FilePanel::Show() {
  if (!dialog_) {
    dialog_ = CreateDialog(setup_, parent_);
    connect(dialog_.data(), &QFileDialog::accepted, this, &FilePanel::Accepted);
  }
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
}

void FilePanel::SetHideWhenDone(bool hide_when_done) { setup_.hide_when_done = hide_when_done; }

void FilePanel::SetCancelButtonLabel(const QString& label) {
  setup_.cancel_label = label;
  if (dialog_) dialog_->setLabelText(QFileDialog::Reject, label);
}

void FilePanel::Accepted() {
  const QStringList chosen = dialog_->selectedFiles();
  if (!chosen.isEmpty()) {
    Message message(setup_.what);
    if (setup_.mode == Mode::SaveFile) {
      const QFileInfo target(chosen.first());
      message.AddRef(QStringLiteral("directory"), CanonicalOrAbsolutePath(target.absolutePath()));
      message.AddString(QStringLiteral("name"), target.fileName());
    } else {
      for (const QString& path : chosen) {
        message.AddRef(QStringLiteral("refs"), ChosenPath(path, setup_.resolve_symlinks));
      }
    }
    if (!setup_.int_field.isEmpty()) message.AddInt32(setup_.int_field, setup_.int_value);
    if (handler_) handler_->MessageReceived(message);
  }
  // A panel that stays open comes back after each choice.
  if (!setup_.hide_when_done && dialog_) Show();
}
