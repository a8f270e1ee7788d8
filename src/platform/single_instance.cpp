#include "platform/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/file_names.h"

namespace handover {
namespace {
void AppendCount(QByteArray* data, quint32 value) {
  char bytes[4];
  qToBigEndian(value, bytes);
  data->append(bytes, 4);
}

bool ReadCount(const QByteArray& data, qsizetype* offset, quint32* value) {
  if (data.size() - *offset < 4) return false;
  *value = qFromBigEndian<quint32>(data.constData() + *offset);
  *offset += 4;
  return true;
}
}  // namespace

QByteArray Encode(const QList<QByteArray>& paths) {
  QByteArray data;
  AppendCount(&data, quint32(paths.size()));
  for (const QByteArray& bytes : paths) {
    AppendCount(&data, quint32(bytes.size()));
    data.append(bytes);
  }
  return data;
}

QByteArray Encode(const QStringList& paths) {
  QList<QByteArray> bytes;
  for (const QString& path : paths) bytes.append(QFile::encodeName(path));
  return Encode(bytes);
}

DecodeState Decode(const QByteArray& data, QStringList* paths, QStringList* not_utf8) {
  qsizetype offset = 0;
  quint32 count = 0;
  if (!ReadCount(data, &offset, &count)) return DecodeState::NeedMore;
  if (count > kMaxPaths) return DecodeState::Invalid;
  QStringList decoded;
  QStringList undecodable;
  for (quint32 i = 0; i < count; ++i) {
    quint32 length = 0;
    if (!ReadCount(data, &offset, &length)) return DecodeState::NeedMore;
    if (length == 0 || length > kMaxPathBytes) return DecodeState::Invalid;
    if (data.size() - offset < qsizetype(length)) return DecodeState::NeedMore;
    const QByteArray bytes = data.mid(offset, length);
    if (const std::optional<QString> path = DecodeFileName(bytes)) {
      decoded.append(*path);
    } else {
      undecodable.append(VisibleFileName(bytes));
    }
    offset += length;
  }
  if (offset != data.size()) return DecodeState::Invalid;
  *paths = decoded;
  if (not_utf8) *not_utf8 = undecodable;
  return DecodeState::Complete;
}
}  // namespace handover

QString SingleInstance::DefaultSocketPath() {
  // A relative runtime folder would put the socket wherever Zavrik was started.
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!folder.startsWith(QLatin1Char('/')) || !QFileInfo(folder).isDir()) {
    folder = QStringLiteral("/tmp");
  }
  return folder + QStringLiteral("/zavrik-") + QString::number(geteuid());
}

SingleInstance::HandOver SingleInstance::HandTo(const QString& socket_path,
                                                const QStringList& paths, int timeout_ms) {
  QList<QByteArray> bytes;
  for (const QString& path : paths) bytes.append(QFile::encodeName(path));
  return HandTo(socket_path, bytes, timeout_ms);
}

SingleInstance::HandOver SingleInstance::HandTo(const QString& socket_path,
                                                const QList<QByteArray>& paths, int timeout_ms) {
  // A socket another user put in a shared folder is not ours to talk to, and one that others may
  // write to was not made by Listen: anybody could be behind it.
  const QFileInfo socket_file(socket_path);
  if (!socket_file.exists() || socket_file.ownerId() != geteuid() ||
      (socket_file.permissions() & (QFile::WriteGroup | QFile::WriteOther))) {
    return HandOver::NoInstance;
  }

  QLocalSocket socket;
  socket.connectToServer(socket_path);
  if (!socket.waitForConnected(timeout_ms)) return HandOver::NoInstance;
  socket.write(handover::Encode(paths));
  if (!socket.waitForBytesWritten(timeout_ms)) return HandOver::NoAnswer;
  while (socket.bytesAvailable() < 1) {
    if (!socket.waitForReadyRead(timeout_ms)) return HandOver::NoAnswer;
  }
  char answer = 0;
  socket.getChar(&answer);
  return answer == handover::kAcknowledge ? HandOver::Delivered : HandOver::NoAnswer;
}

SingleInstance::SingleInstance(QString socket_path, QObject* parent)
    : QObject(parent), socket_path_(std::move(socket_path)) {}

SingleInstance::~SingleInstance() {
  if (listener_ < 0) return;
  ::close(listener_);
  // Only our own socket: a later instance may have put its own in its place.
  struct stat info {};
  const QByteArray name = QFile::encodeName(socket_path_);
  if (::lstat(name.constData(), &info) == 0 && info.st_ino == socket_inode_) {
    ::unlink(name.constData());
  }
}

bool SingleInstance::Listen() {
  // Binding moves the socket into place over whatever is there, so look first: somebody
  // answering is a live instance; nobody answering is the socket of a crashed one.
  const QFileInfo existing(socket_path_);
  if (existing.exists() || existing.isSymLink()) {
    QLocalSocket probe;
    probe.connectToServer(socket_path_);
    if (probe.waitForConnected(1000)) return false;
    QFile::remove(socket_path_);
  }
  // The socket is made in a folder only its user may enter and moved into place from there, so
  // nobody else can reach it, not even for a moment.
  QTemporaryDir folder(QFileInfo(socket_path_).absolutePath() + QStringLiteral("/.zavrik-XXXXXX"));
  if (!folder.isValid()) return false;
  const QByteArray made = QFile::encodeName(folder.filePath(QStringLiteral("s")));
  const QByteArray name = QFile::encodeName(socket_path_);
  sockaddr_un address{};
  if (size_t(made.size()) >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, made.constData(), size_t(made.size()));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  struct stat info {};
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::chmod(made.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
      ::rename(made.constData(), name.constData()) != 0 || ::lstat(name.constData(), &info) != 0) {
    ::close(fd);
    return false;
  }
  listener_ = fd;
  socket_inode_ = info.st_ino;
  notifier_ = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::Accept);
  return true;
}

// When the descriptors have run out, the undefined-behaviour checker's own type check cannot
// open what it needs and reports the notifier as broken, so that check stays out of here.
__attribute__((no_sanitize("vptr"))) void SingleInstance::Accept() {
  constexpr int kRetryMs = 100;
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      // No descriptor left, or any other failure: the socket keeps listening, and the peer
      // waits in the backlog until a moment later, when held connections may have ended.
      notifier_->setEnabled(false);
      QTimer::singleShot(kRetryMs, this, [this] { notifier_->setEnabled(true); });
      return;
    }
    auto* connection = new QLocalSocket(this);
    if (!connection->setSocketDescriptor(fd)) {
      ::close(fd);
      delete connection;
      continue;
    }
    Hold(connection);
  }
}

void SingleInstance::Hold(QLocalSocket* connection) {
  // Connections that never send anything must not use up the descriptors.
  if (order_.size() >= kMaxConnections) Drop(order_.front());
  auto* idle = new QTimer(connection);
  idle->setSingleShot(true);
  idle->setInterval(kIdleMs);
  connect(idle, &QTimer::timeout, this, [this, connection] { Drop(connection); });
  pending_.insert(connection, {QByteArray(), idle});
  order_.append(connection);
  connect(connection, &QLocalSocket::readyRead, this, [this, connection] { ReadFrom(connection); });
  connect(connection, &QLocalSocket::disconnected, this, [this, connection] {
    pending_.remove(connection);
    order_.removeOne(connection);
    connection->deleteLater();
  });
  idle->start();
  ReadFrom(connection);
}

void SingleInstance::Drop(QLocalSocket* connection) {
  if (!pending_.contains(connection)) return;
  pending_.remove(connection);
  order_.removeOne(connection);
  connection->abort();
  connection->deleteLater();
}

void SingleInstance::ReadFrom(QLocalSocket* connection) {
  if (!pending_.contains(connection)) return;
  Pending& pending = pending_[connection];
  pending.data.append(connection->readAll());
  pending.idle->start();
  QStringList paths;
  QStringList not_utf8;
  switch (handover::Decode(pending.data, &paths, &not_utf8)) {
    case handover::DecodeState::NeedMore:
      return;
    case handover::DecodeState::Invalid:
      Drop(connection);
      return;
    case handover::DecodeState::Complete:
      pending_.remove(connection);
      order_.removeOne(connection);
      connection->putChar(handover::kAcknowledge);
      connection->flush();
      connection->disconnectFromServer();
      // Delivered from the event loop, so a dialog that the paths open does not hold the
      // sender waiting inside this slot.
      QMetaObject::invokeMethod(
          this, [this, paths, not_utf8] { Deliver(paths, not_utf8); }, Qt::QueuedConnection);
      return;
  }
}

void SingleInstance::Deliver(const QStringList& paths, const QStringList& not_utf8) {
  if (handler_ == nullptr) return;
  Message message(command::kRefsReceived);
  for (const QString& path : paths) message.AddRef(QStringLiteral("refs"), path);
  handler_->MessageReceived(message);
  if (not_utf8.isEmpty()) return;
  Message names(command::kNamesNotUtf8);
  for (const QString& name : not_utf8) names.AddRef(QStringLiteral("names"), name);
  handler_->MessageReceived(names);
}
