#pragma once

#include <QString>
#include <QStringList>

// A message to the user: a modal box whose identifier names it for tests and accessibility.
struct Alert {
  enum class Kind { Stop, Info };

  QString id;           // "EncodeFailed", "SaveOpenError", ...
  QString text;         // German text shown to the user
  QStringList buttons;  // labels, left to right
  Kind kind = Kind::Stop;
  QString details = {};  // shown on request below the text; empty for none
};

// Shows alerts and waits until the user answers. Tests replace it with one that records.
class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  // Returns the index of the pressed button.
  virtual int Go(const Alert& alert) = 0;
};

// Every alert the application shows, with its exact texts and buttons.
namespace alerts {
Alert EncodeFailed(const QString& encoder_location);
Alert LaunchFailed();
Alert ReadmeMissing();
Alert SaveOpenError();
Alert SaveWriteError();
Alert OpenOpenError();
// A list file beyond `megabytes` or `entries`: refused as one that cannot be opened, saying why.
Alert OpenTooLongError(qint64 megabytes, qint64 entries);
// Files that did not come into the list, one line each (NameWithLineBreak, NameNotUtf8,
// NotALocalFile, NoSuchFile).
Alert FilesRefused(const QStringList& lines);
QString NameWithLineBreak(const QString& visible_name);
QString NameNotUtf8(const QString& visible_name);
QString NotALocalFile(const QString& url);
QString NoSuchFile(const QString& visible_name);
Alert MimeInstalled(const QString& result_text);
Alert MimeDeleted(const QString& result_text);
Alert About(const QString& text);
}  // namespace alerts
