#pragma once

#include "platform/message.h"

class QWidget;

// The "Programm-Optionen" tab. It belongs with the settings and the list type to the application
// object, which builds it; the window shows it as its last tab, lets its controls send their
// commands to the window, and hands it every command that is none of the window's own.
class OptionsTab : public MessageHandler {
 public:
  virtual QWidget* Widget() = 0;
  // From now on the tab's controls send their commands to `window`.
  virtual void SendCommandsTo(MessageHandler* window) = 0;
};
