#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

// Small wrappers over the user.* extended attributes of a file. They keep apart the cases that
// callers treat differently: an attribute that is simply not there, a file system that keeps no
// attributes at all, and every other failure.
namespace xattrs {

enum class Status {
  Ok,
  Missing,       // the file has no attribute of that name
  NotSupported,  // the file system keeps no user attributes
  Error,         // any other failure: no such file, no permission, ...
};

struct ReadResult {
  Status status = Status::Error;
  QByteArray value;  // the first `max_size` bytes of the value when status is Ok
};

// Reads at most `max_size` bytes of the attribute `name` (for example "user.mime_type"). A longer
// value gives its first `max_size` bytes, as a fixed buffer would receive them. Follows links.
ReadResult Read(const QString& path, const char* name, std::size_t max_size);
ReadResult Read(int fd, const char* name, std::size_t max_size);

// Creates or replaces the attribute `name` with `value`.
Status Write(const QString& path, const char* name, const QByteArray& value);
Status Write(int fd, const char* name, const QByteArray& value);

// Removes the attribute; Missing when there was none.
Status Remove(const QString& path, const char* name);

}  // namespace xattrs
