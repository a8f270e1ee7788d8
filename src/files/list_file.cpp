#include "files/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "files/list_records.h"
#include "platform/extended_attributes.h"

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// Writes the header and the records in blocks, so that no buffer as large as the file is
// needed, and encodes each text straight into the block.
bool WriteRecords(QIODevice& file, const QStringList& entries) {
  QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
  QByteArray block;
  block.reserve(qsizetype(kBlockSize) + qsizetype(kBlockSize) / 2);
  block.append(kListFileHeader).append('\n');
  for (const QString& entry : entries) {
    const qsizetype start = block.size();
    block.resize(start + 3 + utf8.requiredSpace(entry.size()));
    char* out = block.data() + start;
    *out++ = '0';
    *out++ = ';';
    out = utf8.appendToBuffer(out, entry);
    *out++ = '\n';
    block.resize(out - block.constData());
    if (block.size() >= qsizetype(kBlockSize)) {
      if (file.write(block) != block.size()) return false;
      block.resize(0);
    }
  }
  return file.write(block) == block.size();
}

void AppendRecords(std::string_view lines, QStringList& entries) {
  for (const std::string_view record : SplitListRecords(lines)) {
    entries.append(QString::fromUtf8(record.data(), static_cast<qsizetype>(record.size())));
  }
}

// Reads the records block by block: a fresh buffer as large as the file would cost more in
// page faults than the parsing itself. A read error ends the reading; what came before it is
// kept.
QStringList ReadRecords(int fd) {
  QStringList entries;
  std::string pending;  // a line that continues in the next block
  std::vector<char> block(kBlockSize);
  for (;;) {
    const ssize_t got = ::read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    std::string_view data(block.data(), static_cast<std::size_t>(got));
    const std::size_t last_newline = data.rfind('\n');
    if (last_newline == std::string_view::npos) {
      pending.append(data);
      continue;
    }
    std::string_view complete = data.substr(0, last_newline + 1);
    if (!pending.empty()) {
      const std::size_t first_newline = complete.find('\n');
      pending.append(complete.substr(0, first_newline + 1));
      AppendRecords(pending, entries);
      complete.remove_prefix(first_newline + 1);
    }
    AppendRecords(complete, entries);
    pending.assign(data.substr(last_newline + 1));
  }
  AppendRecords(pending, entries);
  return entries;
}

}  // namespace

ListSaveResult SaveListFile(const QString& path, const QStringList& entries) {
  // QSaveFile would write a temporary file beside a folder and only fail on the rename.
  if (QFileInfo(path).isDir()) return ListSaveResult::OpenError;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return ListSaveResult::OpenError;
  if (!WriteRecords(file, entries)) {
    file.cancelWriting();
    return ListSaveResult::WriteError;
  }
  // Marking the type is a courtesy to file managers; a file system without attributes still
  // gets the list, and the name pattern and header line identify it.
  xattrs::Write(file.handle(), "user.mime_type", QByteArray(kListMimeType));
  return file.commit() ? ListSaveResult::Saved : ListSaveResult::WriteError;
}

std::optional<QStringList> ReadListFile(const QString& path) {
  // Only regular files: a pipe would block the caller until a writer comes, and a device such
  // as /dev/zero never ends.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  QStringList entries = ReadRecords(fd);
  ::close(fd);
  return entries;
}
