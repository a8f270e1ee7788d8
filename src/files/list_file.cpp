#include "files/list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
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

// Where the first line of `data` ends, just after its LF, CR LF or lone CR; npos without one.
std::size_t FirstLineEnd(std::string_view data) {
  const std::size_t end = data.find_first_of("\r\n");
  if (end == std::string_view::npos) return end;
  const bool cr_lf = data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n';
  return end + (cr_lf ? 2 : 1);
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

ListFileReader::~ListFileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool ListFileReader::Open(const QString& path) {
  // Only regular files: a pipe would block the caller until a writer comes, and a device such
  // as /dev/zero never ends.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kListFileSizeLimit) {
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  read_ = 0;
  at_end_ = false;
  pending_.clear();
  pending_cut_ = false;
  records_.clear();
  records_taken_ = 0;
  too_many_records_ = false;
  return true;
}

// Reads block by block: a fresh buffer as large as the file would cost more in page faults than
// the parsing itself.
bool ListFileReader::ReadSome(qint64 bytes, qsizetype records) {
  if (at_end_ || fd_ < 0) return true;
  std::vector<char> block(kBlockSize);
  qint64 this_time = 0;
  while (this_time < bytes && records_.size() < records) {
    // A file that grows while it is read ends at the limit all the same.
    const std::size_t wanted =
        std::min<std::size_t>(block.size(), std::size_t(kListFileSizeLimit - read_));
    const ssize_t got = wanted > 0 ? ::read(fd_, block.data(), wanted) : 0;
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      TakePending();
      RefuseBeyondRecordLimit();
      at_end_ = true;
      return true;
    }
    read_ += got;
    this_time += got;
    std::string_view data(block.data(), static_cast<std::size_t>(got));
    const std::size_t last_end = data.find_last_of("\r\n");
    if (last_end == std::string_view::npos) {
      AppendToPending(data);
      continue;
    }
    std::string_view complete = data.substr(0, last_end + 1);
    if (!pending_.empty()) {
      const std::size_t first_end = FirstLineEnd(complete);
      AppendToPending(complete.substr(0, first_end));
      TakePending();
      complete.remove_prefix(first_end);
    }
    AppendRecords(complete, records_);
    AppendToPending(data.substr(last_end + 1));
    if (RefuseBeyondRecordLimit()) return true;
  }
  return false;
}

void ListFileReader::AppendToPending(std::string_view part) {
  if (pending_cut_ || part.empty()) return;
  const std::size_t nul = part.find('\0');
  if (nul != std::string_view::npos) {
    part = part.substr(0, nul + 1);
    pending_cut_ = true;
  }
  pending_.append(part);
}

void ListFileReader::TakePending() {
  AppendRecords(pending_, records_);
  pending_.clear();
  pending_cut_ = false;
}

// Beyond the limit the reading ends, and what it read is dropped.
bool ListFileReader::RefuseBeyondRecordLimit() {
  if (records_taken_ + records_.size() <= kListRecordLimit) return false;
  records_.clear();
  pending_.clear();
  at_end_ = true;
  too_many_records_ = true;
  return true;
}

QStringList ListFileReader::TakeRecords() {
  records_taken_ += records_.size();
  return std::exchange(records_, {});
}

std::optional<QStringList> ReadListFile(const QString& path) {
  ListFileReader reader;
  if (!reader.Open(path)) return std::nullopt;
  // Nothing is taken before the end, so the reading must not pause for a taker at exactly the
  // record limit: it would never go on.
  while (!reader.ReadSome(kListFileSizeLimit, kListRecordLimit + 1)) {
  }
  if (reader.TooManyRecords()) return std::nullopt;
  return reader.TakeRecords();
}
