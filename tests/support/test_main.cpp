// Runs every test inside one QApplication, with HOME and the XDG folders in a temporary folder
// so no test ever touches the real home, nor sees what an installed copy put into the system's
// data folders (the list type among them).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/test_support.h"

namespace {
QString g_home;

void PointHomeAt(const QString& home) {
  const QByteArray root = QFile::encodeName(home);
  qputenv("HOME", root);
  qputenv("XDG_DATA_HOME", root + "/.local/share");
  qputenv("XDG_CONFIG_HOME", root + "/.config");
  qputenv("XDG_CACHE_HOME", root + "/.cache");
  qputenv("XDG_STATE_HOME", root + "/.local/state");
  qputenv("XDG_DATA_DIRS", root + "/system-share");
  // A Zavrik the tests start hands files to none that runs for the user.
  qputenv("XDG_RUNTIME_DIR", root + "/runtime");
  for (const char* sub :
       {"/.local/share", "/.config", "/.cache", "/.local/state", "/system-share", "/runtime"}) {
    QDir().mkpath(home + QString::fromLatin1(sub));
  }
  // The toolkit uses a runtime folder only if it is the user's alone.
  QFile::setPermissions(home + QStringLiteral("/runtime"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
}  // namespace

namespace test_support {
QString TemporaryHome() { return g_home; }
}  // namespace test_support

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  g_home = home.path();
  PointHomeAt(g_home);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The tests may leave names in the home that QDir cannot remove.
  home.setAutoRemove(false);
  int status = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  test_support::RemoveTree(g_home);
  return status;
}
