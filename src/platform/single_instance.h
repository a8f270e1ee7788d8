#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/system_messages.h"

class QLocalSocket;
class QSocketNotifier;
class QTimer;

// One Zavrik per user. The first process listens on a local socket that only its own user may
// reach; a later `zavrik FILE...` hands its absolute paths over that socket and ends. The
// running instance turns them into a 'RREF' message with "refs" for its handler, and names
// whose bytes are no UTF-8 into a 'NUTF' message with their visible forms under "names".
//
// On the wire: the number of paths, then each path as its length and bytes (all counts 32-bit
// big-endian); the instance answers with one acknowledgement byte.
//
// The instance accepts connections itself: a server that gave up after a failed accept (no
// descriptors left) would leave the next `zavrik FILE` to open a second window. A connection
// that stays silent for a while is dropped, and only a few are held at once.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class HandOver {
    Delivered,   // a running instance took the paths
    NoInstance,  // nobody listens (or a crashed instance left its socket): become the instance
    NoAnswer,    // an instance listens but did not acknowledge in time
  };

  // $XDG_RUNTIME_DIR/zavrik-<uid>, or /tmp/zavrik-<uid> without an absolute runtime folder.
  static QString DefaultSocketPath();

  // Hands `paths` to the instance listening at `socket_path` and waits for its answer. Works
  // before any application object exists. The wait is long enough for an instance that is still
  // starting up (installing the list type the first time) to take the paths.
  static HandOver HandTo(const QString& socket_path, const QList<QByteArray>& paths,
                         int timeout_ms = 30000);
  static HandOver HandTo(const QString& socket_path, const QStringList& paths,
                         int timeout_ms = 30000);

  explicit SingleInstance(QString socket_path = DefaultSocketPath(), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Starts listening. A socket whose instance is gone is removed first. False when another
  // instance answers there, or the socket cannot be made.
  bool Listen();

  // Where handed paths go; paths that arrive without a handler are dropped.
  void SetHandler(MessageHandler* handler) { handler_ = handler; }

  // How long a connection may stay silent, and how many are held at once.
  static constexpr int kIdleMs = 2000;
  static constexpr int kMaxConnections = 32;

 private:
  void Accept();
  void Hold(QLocalSocket* connection);
  void Drop(QLocalSocket* connection);
  void ReadFrom(QLocalSocket* connection);
  void Deliver(const QStringList& paths, const QStringList& not_utf8);

  struct Pending {
    QByteArray data;
    QTimer* idle = nullptr;
  };

  QString socket_path_;
  int listener_ = -1;
  quint64 socket_inode_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  MessageHandler* handler_ = nullptr;
  QHash<QLocalSocket*, Pending> pending_;
  QList<QLocalSocket*> order_;  // held connections, oldest first
};

// The wire format, shared by both ends and by tests.
namespace handover {
inline constexpr char kAcknowledge = '\x06';
inline constexpr quint32 kMaxPaths = 100000;
inline constexpr quint32 kMaxPathBytes = 65536;

QByteArray Encode(const QList<QByteArray>& paths);
QByteArray Encode(const QStringList& paths);

enum class DecodeState { Complete, NeedMore, Invalid };
// Decodes a whole request from `data`; NeedMore while bytes are still missing. Names whose
// bytes are no UTF-8 go to `not_utf8` in their visible form, when it is given.
DecodeState Decode(const QByteArray& data, QStringList* paths, QStringList* not_utf8 = nullptr);
}  // namespace handover
