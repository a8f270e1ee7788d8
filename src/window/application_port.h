#pragma once

#include <QString>

#include "platform/message.h"

// What the main window asks of the application object. As a message handler it takes the about
// request and the end notices of launched programs. ZavrikApp is the real one; tests put a
// recorder in its place.
class ApplicationPort : public MessageHandler {
 public:
  // The running executable: the readme stands beside it.
  virtual QString ExecutablePath() const = 0;
  // Saves the settings record: into the executable's attributes, or the user's own settings
  // file where the executable cannot be written.
  virtual void WriteOptions() = 0;
  // Ends the event loop; the settings are saved before.
  virtual void Quit() = 0;
};
