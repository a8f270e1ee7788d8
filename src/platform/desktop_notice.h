#pragma once

#include <QDBusConnection>
#include <QString>

// Tells the user something through the desktop's notification service.
class DesktopNotice {
 public:
  virtual ~DesktopNotice() = default;
  virtual void Show(const QString& summary, const QString& body) = 0;
};

// The freedesktop notification service over D-Bus. The call is sent without waiting for an
// answer and without starting a service that is not running: without one, nothing happens.
class DBusDesktopNotice : public DesktopNotice {
 public:
  explicit DBusDesktopNotice(QDBusConnection bus = QDBusConnection::sessionBus())
      : bus_(std::move(bus)) {}
  void Show(const QString& summary, const QString& body) override;

 private:
  QDBusConnection bus_;
};
