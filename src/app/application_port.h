#pragma once

#include <QString>

#include "platform/message.h"

// What the main window asks of the application object besides taking messages. ZavrikApp is
// the real one; tests put a recorder in its place.
class ApplicationPort : public MessageHandler {
 public:
  // The running executable: its attributes hold the settings, the readme stands beside it.
  virtual QString ExecutablePath() const = 0;
  // Saves the settings record into the executable's attributes.
  virtual void WriteOptions() = 0;
  // Ends the event loop; the settings are saved before.
  virtual void Quit() = 0;
  // Installs the list MIME type when it is missing; with `show_result` the result is shown.
  virtual void RegisterMIMEType(bool show_result) = 0;
  // Deletes the list MIME type and shows the result.
  virtual void UnregisterMIMEType() = 0;
};
