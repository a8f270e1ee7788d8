#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <optional>

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

// The settings file: one "name=value" line per field, named like the attributes. The path keeps
// its bytes; a backslash, a line feed and a carriage return in it are written as \\, \n and \r.
constexpr char kFileEncoderLocation[] = "encoder_location";
constexpr char kFileDontCloseOnAdd[] = "dont_close_on_add";
constexpr char kFileDontClearOnOpen[] = "dont_clear_on_open";
constexpr char kFileSelfRegisterMimeType[] = "self_register_mime_type";

// Four fields take a few kilobytes at most; anything beyond is not Zavrik's.
constexpr qsizetype kSettingsFileLimit = 64 * 1024;

QByteArray Escaped(const QByteArray& value) {
  QByteArray escaped;
  for (const char c : value) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

QByteArray Unescaped(const QByteArray& value) {
  QByteArray bytes;
  for (qsizetype i = 0; i < value.size(); ++i) {
    const char next = i + 1 < value.size() ? value[i + 1] : '\0';
    if (value[i] == '\\' && (next == '\\' || next == 'n' || next == 'r')) {
      bytes += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
      ++i;
    } else {
      bytes += value[i];
    }
  }
  return bytes;
}

// The start of a regular file, never blocking on a pipe that stands in its place.
std::optional<QByteArray> ReadRegularFile(const QString& path, qsizetype limit) {
  const FileHandle file(path, O_RDONLY | O_NONBLOCK);
  struct stat status {};
  if (file.fd() < 0 || ::fstat(file.fd(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  QByteArray content(limit, Qt::Uninitialized);
  qsizetype filled = 0;
  while (filled < limit) {
    const ssize_t got = ::read(file.fd(), content.data() + filled, size_t(limit - filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += got;
  }
  content.truncate(filled);
  return content;
}

std::optional<bool> FlagValue(const QByteArray& value) {
  if (value == "0") return false;
  if (value == "1") return true;
  return std::nullopt;
}

// Creates `folder` and the folders above it that are missing, readable by this user alone.
bool MakeFolders(const QString& folder) {
  const QFileInfo info(folder);
  if (info.isDir()) return true;
  if (info.exists()) return false;
  const QString parent = info.absolutePath();
  if (parent != info.absoluteFilePath() && !MakeFolders(parent)) return false;
  return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 ||
         (errno == EEXIST && QFileInfo(folder).isDir());
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

QString UserSettingsFile() {
  return XdgUserFolder("XDG_CONFIG_HOME", "/.config") + QStringLiteral("/zavrik/settings");
}

Settings ReadUserOptions(const QString& file, Settings base) {
  const std::optional<QByteArray> content = ReadRegularFile(file, kSettingsFileLimit);
  if (!content) return base;
  for (QByteArray line : content->split('\n')) {
    if (line.endsWith('\r')) line.chop(1);  // a line break written by another editor
    const qsizetype equals = line.indexOf('=');
    if (line.startsWith('#') || equals < 0) continue;
    const QByteArray name = line.left(equals);
    const QByteArray value = line.mid(equals + 1);
    if (name == kFileEncoderLocation) {
      QByteArray path = Unescaped(value);
      const qsizetype nul = path.indexOf('\0');
      if (nul >= 0) path.truncate(nul);
      base.encoder_location = Utf8Prefix(QFile::decodeName(path), kLocationBufferSize - 1);
      continue;
    }
    const std::optional<bool> flag = FlagValue(value);
    if (!flag) continue;
    if (name == kFileDontCloseOnAdd) base.dont_close_on_add = *flag;
    if (name == kFileDontClearOnOpen) base.dont_clear_on_open = *flag;
    if (name == kFileSelfRegisterMimeType) base.self_register_mime_type = *flag;
  }
  return base;
}

bool WriteUserOptions(const QString& file, const Settings& settings) {
  if (!MakeFolders(QFileInfo(file).absolutePath())) return false;
  const auto flag = [](bool value) { return QByteArray(value ? "1" : "0"); };
  QByteArray content = "# Zavrik: Einstellungen des Reiters \"Programm-Optionen\"\n";
  content +=
      kFileEncoderLocation + QByteArray("=") +
      Escaped(QFile::encodeName(Utf8Prefix(settings.encoder_location, kLocationBufferSize - 1))) +
      '\n';
  content += kFileDontCloseOnAdd + QByteArray("=") + flag(settings.dont_close_on_add) + '\n';
  content += kFileDontClearOnOpen + QByteArray("=") + flag(settings.dont_clear_on_open) + '\n';
  content +=
      kFileSelfRegisterMimeType + QByteArray("=") + flag(settings.self_register_mime_type) + '\n';
  QSaveFile save(file);
  return save.open(QIODevice::WriteOnly) && save.write(content) == content.size() && save.commit();
}

bool CanWriteUserOptions(const QString& file) {
  if (QFileInfo(file).isDir()) return false;
  // The file is replaced by a new one beside it: the nearest folder that exists must take it.
  QFileInfo folder(QFileInfo(file).absolutePath());
  while (!folder.exists() && folder.absoluteFilePath() != folder.absolutePath()) {
    folder = QFileInfo(folder.absolutePath());
  }
  const QByteArray path = QFile::encodeName(folder.absoluteFilePath());
  return folder.isDir() && ::faccessat(AT_FDCWD, path.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

Settings LoadSettings(const QString& executable_path, const QString& user_file) {
  const Settings on_executable = ReadOptions(executable_path);
  if (CanWriteOptions(executable_path)) return on_executable;
  return ReadUserOptions(user_file, on_executable);
}

bool SaveSettings(const QString& executable_path, const QString& user_file,
                  const Settings& settings) {
  return WriteOptions(executable_path, settings) || WriteUserOptions(user_file, settings);
}

bool CanSaveSettings(const QString& executable_path, const QString& user_file) {
  return CanWriteOptions(executable_path) || CanWriteUserOptions(user_file);
}
