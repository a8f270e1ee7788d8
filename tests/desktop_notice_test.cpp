// The run's end notice against a stand-in notification service on a private bus.
#include "platform/desktop_notice.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QVariantMap>

#include "support/test_support.h"

namespace {

class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList summaries;

 public Q_SLOTS:
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
              const QStringList&, const QVariantMap&, int) {
    summaries << summary;
    return uint(summaries.size());
  }
};

class DesktopNoticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address")});
    ASSERT_TRUE(daemon_.waitForStarted());
    ASSERT_TRUE(test_support::WaitUntil([&] { return daemon_.canReadLine(); }));
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("zavrik"));
    daemon_.kill();
    daemon_.waitForFinished();
  }

  QDBusConnection Connect(const QString& name) {
    return QDBusConnection::connectToBus(address_, name);
  }

  QProcess daemon_;
  QString address_;
};

TEST_F(DesktopNoticeTest, TheServiceGetsTheSummary) {
  QDBusConnection service = Connect(QStringLiteral("service"));
  FakeNotifications fake;
  ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                     QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
  DBusDesktopNotice notice(Connect(QStringLiteral("zavrik")));
  notice.Show(QStringLiteral("12 Dateien kodiert"), {});
  EXPECT_TRUE(test_support::WaitUntil([&] { return !fake.summaries.isEmpty(); }));
  EXPECT_EQ(fake.summaries, QStringList{QStringLiteral("12 Dateien kodiert")});
}

TEST_F(DesktopNoticeTest, WithoutAServiceOrABusNothingHappens) {
  DBusDesktopNotice without_service(Connect(QStringLiteral("zavrik")));
  without_service.Show(QStringLiteral("1 Datei kodiert"), {});
  DBusDesktopNotice without_bus(QDBusConnection(QStringLiteral("none")));
  without_bus.Show(QStringLiteral("1 Datei kodiert"), {});
  // The message to the missing service is answered with an error that nobody waits for.
  EXPECT_TRUE(Connect(QStringLiteral("zavrik")).isConnected());
}

}  // namespace

#include "desktop_notice_test.moc"
