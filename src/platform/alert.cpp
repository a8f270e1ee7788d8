#include "platform/alert.h"

#include <QLocale>

namespace alerts {
namespace {
const QString kOk = QStringLiteral("OK");
const QString kAllRight = QStringLiteral("In Ordnung");

// One line of FilesRefused: what was left out, and why.
QString RefusedLine(const QString& what, const QString& reason) {
  return what + QStringLiteral(" – ") + reason;
}
}  // namespace

Alert EncodeFailed(const QString& encoder_location) {
  const QString text =
      QStringLiteral(
          "%1 nicht gefunden. Gehen Sie bitte zu den Programmoptionen und sorgen Sie dafür, dass "
          "das Feld \"%2\" direkt auf %3 oder einen Link darauf verweist (nicht auf das "
          "%4-Verzeichnis).")
          .arg(encoder_location, QStringLiteral("Pfad zu Gogo:"), QStringLiteral("Gogo"),
               QStringLiteral("Gogo"));
  return {QStringLiteral("EncodeFailed"), text, {kOk}, Alert::Kind::Stop};
}

Alert LaunchFailed() {
  const QString text =
      QStringLiteral(
          "Irgendetwas schlechtes passierte beim Versuch, %1 zu starten. Sorgen Sie dafür, dass %2 "
          "ist, wo es sein soll und nicht läuft und versuchen Sie es noch einmal.")
          .arg(QStringLiteral("Gogo"), QStringLiteral("Gogo"));
  return {QStringLiteral("LaunchFailed"), text, {kOk}, Alert::Kind::Stop};
}

Alert ReadmeMissing() {
  return {QStringLiteral("ReadmeDialog"),
          QStringLiteral("Liesmich-Datei nicht gefunden!"),
          {kOk},
          Alert::Kind::Stop};
}

Alert SaveOpenError() {
  return {QStringLiteral("SaveOpenError"),
          QStringLiteral(
              "Ausgabedatei kann nicht erstellt oder geöffnet werden. Sorgen Sie dafür, dass die "
              "Datei sich nicht auf einer Nur-Lesen-Festplatte befindet oder dass die Datei, die "
              "Sie überschreiben möchten, von keiner anderen Anwendung benutzt wird."),
          {kOk},
          Alert::Kind::Stop};
}

Alert SaveWriteError() {
  return {QStringLiteral("SaveWriteError"),
          QStringLiteral("Ausgabedatei kann nicht geschrieben werden. Ist die Festplatte voll?"),
          {kOk},
          Alert::Kind::Stop};
}

Alert OpenOpenError() {
  return {QStringLiteral("OpenOpenError"),
          QStringLiteral("Eingabedatei kann nicht geöffnet werden. Sorgen Sie dafür, dass Sie "
                         "Zugriff auf die Datei haben."),
          {kOk},
          Alert::Kind::Stop};
}

Alert OpenTooLongError(qint64 megabytes, qint64 entries) {
  const QLocale german(QLocale::German);
  return {QStringLiteral("OpenOpenError"),
          QStringLiteral("Die Listendatei ist zu lang und wurde nicht geöffnet: Zavrik öffnet "
                         "Listen bis %1 MB und %2 Einträge. Die Liste bleibt, wie sie war.")
              .arg(german.toString(megabytes), german.toString(entries)),
          {kOk},
          Alert::Kind::Stop};
}

Alert FilesRefused(const QStringList& lines) {
  // A long list of names goes to the details, so the box still fits the screen.
  constexpr qsizetype kShownLines = 5;
  QString text = lines.size() == 1
                     ? QStringLiteral("Diese Datei wurde nicht in die Liste aufgenommen:")
                     : QStringLiteral("Diese %1 Dateien wurden nicht in die Liste aufgenommen:")
                           .arg(lines.size());
  for (const QString& line : lines.mid(0, kShownLines)) text += QLatin1Char('\n') + line;
  QString details;
  if (lines.size() > kShownLines) {
    text += QLatin1Char('\n') +
            QStringLiteral("… und %1 weitere (siehe Details).").arg(lines.size() - kShownLines);
    details = lines.join(QLatin1Char('\n'));
  }
  return {QStringLiteral("FilesRefused"), text, {kOk}, Alert::Kind::Stop, details};
}

QString NameWithLineBreak(const QString& visible_name) {
  return RefusedLine(visible_name, QStringLiteral("der Name enthält einen Zeilenumbruch, den eine "
                                                  "Listendatei nicht speichern kann."));
}

QString NameNotUtf8(const QString& visible_name) {
  return RefusedLine(visible_name, QStringLiteral("der Name ist kein gültiger UTF-8-Text."));
}

QString NotALocalFile(const QString& url) {
  return RefusedLine(url, QStringLiteral("keine Datei auf diesem Rechner; nur lokale Dateien "
                                         "können kodiert werden."));
}

QString NoSuchFile(const QString& visible_name) {
  return RefusedLine(visible_name, QStringLiteral("diese Datei gibt es nicht."));
}

Alert MimeInstalled(const QString& result_text) {
  return {QStringLiteral("MimeInstalled"), result_text, {kAllRight}, Alert::Kind::Info};
}

Alert MimeDeleted(const QString& result_text) {
  return {QStringLiteral("MimeDeleted"), result_text, {kAllRight}, Alert::Kind::Info};
}

Alert About(const QString& text) {
  return {QStringLiteral("AboutDialog"),
          text,
          {QStringLiteral("Gehe zur Site"), QStringLiteral("Schließen")},
          Alert::Kind::Info};
}
}  // namespace alerts
