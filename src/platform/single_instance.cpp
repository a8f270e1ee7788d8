#include "platform/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

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

QByteArray Encode(const QStringList& paths) {
  QByteArray data;
  AppendCount(&data, quint32(paths.size()));
  for (const QString& path : paths) {
    const QByteArray bytes = QFile::encodeName(path);
    AppendCount(&data, quint32(bytes.size()));
    data.append(bytes);
  }
  return data;
}

DecodeState Decode(const QByteArray& data, QStringList* paths) {
  qsizetype offset = 0;
  quint32 count = 0;
  if (!ReadCount(data, &offset, &count)) return DecodeState::NeedMore;
  if (count > kMaxPaths) return DecodeState::Invalid;
  QStringList decoded;
  for (quint32 i = 0; i < count; ++i) {
    quint32 length = 0;
    if (!ReadCount(data, &offset, &length)) return DecodeState::NeedMore;
    if (length == 0 || length > kMaxPathBytes) return DecodeState::Invalid;
    if (data.size() - offset < qsizetype(length)) return DecodeState::NeedMore;
    decoded.append(QFile::decodeName(data.mid(offset, length)));
    offset += length;
  }
  if (offset != data.size()) return DecodeState::Invalid;
  *paths = decoded;
  return DecodeState::Complete;
}
}  // namespace handover

QString SingleInstance::DefaultSocketPath() {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QStringLiteral("/tmp");
  return folder + QStringLiteral("/zavrik-") + QString::number(geteuid());
}

SingleInstance::HandOver SingleInstance::HandTo(const QString& socket_path,
                                                const QStringList& paths, int timeout_ms) {
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
    : QObject(parent), socket_path_(std::move(socket_path)), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
}

SingleInstance::~SingleInstance() { server_->close(); }

bool SingleInstance::Listen() {
  // The server moves its socket into place over whatever is there, so look first: somebody
  // answering is a live instance; nobody answering is the socket of a crashed one.
  const QFileInfo existing(socket_path_);
  if (existing.exists() || existing.isSymLink()) {
    QLocalSocket probe;
    probe.connectToServer(socket_path_);
    if (probe.waitForConnected(1000)) return false;
    QLocalServer::removeServer(socket_path_);
  }
  return server_->listen(socket_path_);
}

void SingleInstance::Accept() {
  while (QLocalSocket* connection = server_->nextPendingConnection()) {
    pending_.insert(connection, {});
    connect(connection, &QLocalSocket::readyRead, this,
            [this, connection] { ReadFrom(connection); });
    connect(connection, &QLocalSocket::disconnected, this, [this, connection] {
      pending_.remove(connection);
      connection->deleteLater();
    });
    ReadFrom(connection);
  }
}

void SingleInstance::ReadFrom(QLocalSocket* connection) {
  if (!pending_.contains(connection)) return;
  QByteArray& data = pending_[connection];
  data.append(connection->readAll());
  QStringList paths;
  switch (handover::Decode(data, &paths)) {
    case handover::DecodeState::NeedMore:
      return;
    case handover::DecodeState::Invalid:
      pending_.remove(connection);
      connection->abort();
      return;
    case handover::DecodeState::Complete:
      pending_.remove(connection);
      connection->putChar(handover::kAcknowledge);
      connection->flush();
      connection->disconnectFromServer();
      // Delivered from the event loop, so a dialog that the paths open does not hold the
      // sender waiting inside this slot.
      QMetaObject::invokeMethod(
          this, [this, paths] { Deliver(paths); }, Qt::QueuedConnection);
      return;
  }
}

void SingleInstance::Deliver(const QStringList& paths) {
  if (handler_ == nullptr) return;
  Message message(command::kRefsReceived);
  for (const QString& path : paths) message.AddRef(QStringLiteral("refs"), path);
  handler_->MessageReceived(message);
}
