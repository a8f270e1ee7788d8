#pragma once

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include "platform/message.h"

class QWidget;

// A file chooser that reports the user's choice as a Message to its handler (the application
// object), like the platform panels it stands for. The dialog is built on the first Show(), as
// building one costs too much for start-up, and shown again afterwards.
class FilePanel : public QObject {
  Q_OBJECT

 public:
  enum class Mode {
    SaveFile,       // 'SLPM' with "directory" (ref) and "name" (string)
    OpenFile,       // one existing file, reported under "refs"
    OpenFiles,      // several existing files, reported under "refs"
    OpenDirectory,  // one folder, reported under "refs"
  };

  struct Setup {
    Mode mode = Mode::OpenFile;
    uint32_t what = 0;  // code of the message sent on confirmation
    QString title;
    QString accept_label;
    QString cancel_label;
    bool hide_when_done = true;
    // False keeps a chosen link's own path instead of its target's.
    bool resolve_symlinks = true;
    // Extra int32 field carried by the message, e.g. "encoder_what" of 'ENCO'.
    QString int_field;
    int32_t int_value = 0;
  };

  FilePanel(Setup setup, MessageHandler* handler, QWidget* parent = nullptr);
  ~FilePanel() override;

  void Show();
  void SetHideWhenDone(bool hide_when_done);
  void SetCancelButtonLabel(const QString& label);

  // The dialog, once it was shown; tests look at it.
  QFileDialog* Dialog() const { return dialog_; }
  const Setup& setup() const { return setup_; }

 private:
  void Accepted();

  Setup setup_;
  MessageHandler* handler_;
  QWidget* parent_;
  QPointer<QFileDialog> dialog_;
};
