#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "platform/extended_attributes.h"
#include "platform/paths.h"
#include "platform/utf8_limit.h"

namespace {

constexpr char kEncoderLocation[] = "user.encoder_location";
constexpr char kDontCloseOnAdd[] = "user.dont_close_on_add";
constexpr char kDontClearOnOpen[] = "user.dont_clear_on_open";
constexpr char kSelfRegisterMimeType[] = "user.self_register_mime_type";

// The stored path and its NUL fit a buffer of this many bytes.
constexpr qsizetype kLocationBufferSize = 1024;

// Closes the descriptor when the settings have been read or written.
class FileHandle {
 public:
  FileHandle(const QString& path, int flags)
      : fd_(::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

QString ReadLocation(int fd, const QString& default_location) {
  const xattrs::ReadResult read = xattrs::Read(fd, kEncoderLocation, kLocationBufferSize);
  if (read.status != xattrs::Status::Ok || read.value.isEmpty()) return default_location;
  QByteArray text = read.value;
  const qsizetype nul = text.indexOf('\0');
  if (nul >= 0) text.truncate(nul);
  return Utf8Prefix(QFile::decodeName(text), kLocationBufferSize - 1);
}

bool ReadFlag(int fd, const char* name, bool default_value) {
  const xattrs::ReadResult read = xattrs::Read(fd, name, 2);
  if (read.status != xattrs::Status::Ok || read.value.size() != 1) return default_value;
  switch (read.value[0]) {
    case 0:
      return false;
    case 1:
      return true;
    default:
      return default_value;
  }
}

void WriteFlag(int fd, const char* name, bool value) {
  xattrs::Write(fd, name, QByteArray(1, value ? '\1' : '\0'));
}

}  // namespace

QString DefaultEncoderLocation(const QString& executable_path) {
  // The encoder lies beside the real executable, not beside a link that points to it.
  return QFileInfo(CanonicalOrAbsolutePath(executable_path)).absolutePath() +
         QStringLiteral("/gogo");
}

Settings ReadOptions(const QString& executable_path) {
  Settings settings;
  const FileHandle file(executable_path, O_RDONLY);
  const QString default_location = DefaultEncoderLocation(executable_path);
  if (file.fd() < 0) {
    settings.encoder_location = default_location;
    return settings;
  }
  settings.encoder_location = ReadLocation(file.fd(), default_location);
  settings.dont_close_on_add = ReadFlag(file.fd(), kDontCloseOnAdd, false);
  settings.dont_clear_on_open = ReadFlag(file.fd(), kDontClearOnOpen, false);
  settings.self_register_mime_type = ReadFlag(file.fd(), kSelfRegisterMimeType, true);
  return settings;
}

bool CanWriteOptions(const QString& executable_path) {
  const FileHandle file(executable_path, O_RDONLY);
  if (file.fd() < 0) return false;
  // A running executable cannot be opened for writing (ETXTBSY), yet its attributes can be
  // written by whoever may write the file; ask for the permission instead.
  const QByteArray path = QFile::encodeName(executable_path);
  if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0 && errno != ETXTBSY) {
    return false;
  }
  return xattrs::Read(file.fd(), kEncoderLocation, 1).status != xattrs::Status::NotSupported;
}

bool WriteOptions(const QString& executable_path, const Settings& settings) {
  if (!CanWriteOptions(executable_path)) return false;
  const FileHandle file(executable_path, O_RDONLY);
  if (file.fd() < 0) return false;
  QByteArray location =
      QFile::encodeName(Utf8Prefix(settings.encoder_location, kLocationBufferSize - 1));
  location.append('\0');
  xattrs::Write(file.fd(), kEncoderLocation, location);
  WriteFlag(file.fd(), kDontCloseOnAdd, settings.dont_close_on_add);
  WriteFlag(file.fd(), kDontClearOnOpen, settings.dont_clear_on_open);
  WriteFlag(file.fd(), kSelfRegisterMimeType, settings.self_register_mime_type);
  return true;
}
