#include "files/dropped_paths.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "platform/alert.h"
#include "platform/file_names.h"

namespace {
// Resolves paths with one lstat per entry: the folders a drop comes from are few, so each
// folder is resolved once and only the entry's own name is looked at.
class PathResolver {
 public:
  QString Canonical(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    if (slash <= 0 || name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
      return QFileInfo(path).canonicalFilePath();
    }
    const QString folder = CanonicalFolder(path.left(slash));
    if (folder.isEmpty()) return {};
    const QString joined = folder == QLatin1String("/") ? folder + name : folder + u'/' + name;
    struct stat status;
    if (lstat(QFile::encodeName(joined).constData(), &status) != 0) return {};
    if (S_ISLNK(status.st_mode)) return QFileInfo(joined).canonicalFilePath();
    return joined;
  }

 private:
  QString CanonicalFolder(const QString& folder) {
    auto known = folders_.constFind(folder);
    if (known != folders_.constEnd()) return *known;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    folders_.insert(folder, canonical);
    return canonical;
  }

  QHash<QString, QString> folders_;
};
}  // namespace

QStringList ResolveDroppedUrls(const QList<QUrl>& urls, QStringList* refused) {
  PathResolver resolver;
  QStringList paths;
  QStringList left_out;
  paths.reserve(urls.size());
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) {
      left_out.append(alerts::NotALocalFile(url.toDisplayString()));
      continue;
    }
    // The URL keeps the name's bytes; its local file would hold U+FFFD in their place.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!DecodeFileName(bytes)) {
      left_out.append(alerts::NameNotUtf8(VisibleFileName(bytes)));
      continue;
    }
    const QString local = url.toLocalFile();
    const QString canonical =
        local.startsWith(QLatin1Char('/')) ? resolver.Canonical(local) : QString();
    if (canonical.isEmpty()) {
      left_out.append(alerts::NoSuchFile(VisibleFileName(local)));
    } else {
      paths.append(canonical);
    }
  }
  if (refused) refused->append(left_out);
  return paths;
}
