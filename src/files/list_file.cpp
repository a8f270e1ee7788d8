#include "files/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <string>

#include "files/list_records.h"
#include "platform/extended_attributes.h"

namespace {

QByteArray ListFileBytes(const QStringList& entries) {
  QByteArray bytes;
  qsizetype size = qsizetype(sizeof(kListFileHeader));
  for (const QString& entry : entries) size += entry.size() + 3;
  bytes.reserve(size);
  bytes.append(kListFileHeader).append('\n');
  for (const QString& entry : entries) {
    bytes.append("0;").append(QFile::encodeName(entry)).append('\n');
  }
  return bytes;
}

// Reads everything the descriptor gives. A read error ends the reading; what came before it
// is kept.
std::string ReadAll(int fd, off_t size_hint) {
  std::string bytes;
  std::size_t used = 0;
  bytes.resize(static_cast<std::size_t>(size_hint) + 1);
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2 + 65536);
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  return bytes;
}

}  // namespace

ListSaveResult SaveListFile(const QString& path, const QStringList& entries) {
  // QSaveFile would write a temporary file beside a folder and only fail on the rename.
  if (QFileInfo(path).isDir()) return ListSaveResult::OpenError;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return ListSaveResult::OpenError;
  const QByteArray bytes = ListFileBytes(entries);
  if (file.write(bytes) != bytes.size() || !file.flush()) {
    file.cancelWriting();
    return ListSaveResult::WriteError;
  }
  // Marking the type is a courtesy to file managers; a file system without attributes still
  // gets the list, and the name pattern and header line identify it.
  xattrs::Write(file.handle(), "user.mime_type", QByteArray(kListMimeType));
  return file.commit() ? ListSaveResult::Saved : ListSaveResult::WriteError;
}

std::optional<QStringList> ReadListFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  const std::string bytes = ReadAll(fd, S_ISREG(info.st_mode) ? info.st_size : 0);
  ::close(fd);
  const std::vector<std::string_view> records = SplitListRecords(bytes);
  QStringList entries;
  entries.reserve(static_cast<qsizetype>(records.size()));
  for (const std::string_view record : records) {
    entries.append(QString::fromUtf8(record.data(), static_cast<qsizetype>(record.size())));
  }
  return entries;
}
