#pragma once

#include <QList>
#include <QStringList>

#include "platform/alert.h"
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

// Records the alerts instead of showing them, and answers with the button `answer`.
class RecordingAlerts : public AlertPresenter {
 public:
  int Go(const Alert& alert) override {
    shown.append(alert);
    return answer;
  }

  QStringList Ids() const {
    QStringList ids;
    for (const Alert& alert : shown) ids.append(alert.id);
    return ids;
  }

  QList<Alert> shown;
  int answer = 0;
};
