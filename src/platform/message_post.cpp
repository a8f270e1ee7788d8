#include "platform/message_post.h"

#include <QMetaObject>
#include <QObject>

void PostMessage(QObject* context, MessageHandler* handler, const Message& message) {
  QMetaObject::invokeMethod(
      context, [handler, message] { handler->MessageReceived(message); }, Qt::QueuedConnection);
}
