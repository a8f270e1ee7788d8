#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/extended_attributes.h"

namespace {

constexpr char kLocation[] = "user.encoder_location";

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    executable_ = folder_.filePath(QStringLiteral("zavrik"));
    QFile file(executable_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const xattrs::ReadResult probe = xattrs::Read(executable_, kLocation, 16);
    if (probe.status == xattrs::Status::NotSupported) {
      GTEST_SKIP() << "the temporary folder keeps no user attributes";
    }
  }

  void Store(const char* name, const QByteArray& value) {
    ASSERT_EQ(xattrs::Write(executable_, name, value), xattrs::Status::Ok);
  }

  QTemporaryDir folder_;
  QString executable_;
};

// A settings record in the order the attributes are listed.
Settings Record(const QString& encoder_location, bool dont_close_on_add, bool dont_clear_on_open,
                bool self_register_mime_type) {
  Settings settings;
  settings.encoder_location = encoder_location;
  settings.dont_close_on_add = dont_close_on_add;
  settings.dont_clear_on_open = dont_clear_on_open;
  settings.self_register_mime_type = self_register_mime_type;
  return settings;
}

bool operator==(const Settings& a, const Settings& b) {
  return a.encoder_location == b.encoder_location && a.dont_close_on_add == b.dont_close_on_add &&
         a.dont_clear_on_open == b.dont_clear_on_open &&
         a.self_register_mime_type == b.self_register_mime_type;
}

TEST_F(SettingsTest, WrittenSettingsReadBackUnchanged) {
  const Settings cases[] = {
      Record(QStringLiteral("/usr/local/bin/gogo"), true, true, true),
      Record(QStringLiteral("/opt/Kodierer mit Leerzeichen/gögö"), false, true, false),
      Record(QStringLiteral("relative/gogo"), true, false, false),
      Record(QString(), false, false, true),
      Record(QStringLiteral("/a\nb\\n/c\r\\/=x #y\\"), true, false, true),
      Record(QStringLiteral("/\\\\\\r\n\n"), false, true, false),
  };
  const QString file = folder_.filePath(QStringLiteral("config/zavrik/settings"));
  const Settings opposite = Record(QStringLiteral("/other"), true, true, false);
  for (const Settings& settings : cases) {
    SCOPED_TRACE(settings.encoder_location.toStdString());
    ASSERT_TRUE(WriteOptions(executable_, settings));
    EXPECT_TRUE(ReadOptions(executable_) == settings);
    ASSERT_TRUE(WriteUserOptions(file, settings));
    EXPECT_TRUE(ReadUserOptions(file, opposite) == settings);
  }
}

TEST_F(SettingsTest, TheSettingsFileReplacesOnlyTheFieldsItHolds) {
  // The opposite of every default, so a field taken from nowhere shows.
  const Settings base = Record(QStringLiteral("/base/gogo"), true, true, false);
  const QString file = folder_.filePath(QStringLiteral("settings"));
  struct Case {
    const char* name;
    QByteArray content;
    Settings expected;
  };
  const Case cases[] = {
      {"one flag", "dont_clear_on_open=0\n",
       Record(QStringLiteral("/base/gogo"), true, false, false)},
      {"the path alone", "encoder_location=/f/gogo",
       Record(QStringLiteral("/f/gogo"), true, true, false)},
      {"an empty path is a path", "encoder_location=\n", Record(QString(), true, true, false)},
      {"CR LF line ends", "self_register_mime_type=1\r\nencoder_location=/f\r\n",
       Record(QStringLiteral("/f"), true, true, true)},
      {"malformed flags", "dont_close_on_add=2\ndont_clear_on_open=true\ndont_close_on_add\n",
       base},
      {"comments and unknown names", "# encoder_location=/x\nlocation=/y\n", base},
      {"text after a NUL in the path", QByteArray("encoder_location=/f\0junk\n", 24),
       Record(QStringLiteral("/f"), true, true, false)},
      {"a path beyond the buffer", "encoder_location=/" + QByteArray(2000, 'p'),
       Record(QStringLiteral("/") + QString(1022, QLatin1Char('p')), true, true, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile settings(file);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write(c.content);
    settings.close();
    EXPECT_TRUE(ReadUserOptions(file, base) == c.expected);
  }

  // Where no file can be read, nothing is taken from it; a pipe in its place never blocks.
  ASSERT_TRUE(QFile::remove(file));
  EXPECT_TRUE(ReadUserOptions(file, base) == base);
  ASSERT_EQ(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
  EXPECT_TRUE(ReadUserOptions(file, base) == base);
}

TEST_F(SettingsTest, TheSettingsFileIsWrittenWhereverItsFolderCanBeMade) {
  const QString blocker = folder_.filePath(QStringLiteral("a file"));
  QFile file(blocker);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_TRUE(QDir(folder_.path()).mkpath(QStringLiteral("folder/settings")));
  struct Case {
    QString file;
    bool writable;
  };
  const Case cases[] = {
      {folder_.filePath(QStringLiteral("new/config/zavrik/settings")), true},
      {folder_.filePath(QStringLiteral("settings")), true},
      {blocker + QStringLiteral("/zavrik/settings"), false},
      {folder_.filePath(QStringLiteral("folder/settings")), false},
  };
  const Settings settings = Record(QStringLiteral("/f/gogo"), true, false, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    EXPECT_EQ(CanWriteUserOptions(c.file), c.writable);
    EXPECT_EQ(WriteUserOptions(c.file, settings), c.writable);
    EXPECT_EQ(ReadUserOptions(c.file, Settings()) == settings, c.writable);
    // Replaced by a complete new file, never rewritten in place where a crash could cut it.
    if (c.writable) {
      struct stat before {};
      struct stat after {};
      ASSERT_EQ(stat(QFile::encodeName(c.file).constData(), &before), 0);
      ASSERT_TRUE(WriteUserOptions(c.file, Settings()));
      ASSERT_EQ(stat(QFile::encodeName(c.file).constData(), &after), 0);
      EXPECT_NE(before.st_ino, after.st_ino);
    }
  }
  // A missing folder is made for this user alone.
  EXPECT_EQ(QFileInfo(folder_.filePath(QStringLiteral("new"))).permissions().toInt() & 0x0077, 0);
}

TEST_F(SettingsTest, TheExecutableKeepsTheSettingsWhereverItCanBeWritten) {
  const QString file = folder_.filePath(QStringLiteral("config/zavrik/settings"));
  const Settings on_executable = Record(QStringLiteral("/exe/gogo"), true, false, false);
  const Settings in_file = Record(QStringLiteral("/file/gogo"), false, true, true);
  ASSERT_TRUE(WriteUserOptions(file, in_file));

  // A writable executable is the one store; the file of an earlier start plays no part.
  ASSERT_TRUE(SaveSettings(executable_, file, on_executable));
  EXPECT_TRUE(LoadSettings(executable_, file) == on_executable);
  EXPECT_TRUE(ReadUserOptions(file, Settings()) == in_file);

  // Where the executable cannot be written, the user's file keeps them.
  const QString installed = folder_.filePath(QStringLiteral("gone/zavrik"));
  EXPECT_TRUE(CanSaveSettings(installed, file));
  ASSERT_TRUE(SaveSettings(installed, file, on_executable));
  EXPECT_TRUE(LoadSettings(installed, file) == on_executable);
  EXPECT_FALSE(CanSaveSettings(installed, executable_ + QStringLiteral("/zavrik/settings")));
}

TEST(UserSettingsFileTest, LiesUnderTheAbsoluteConfigHomeOrElseUnderHome) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  const QString home = QDir::homePath();
  struct Case {
    const char* config_home;
    QString expected;
  };
  const Case cases[] = {
      {"/etc/anna", QStringLiteral("/etc/anna/zavrik/settings")},
      {"", home + QStringLiteral("/.config/zavrik/settings")},
      {"konfig", home + QStringLiteral("/.config/zavrik/settings")},
      {"./konfig", home + QStringLiteral("/.config/zavrik/settings")},
  };
  for (const Case& c : cases) {
    qputenv("XDG_CONFIG_HOME", c.config_home);
    EXPECT_EQ(UserSettingsFile().toStdString(), c.expected.toStdString()) << c.config_home;
  }
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserSettingsFile().toStdString(),
            (home + QStringLiteral("/.config/zavrik/settings")).toStdString());
  qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(SettingsTest, AFileWithoutAttributesGivesTheDefaults) {
  const Settings read = ReadOptions(executable_);
  EXPECT_EQ(read.encoder_location, folder_.filePath(QStringLiteral("gogo")));
  EXPECT_FALSE(read.dont_close_on_add);
  EXPECT_FALSE(read.dont_clear_on_open);
  EXPECT_TRUE(read.self_register_mime_type);
}

TEST_F(SettingsTest, OnlyTheMissingAttributeTakesItsDefault) {
  const Settings stored = Record(QStringLiteral("/stored/gogo"), true, true, false);
  struct Case {
    const char* removed;
    Settings expected;
  };
  const QString fallback = DefaultEncoderLocation(executable_);
  const Case cases[] = {
      {"user.encoder_location", Record(fallback, true, true, false)},
      {"user.dont_close_on_add", Record(QStringLiteral("/stored/gogo"), false, true, false)},
      {"user.dont_clear_on_open", Record(QStringLiteral("/stored/gogo"), true, false, false)},
      {"user.self_register_mime_type", Record(QStringLiteral("/stored/gogo"), true, true, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.removed);
    ASSERT_TRUE(WriteOptions(executable_, stored));
    ASSERT_EQ(xattrs::Remove(executable_, c.removed), xattrs::Status::Ok);
    EXPECT_TRUE(ReadOptions(executable_) == c.expected);
  }
}

TEST_F(SettingsTest, ThePathIsStoredWithItsTerminatingNul) {
  ASSERT_TRUE(WriteOptions(executable_, Record(QStringLiteral("/a/gogo"), false, false, true)));
  EXPECT_EQ(xattrs::Read(executable_, kLocation, 4096).value, QByteArray("/a/gogo\0", 8));
  EXPECT_EQ(xattrs::Read(executable_, "user.self_register_mime_type", 16).value,
            QByteArray(1, '\1'));
}

TEST_F(SettingsTest, StoredPathBytesAreReadWithinTheBufferLimit) {
  const QByteArray a1023(1023, 'a');
  const QByteArray e_acute("\xC3\xA9");
  struct Case {
    const char* name;
    QByteArray stored;
    QByteArray expected;
  };
  const Case cases[] = {
      {"exactly 1024 bytes with the NUL last", a1023 + '\0', a1023},
      {"1024 bytes without a NUL", a1023 + 'b', a1023},
      {"far longer than the buffer", QByteArray(3000, 'c'), QByteArray(1023, 'c')},
      {"text after an inner NUL is ignored", QByteArray("/x/gogo\0junk", 12), "/x/gogo"},
      {"no NUL at all", "/no/nul", "/no/nul"},
      {"a character is not cut in half", QByteArray(1022, 'a') + e_acute + '\0',
       QByteArray(1022, 'a')},
      {"a single NUL is an empty path", QByteArray(1, '\0'), QByteArray()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Store(kLocation, c.stored);
    EXPECT_EQ(QFile::encodeName(ReadOptions(executable_).encoder_location), c.expected);
  }
}

TEST_F(SettingsTest, AnEmptyLocationValueGivesTheDefault) {
  Store(kLocation, QByteArray());
  EXPECT_EQ(ReadOptions(executable_).encoder_location, DefaultEncoderLocation(executable_));
}

TEST_F(SettingsTest, MalformedFlagsTakeTheirDefaults) {
  const QByteArray malformed[] = {QByteArray(), QByteArray(2, '\1'), QByteArray(1, '\2'),
                                  QByteArray("true")};
  for (const QByteArray& value : malformed) {
    SCOPED_TRACE(value.toHex().toStdString());
    // Stored values opposite to the defaults show whether the malformed one was taken.
    Store("user.dont_close_on_add", value);
    Store("user.dont_clear_on_open", value);
    Store("user.self_register_mime_type", value);
    const Settings read = ReadOptions(executable_);
    EXPECT_FALSE(read.dont_close_on_add);
    EXPECT_FALSE(read.dont_clear_on_open);
    EXPECT_TRUE(read.self_register_mime_type);
  }
}

TEST_F(SettingsTest, AnOverlongPathIsStoredCutToTheBuffer) {
  const QString long_path = QStringLiteral("/") + QString(2000, QLatin1Char('p'));
  ASSERT_TRUE(WriteOptions(executable_, Record(long_path, false, false, true)));
  EXPECT_EQ(xattrs::Read(executable_, kLocation, 4096).value.size(), 1024);
  EXPECT_EQ(ReadOptions(executable_).encoder_location, long_path.left(1023));
}

TEST_F(SettingsTest, AMissingExecutableGivesDefaultsAndCannotBeWritten) {
  const QString missing = folder_.filePath(QStringLiteral("gone/zavrik"));
  const Settings read = ReadOptions(missing);
  EXPECT_EQ(read.encoder_location, DefaultEncoderLocation(missing));
  EXPECT_TRUE(read.self_register_mime_type);
  EXPECT_FALSE(CanWriteOptions(missing));
  EXPECT_FALSE(WriteOptions(missing, read));
}

TEST_F(SettingsTest, TheDefaultEncoderLiesBesideTheRealExecutable) {
  const QString link_folder = folder_.filePath(QStringLiteral("links"));
  ASSERT_TRUE(QDir().mkpath(link_folder));
  const QString link = link_folder + QStringLiteral("/zavrik");
  ASSERT_TRUE(QFile::link(executable_, link));
  EXPECT_EQ(DefaultEncoderLocation(link), folder_.filePath(QStringLiteral("gogo")));
}

}  // namespace
