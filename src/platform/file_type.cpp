#include "platform/file_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QMimeDatabase>

#include "platform/extended_attributes.h"
#include "platform/paths.h"

namespace {

// Longer than any MIME type name; a longer stored value is no type this program knows.
constexpr std::size_t kMimeTypeLimit = 256;

// An open descriptor of a readable regular file, or -1.
int OpenRegularFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

QString FileMimeType(const QString& path) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) {
    // Folders and other non-files still have a type; unreadable files have none.
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return QStringLiteral("inode/directory");
    }
    return QString();
  }
  const xattrs::ReadResult stored = xattrs::Read(fd, "user.mime_type", kMimeTypeLimit);
  ::close(fd);
  if (stored.status == xattrs::Status::Ok) {
    QByteArray type = stored.value;
    // Some writers store the terminating NUL too.
    if (type.endsWith('\0')) type.chop(1);
    return QString::fromUtf8(type);
  }
  // A link's type is its target's: the target's name carries the pattern.
  return QMimeDatabase().mimeTypeForFile(CanonicalOrAbsolutePath(path)).name();
}

bool IsListFile(const QString& path) { return FileMimeType(path) == QLatin1String(kListMimeType); }
