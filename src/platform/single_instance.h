#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/system_messages.h"

class QLocalServer;
class QLocalSocket;

// One Zavrik per user. The first process listens on a local socket that only its own user may
// reach; a later `zavrik FILE...` hands its absolute paths over that socket and ends. The
// running instance turns them into a 'RREF' message with "refs" for its handler.
//
// On the wire: the number of paths, then each path as its UTF-8 length and bytes (all counts
// 32-bit big-endian); the instance answers with one acknowledgement byte.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class HandOver {
    Delivered,   // a running instance took the paths
    NoInstance,  // nobody listens (or a crashed instance left its socket): become the instance
    NoAnswer,    // an instance listens but did not acknowledge in time
  };

  // $XDG_RUNTIME_DIR/zavrik-<uid>, or /tmp/zavrik-<uid> without a runtime folder.
  static QString DefaultSocketPath();

  // Hands `paths` to the instance listening at `socket_path` and waits for its answer. Works
  // before any application object exists. The wait is long enough for an instance that is still
  // starting up (installing the list type the first time) to take the paths.
  static HandOver HandTo(const QString& socket_path, const QStringList& paths,
                         int timeout_ms = 30000);

  explicit SingleInstance(QString socket_path = DefaultSocketPath(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Starts listening. A socket whose instance is gone is removed first. False when another
  // instance answers there, or the socket cannot be made.
  bool Listen();

  // Where handed paths go, as 'RREF' messages; paths that arrive without a handler are dropped.
  void SetHandler(MessageHandler* handler) { handler_ = handler; }

  QString SocketPath() const { return socket_path_; }

 private:
  void Accept();
  void ReadFrom(QLocalSocket* connection);
  void Deliver(const QStringList& paths);

  QString socket_path_;
  QLocalServer* server_;
  MessageHandler* handler_ = nullptr;
  QHash<QLocalSocket*, QByteArray> pending_;
};

// The wire format, shared by both ends and by tests.
namespace handover {
inline constexpr char kAcknowledge = '\x06';
inline constexpr quint32 kMaxPaths = 100000;
inline constexpr quint32 kMaxPathBytes = 65536;

QByteArray Encode(const QStringList& paths);

enum class DecodeState { Complete, NeedMore, Invalid };
// Decodes a whole request from `data`; NeedMore while bytes are still missing.
DecodeState Decode(const QByteArray& data, QStringList* paths);
}  // namespace handover
