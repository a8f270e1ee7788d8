#include "platform/paths.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString CanonicalOrAbsolutePath(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

bool IsRunningExecutable(const QString& path) {
  struct stat own {};
  struct stat other {};
  return ::stat("/proc/self/exe", &own) == 0 &&
         ::stat(QFile::encodeName(path).constData(), &other) == 0 && own.st_dev == other.st_dev &&
         own.st_ino == other.st_ino;
}

QString XdgUserFolder(const char* variable, const char* fallback) {
  const QString value = qEnvironmentVariable(variable);
  if (value.startsWith(QLatin1Char('/'))) return QDir::cleanPath(value);
  return QDir::homePath() + QLatin1String(fallback);
}
