#pragma once

#include <QStringList>
#include <ostream>
#include <vector>

#include "platform/alert.h"
#include "platform/message.h"

// Records the alerts instead of showing them, answering with the first button.
class RecordingAlerts : public AlertPresenter {
 public:
  int Go(const Alert& alert) override {
    ids.append(alert.id);
    return 0;
  }
  QStringList ids;
};

// Records the messages that reach a window or the application.
class RecordingHandler : public MessageHandler {
 public:
  void MessageReceived(const Message& message) override { messages.push_back(message); }
  std::vector<Message> messages;
};

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
