// Starts Zavrik, or hands the files to the Zavrik of this user that runs already.
#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstdio>

#include "app/zavrik_app.h"
#include "platform/single_instance.h"

namespace {
// The files named on the command line, made absolute against the current folder. The
// application object has already taken the toolkit's own options and their values out of argv;
// other words that start with "-" are not files either ("./-name" names such a file).
QStringList AbsolutePaths(int argc, char** argv) {
  QStringList paths;
  for (int i = 1; i < argc; ++i) {
    const QString word = QFile::decodeName(argv[i]);
    if (word.isEmpty() || word.startsWith(QLatin1Char('-'))) continue;
    paths.append(QDir::current().absoluteFilePath(word));
  }
  return paths;
}
}  // namespace

int main(int argc, char** argv) {
  // Built first, so that "-style Fusion" never makes "Fusion" a file.
  ZavrikApp app(argc, argv);
  const QStringList files = AbsolutePaths(argc, argv);
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
  for (const QString& path : files) started_with.AddRef(QStringLiteral("refs"), path);
  app.RefsReceived(started_with);
  app.ReadyToRun();
  app.exec();
  return 0;
}
