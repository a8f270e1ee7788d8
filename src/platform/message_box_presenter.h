#pragma once

#include "platform/alert.h"

class QWidget;

// Shows an alert as a modal QMessageBox titled "Zavrik", named by the alert's identifier, with its
// buttons left to right as listed on every desktop; Escape answers with the last one.
class MessageBoxPresenter : public AlertPresenter {
 public:
  explicit MessageBoxPresenter(QWidget* parent = nullptr) : parent_(parent) {}
  int Go(const Alert& alert) override;

 private:
  QWidget* parent_;
};
