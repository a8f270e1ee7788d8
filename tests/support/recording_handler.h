#pragma once

#include <QList>

#include "platform/message.h"

// Keeps every message it is handed, for tests to look at.
class RecordingHandler : public MessageHandler {
 public:
  void MessageReceived(const Message& message) override { messages.append(message); }

  QList<uint32_t> Codes() const {
    QList<uint32_t> codes;
    for (const Message& message : messages) codes.append(message.what);
    return codes;
  }

  QList<Message> messages;
};
