#include "platform/paths.h"

#include <QFileInfo>

QString CanonicalOrAbsolutePath(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}
