#include "app/mime_registration.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/mimeapps_list.h"
#include "files/list_file.h"
#include "support/test_support.h"

namespace {

QString DataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); }

QString MimeAppsList() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/mimeapps.list");
}

// What installing writes into the user's data folder.
const char* const kInstalledFiles[] = {
    "mime/packages/zavrik-list.xml",
    "applications/zavrik.desktop",
    "icons/hicolor/32x32/mimetypes/text-x-Zavrik-list.png",
    "icons/hicolor/16x16/mimetypes/text-x-Zavrik-list.png",
    "icons/hicolor/32x32/apps/zavrik.png",
    "icons/hicolor/16x16/apps/zavrik.png",
};

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QByteArray& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnvironment() {
    if (had_) {
      qputenv(name_, old_);
    } else {
      qunsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

class MimeRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Start from a clean user database whatever an earlier test left.
    UninstallListMimeType();
    ASSERT_FALSE(IsListMimeTypeInstalled());
  }
  void TearDown() override { UninstallListMimeType(); }
};

const QByteArray kOtherMimeApps =
    "[Added Associations]\n"
    "text/plain=gedit.desktop;\n"
    "\n"
    "[Default Applications]\n"
    "audio/x-wav=player.desktop;\n"
    "# ein Kommentar\n";

TEST_F(MimeRegistrationTest, InstallInstallAgainDeleteDeleteAgain) {
  WriteBytes(MimeAppsList(), kOtherMimeApps);
  ASSERT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")),
            MimeInstallResult::Installed);
  for (const char* file : kInstalledFiles) {
    EXPECT_TRUE(QFile::exists(DataHome() + QLatin1Char('/') + QLatin1String(file))) << file;
  }
  const QByteArray mimeapps = ReadBytes(MimeAppsList());
  EXPECT_TRUE(mimeapps.contains("\ntext/x-Zavrik-list=zavrik.desktop;\n")) << mimeapps.data();
  EXPECT_TRUE(mimeapps.startsWith(kOtherMimeApps.left(kOtherMimeApps.indexOf("[Default"))));

  // A fresh look-up: a saved list and a bare header file are lists, by name and by content.
  const QString lists = test_support::TemporaryHome() + QStringLiteral("/listen");
  QDir().mkpath(lists);
  ASSERT_EQ(SaveListFile(lists + QStringLiteral("/a.zvk"), {"/a.wav"}), ListSaveResult::Saved);
  WriteBytes(lists + QStringLiteral("/ohne_endung"), QByteArray(kListFileHeader) + "\n");
  QMimeDatabase database;
  EXPECT_EQ(database.mimeTypeForFile(lists + QStringLiteral("/a.zvk")).name(), kListMimeType);
  EXPECT_EQ(database.mimeTypeForFile(lists + QStringLiteral("/ohne_endung")).name(), kListMimeType);
  EXPECT_EQ(database.mimeTypeForName(QLatin1String(kListMimeType)).comment(),
            QStringLiteral("Zavrik list"));
  // A file manager asks the database itself, which knows a list without header or attribute
  // by its name alone.
  WriteBytes(lists + QStringLiteral("/ohne_kopf.zvk"), "0;/a.wav\n");
  QProcess file_manager;
  file_manager.start(QStringLiteral("xdg-mime"),
                     {QStringLiteral("query"), QStringLiteral("filetype"),
                      lists + QStringLiteral("/ohne_kopf.zvk")});
  ASSERT_TRUE(file_manager.waitForFinished(60000));
  EXPECT_EQ(file_manager.readAllStandardOutput().trimmed(), kListMimeType)
      << file_manager.readAllStandardError().toStdString();

  // Installing again touches nothing, not even a desktop entry the user has edited.
  const QString desktop = DataHome() + QStringLiteral("/applications/zavrik.desktop");
  WriteBytes(desktop, "[Desktop Entry]\nName=Eigenes\n");
  EXPECT_EQ(InstallListMimeType(QStringLiteral("/anderswo/zavrik")),
            MimeInstallResult::AlreadyInstalled);
  EXPECT_EQ(ReadBytes(desktop), "[Desktop Entry]\nName=Eigenes\n");

  EXPECT_EQ(UninstallListMimeType(), MimeDeleteResult::Deleted);
  EXPECT_FALSE(IsListMimeTypeInstalled());
  for (const char* file : kInstalledFiles) {
    EXPECT_FALSE(QFile::exists(DataHome() + QLatin1Char('/') + QLatin1String(file))) << file;
  }
  EXPECT_EQ(ReadBytes(MimeAppsList()), kOtherMimeApps);
  EXPECT_EQ(UninstallListMimeType(), MimeDeleteResult::NotInstalled);

  EXPECT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")),
            MimeInstallResult::Installed);
}

TEST_F(MimeRegistrationTest, TheDesktopEntryStartsTheGivenExecutableWhateverItsPathHolds) {
  const QString executable = QStringLiteral("/opt/Mein \"Zavrik\"/100% $HOME\\zavrik");
  ASSERT_EQ(InstallListMimeType(executable), MimeInstallResult::Installed);
  const QString desktop = DataHome() + QStringLiteral("/applications/zavrik.desktop");
  const QByteArray entry = ReadBytes(desktop);
  EXPECT_TRUE(
      entry.contains("\nExec=\"/opt/Mein \\\\\"Zavrik\\\\\"/100%% \\\\$HOME\\\\\\\\zavrik\" %F\n"))
      << entry.data();
  EXPECT_TRUE(entry.contains("\nMimeType=text/x-Zavrik-list;\n"));
  const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  if (!validator.isEmpty()) {
    QProcess validate;
    validate.start(validator, {desktop});
    ASSERT_TRUE(validate.waitForFinished());
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().data();
  }
}

TEST_F(MimeRegistrationTest, AFailedInstallLeavesNothingBehind) {
  // The applications folder cannot be made: a file stands in its place.
  const QString blocker = DataHome() + QStringLiteral("/applications");
  QDir(blocker).removeRecursively();
  WriteBytes(blocker, "kein Ordner");
  WriteBytes(MimeAppsList(), kOtherMimeApps);
  EXPECT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")), MimeInstallResult::Failed);
  EXPECT_FALSE(IsListMimeTypeInstalled());
  EXPECT_FALSE(QFile::exists(DataHome() + QStringLiteral("/mime/packages/zavrik-list.xml")));
  EXPECT_EQ(ReadBytes(MimeAppsList()), kOtherMimeApps);
  QFile::remove(blocker);
}

TEST_F(MimeRegistrationTest, RelativeXdgFoldersAreIgnoredAndNothingLandsInTheCurrentFolder) {
  QTemporaryDir current;
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(current.path()));
  {
    const ScopedEnvironment data("XDG_DATA_HOME", "share");
    const ScopedEnvironment config("XDG_CONFIG_HOME", "config");
    EXPECT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")),
              MimeInstallResult::Installed);
    EXPECT_TRUE(QFile::exists(QDir::homePath() +
                              QStringLiteral("/.local/share/mime/packages/zavrik-list.xml")));
    EXPECT_TRUE(QFile::exists(QDir::homePath() + QStringLiteral("/.config/mimeapps.list")));
    EXPECT_EQ(UninstallListMimeType(), MimeDeleteResult::Deleted);
  }
  QDir::setCurrent(before);
  EXPECT_TRUE(QDir(current.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(MimeRegistrationTest, WhatTheUserHadBeforeOutlivesInstallingDeletingAndAFailedInstall) {
  // What the user's own installation into ~/.local or own editing left before the first install.
  struct Case {
    const char* name;
    QString path;
    QByteArray bytes;
    MimeDeleteResult deleted;  // the user's package keeps the type known
  };
  const QString data = DataHome() + QLatin1Char('/');
  const Case cases[] = {
      {"desktop entry", data + QStringLiteral("applications/zavrik.desktop"),
       "[Desktop Entry]\nName=Eigenes\n", MimeDeleteResult::Deleted},
      {"program icon", data + QStringLiteral("icons/hicolor/16x16/apps/zavrik.png"), "Symbol",
       MimeDeleteResult::Deleted},
      {"default line", MimeAppsList(),
       "[Default Applications]\ntext/x-Zavrik-list=zavrik.desktop;\n", MimeDeleteResult::Deleted},
      {"package", data + QStringLiteral("mime/packages/zavrik-list.xml"),
       ReadBytes(QStringLiteral(ZAVRIK_SOURCE_DIR "/data/zavrik-mime.xml")),
       MimeDeleteResult::Failed},
  };
  const auto start_afresh = [] {
    QDir(DataHome()).removeRecursively();
    QFile::remove(MimeAppsList());
  };
  for (const Case& c : cases) {
    for (const bool install_fails : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (install_fails ? ", failed install" : ""));
      start_afresh();
      WriteBytes(c.path, c.bytes);
      if (install_fails) {
        const ScopedEnvironment path("PATH", "/nirgends");
        EXPECT_EQ(InstallListMimeType(QStringLiteral("/z/zavrik")), MimeInstallResult::Failed);
      } else {
        EXPECT_EQ(InstallListMimeType(QStringLiteral("/z/zavrik")), MimeInstallResult::Installed);
        EXPECT_EQ(ReadBytes(c.path), c.bytes);
        EXPECT_EQ(UninstallListMimeType(), c.deleted);
      }
      EXPECT_EQ(ReadBytes(c.path), c.bytes);
      for (const char* file : kInstalledFiles) {
        const QString installed = data + QLatin1String(file);
        if (installed != c.path) {
          EXPECT_FALSE(QFile::exists(installed)) << file;
        }
      }
    }
  }
  start_afresh();
}

TEST_F(MimeRegistrationTest, WithoutTheDatabaseToolInstallingFails) {
  QTemporaryDir empty;
  {
    const ScopedEnvironment path("PATH", QFile::encodeName(empty.path()));
    EXPECT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")), MimeInstallResult::Failed);
  }
  for (const char* file : kInstalledFiles) {
    EXPECT_FALSE(QFile::exists(DataHome() + QLatin1Char('/') + QLatin1String(file))) << file;
  }
}

TEST_F(MimeRegistrationTest, ATypeInstalledForAllUsersIsInstalledButCannotBeDeleted) {
  QTemporaryDir system;
  WriteBytes(system.filePath(QStringLiteral("mime/types")), "text/plain\ntext/x-Zavrik-list\n");
  const ScopedEnvironment dirs("XDG_DATA_DIRS", QFile::encodeName(system.path()));
  EXPECT_EQ(InstallListMimeType(QStringLiteral("/opt/zavrik/zavrik")),
            MimeInstallResult::AlreadyInstalled);
  EXPECT_FALSE(QFile::exists(DataHome() + QStringLiteral("/mime/packages/zavrik-list.xml")));
  const auto listing = [] {
    QStringList entries;
    QDirIterator it(DataHome(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) entries << it.next() + QString::number(it.fileInfo().size());
    entries.sort();
    return entries;
  };
  const QStringList before = listing();
  EXPECT_EQ(UninstallListMimeType(), MimeDeleteResult::Failed);
  EXPECT_EQ(listing(), before)
      << "deleting a type installed for all users touched the user's folder";
}

TEST(MimeAppsListTest, TakingBackTheDefaultRestoresTheFileByteForByte) {
  struct Case {
    const char* name;
    QByteArray before;
    QByteArray installed;
  };
  const Case cases[] = {
      {"no file", "", "[Default Applications]\ntext/x-Zavrik-list=zavrik.desktop;\n"},
      {"other groups only", "[Added Associations]\na/b=c.desktop;\n",
       "[Added Associations]\na/b=c.desktop;\n[Default Applications]\n"
       "text/x-Zavrik-list=zavrik.desktop;\n"},
      {"the group with other entries", "[Default Applications]\na/b=c.desktop;\n[X]\ny=z\n",
       "[Default Applications]\ntext/x-Zavrik-list=zavrik.desktop;\na/b=c.desktop;\n[X]\ny=z\n"},
      {"another default for the type", "[Default Applications]\ntext/x-Zavrik-list=other.desktop\n",
       "[Default Applications]\ntext/x-Zavrik-list=zavrik.desktop;other.desktop\n"},
      {"no final LF", "[Default Applications]\na/b=c.desktop;",
       "[Default Applications]\ntext/x-Zavrik-list=zavrik.desktop;\na/b=c.desktop;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray added = AddDefaultApplication(c.before, kListMimeType, "zavrik.desktop");
    EXPECT_EQ(added, c.installed);
    EXPECT_EQ(AddDefaultApplication(added, kListMimeType, "zavrik.desktop"), added);
    EXPECT_EQ(RemoveDefaultApplication(added, kListMimeType, "zavrik.desktop"), c.before);
  }
}

}  // namespace
