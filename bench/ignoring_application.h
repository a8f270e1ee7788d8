#pragma once

#include <QString>

#include "app/options_view.h"
#include "window/application_port.h"

// An application object that lets everything pass, for benchmarks that build the main window.
class IgnoringApplication : public ApplicationPort, public MimeTypeActions {
 public:
  void MessageReceived(const Message&) override {}
  QString ExecutablePath() const override { return {}; }
  void WriteOptions() override {}
  void Quit() override {}
  void RegisterMIMEType(bool) override {}
  void UnregisterMIMEType() override {}
};
