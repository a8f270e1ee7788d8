// Starts Zavrik, or hands the files to the Zavrik of this user that runs already.
#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/zavrik_app.h"
#include "encode/zavrik_launch.h"
#include "platform/file_names.h"
#include "platform/single_instance.h"

namespace {
// The files named on the command line, made absolute against the current folder, as the bytes
// they are: a name that is no UTF-8 is still handed over, so that the running Zavrik can name
// it. The application object has already taken the toolkit's own options and their values out
// of argv; other words that start with "-" are not files either ("./-name" names such a file).
QList<QByteArray> AbsolutePaths(int argc, char** argv) {
  const QByteArray folder = QByteArray::fromStdString(std::filesystem::current_path().native());
  QList<QByteArray> paths;
  for (int i = 1; i < argc; ++i) {
    const QByteArray word(argv[i]);
    if (word.isEmpty() || word.startsWith('-')) continue;
    paths.append(word.startsWith('/') ? word : folder + '/' + word);
  }
  return paths;
}
}  // namespace

int main(int argc, char** argv) {
  // Zavrik chosen as its own encoder (a copy of it, so not caught before the run) would hand
  // each file back to the Zavrik that runs the encoding: a run that ends well and encodes nothing.
  if (qEnvironmentVariableIsSet(kStartedAsEncoder)) {
    std::fputs(
        "zavrik: Zavrik kann nicht sein eigener Kodierer sein. Wählen Sie unter "
        "„Programm-Optionen“ einen MP3-Kodierer, etwa gogo.\n",
        stderr);
    return 1;
  }
  // Built first, so that "-style Fusion" never makes "Fusion" a file.
  ZavrikApp app(argc, argv);
  const QList<QByteArray> files = AbsolutePaths(argc, argv);
  const QString socket_path = SingleInstance::DefaultSocketPath();
  SingleInstance::HandOver handed = SingleInstance::HandTo(socket_path, files);
  if (handed == SingleInstance::HandOver::Delivered) return 0;
  if (handed == SingleInstance::HandOver::NoAnswer) {
    std::fputs("zavrik: Zavrik läuft bereits, nimmt aber keine Dateien an.\n", stderr);
    return 1;
  }

  SingleInstance instance(socket_path);
  if (!instance.Listen()) {
    // Another Zavrik started at the same moment and listens now: it gets the files.
    handed = SingleInstance::HandTo(socket_path, files);
    if (handed == SingleInstance::HandOver::Delivered) return 0;
    std::fputs("zavrik: Später übergebene Dateien erreichen dieses Fenster nicht.\n", stderr);
  }
  instance.SetHandler(&app);

  Message started_with(command::kRefsReceived);
  Message not_utf8(command::kNamesNotUtf8);
  for (const QByteArray& bytes : files) {
    if (const std::optional<QString> path = DecodeFileName(bytes)) {
      started_with.AddRef(QStringLiteral("refs"), *path);
    } else {
      not_utf8.AddRef(QStringLiteral("names"), VisibleFileName(bytes));
    }
  }
  app.RefsReceived(started_with);
  app.ReadyToRun();
  app.MessageReceived(not_utf8);
  app.exec();
  return 0;
}
