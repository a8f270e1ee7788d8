#include "platform/extended_attributes.h"

#include <sys/xattr.h>

#include <QFile>
#include <algorithm>
#include <cerrno>

namespace xattrs {
namespace {

Status StatusOf(int error) {
  switch (error) {
    case ENODATA:
      return Status::Missing;
    case ENOTSUP:
      return Status::NotSupported;
    default:
      return Status::Error;
  }
}

// `get(buffer, size)` behaves like getxattr: the value's size, or -1 with errno set.
template <typename Get>
ReadResult ReadWith(Get get, std::size_t max_size) {
  ReadResult result;
  QByteArray buffer(static_cast<qsizetype>(max_size), Qt::Uninitialized);
  ssize_t got = get(buffer.data(), buffer.size());
  if (got < 0 && errno == ERANGE) {
    // The value is longer than asked for: fetch it whole and keep its beginning. The loop
    // covers a value that grows between the two calls.
    for (int attempt = 0; attempt < 3 && got < 0 && errno == ERANGE; ++attempt) {
      const ssize_t size = get(nullptr, 0);
      if (size < 0) break;
      buffer.resize(static_cast<qsizetype>(size));
      got = get(buffer.data(), buffer.size());
    }
  }
  if (got < 0) {
    result.status = StatusOf(errno);
    return result;
  }
  buffer.truncate(std::min<qsizetype>(got, static_cast<qsizetype>(max_size)));
  result.status = Status::Ok;
  result.value = std::move(buffer);
  return result;
}

Status WriteStatus(int rc) { return rc == 0 ? Status::Ok : StatusOf(errno); }

}  // namespace

ReadResult Read(const QString& path, const char* name, std::size_t max_size) {
  const QByteArray file = QFile::encodeName(path);
  return ReadWith(
      [&](char* buffer, qsizetype size) {
        return ::getxattr(file.constData(), name, buffer, static_cast<std::size_t>(size));
      },
      max_size);
}

ReadResult Read(int fd, const char* name, std::size_t max_size) {
  return ReadWith(
      [&](char* buffer, qsizetype size) {
        return ::fgetxattr(fd, name, buffer, static_cast<std::size_t>(size));
      },
      max_size);
}

Status Write(const QString& path, const char* name, const QByteArray& value) {
  const QByteArray file = QFile::encodeName(path);
  return WriteStatus(::setxattr(file.constData(), name, value.constData(),
                                static_cast<std::size_t>(value.size()), 0));
}

Status Write(int fd, const char* name, const QByteArray& value) {
  return WriteStatus(
      ::fsetxattr(fd, name, value.constData(), static_cast<std::size_t>(value.size()), 0));
}

Status Remove(const QString& path, const char* name) {
  const QByteArray file = QFile::encodeName(path);
  return WriteStatus(::removexattr(file.constData(), name));
}

}  // namespace xattrs
