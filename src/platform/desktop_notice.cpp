#include "platform/desktop_notice.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void DBusDesktopNotice::Show(const QString& summary, const QString& body) {
  if (!bus_.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call.setAutoStartService(false);
  const QVariantMap hints = {{QStringLiteral("desktop-entry"), QStringLiteral("zavrik")}};
  call << QStringLiteral("Zavrik") << uint(0) << QStringLiteral("zavrik") << summary << body
       << QStringList() << hints << int(-1);
  bus_.send(call);
}
