#pragma once

#include "platform/message.h"

class QObject;

// Delivers `message` to `handler` from the event loop, as a control's command is posted to its
// window. Nothing is delivered once `context` (the sending control) is gone.
void PostMessage(QObject* context, MessageHandler* handler, const Message& message);
