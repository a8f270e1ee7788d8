// The application object: start-up, routing, the about box, MIME buttons and saving the
// settings. ZavrikApp is the QApplication itself, so this program brings its own main().
#include "app/zavrik_app.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/about_text.h"
#include "app/mime_registration.h"
#include "app/options_commands.h"
#include "encode/run_commands.h"
#include "encoder_options/encoder_commands.h"
#include "files/files_commands.h"
#include "files/list_file.h"
#include "main_window_fixture.h"
#include "platform/system_messages.h"

namespace {

ZavrikApp* g_app = nullptr;

using window_test::ProcessGone;
using window_test::ReadEncoderLog;
using window_test::RecordingAlerts;
using window_test::UrlRecorder;
using window_test::WithRefs;

class ZavrikAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    // A stand-in executable: the settings land on its attributes, never on a real program's.
    executable = WriteFile(QStringLiteral("bin/zavrik"), "#!/bin/false\n");
    app.SetExecutablePath(executable);
    app.SetAlertPresenter(&alerts);
  }

  void TearDown() override {
    app.main_window.reset();
    app.launch_refs.clear();
    app.SetAlertPresenter(nullptr);
    UninstallListMimeType();
  }

  QString Path(const QString& name) const { return folder.filePath(name); }

  QString WriteFile(const QString& name, const QByteArray& content = "RIFF") const {
    return window_test::WriteFileIn(folder, name, content);
  }
  QStringList Entries() const { return window_test::Entries(*app.main_window); }
  template <typename Widget>
  Widget* Find(const QString& name) const {
    return window_test::FindIn<Widget>(*app.main_window, name);
  }

  // Starts without installing the list type, so each test begins from a known database.
  void StartQuietly() {
    Settings stored;
    stored.encoder_location = QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder");
    stored.self_register_mime_type = false;
    ASSERT_TRUE(WriteOptions(executable, stored));
    app.ReadyToRun();
  }

  ZavrikApp& app = *g_app;
  QTemporaryDir folder;
  QString executable;
  RecordingAlerts alerts;
};

TEST(AboutTextTest, LinesWithoutAValueAreLeftOut) {
  struct Case {
    AboutDetails details;
    QString expected;
  };
  const QString built = QStringLiteral("Oct 11 2002 16:26:56");
  const QList<Case> cases = {
      {{QStringLiteral("(c) R"), QStringLiteral("a@b"), QStringLiteral("https://w"),
        QStringLiteral("T"), QStringLiteral("t@b"), built},
       QStringLiteral("Zavrik 1.2a (Deutsch)\n(c) R\n\n\n\nE-Mail: a@b\nWeb: https://w\n\n"
                      "Deutsche Übersetzung von T\nE-Mail: t@b\n\nKompiliert am ") +
           built},
      {{{}, {}, {}, {}, {}, built},
       QStringLiteral("Zavrik 1.2a (Deutsch)\n\nKompiliert am ") + built},
      {{{}, {}, QStringLiteral("https://w"), QStringLiteral("T"), {}, built},
       QStringLiteral("Zavrik 1.2a (Deutsch)\n\n\n\nWeb: https://w\n\nDeutsche Übersetzung von "
                      "T\n\nKompiliert am ") +
           built},
  };
  for (const Case& test : cases) EXPECT_EQ(AboutText(test.details), test.expected);
}

TEST(AboutTextTest, BuildTimeHasTheFormOfOct112002) {
  EXPECT_EQ(BuildTimeText("Oct 11 2002", "16:26:56"), QStringLiteral("Oct 11 2002 16:26:56"));
  EXPECT_EQ(BuildTimeText("Oct  1 2002", "06:05:04"), QStringLiteral("Oct 1 2002 06:05:04"));
  EXPECT_TRUE(BuiltInAboutDetails().build_time.contains(
      QRegularExpression(QStringLiteral("^[A-Z][a-z]{2} \\d{1,2} \\d{4} \\d{2}:\\d{2}:\\d{2}$"))));
}

TEST(AboutTextTest, TheSiteIsTheWebAddressOrElseThePageBesideTheExecutable) {
  struct Case {
    QString web_address;
    QString executable;
    QUrl expected;
  };
  const QList<Case> cases = {
      {QStringLiteral("https://w.example/z"), QStringLiteral("/opt/z/zavrik"),
       QUrl(QStringLiteral("https://w.example/z"))},
      {{}, QStringLiteral("/opt/z/zavrik"), QUrl(QStringLiteral("file:///opt/z/zavrik.html"))},
      {{},
       QStringLiteral("/opt/Mein Z #1/zavrik"),
       QUrl(QStringLiteral("file:///opt/Mein%20Z%20%231/zavrik.html"))},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(SiteUrl(test.web_address, test.executable), test.expected)
        << test.executable.toStdString();
  }
}

TEST_F(ZavrikAppTest, FirstStartTakesTheDefaultsAndInstallsTheListTypeSilently) {
  ASSERT_FALSE(IsListMimeTypeInstalled());
  app.ReadyToRun();
  EXPECT_EQ(app.settings.encoder_location, Path(QStringLiteral("bin/gogo")));
  EXPECT_FALSE(app.settings.dont_close_on_add);
  EXPECT_FALSE(app.settings.dont_clear_on_open);
  EXPECT_TRUE(app.settings.self_register_mime_type);
  EXPECT_TRUE(IsListMimeTypeInstalled());
  EXPECT_TRUE(alerts.shown.isEmpty());
  EXPECT_TRUE(app.main_window->isVisible());
  EXPECT_TRUE(Entries().isEmpty());
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("EncoderLocation"))->text(),
            Path(QStringLiteral("bin/gogo")));
}

TEST_F(ZavrikAppTest, StoredSettingsAreShownAndAnUntickedSelfRegistrationInstallsNothing) {
  Settings stored;
  stored.encoder_location = QStringLiteral("/opt/enc/gogo");
  stored.dont_close_on_add = true;
  stored.dont_clear_on_open = true;
  stored.self_register_mime_type = false;
  ASSERT_TRUE(WriteOptions(executable, stored));
  app.ReadyToRun();
  EXPECT_EQ(app.settings.encoder_location, stored.encoder_location);
  EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("DontCloseOnAdd"))->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("DontClearOnOpen"))->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("SelfRegisterMIMEType"))->isChecked());
  EXPECT_FALSE(IsListMimeTypeInstalled());
}

TEST_F(ZavrikAppTest, SettingsThatCannotBeKeptAreAnnouncedInTheOptionsTab) {
  StartQuietly();
  EXPECT_TRUE(Find<QLabel>(QStringLiteral("SettingsNotice"))->isHidden());

  // An executable whose attributes cannot be written, like one a package installed as root.
  app.SetExecutablePath(Path(QStringLiteral("gone/zavrik")));
  app.ReadyToRun();
  const QLabel* notice = Find<QLabel>(QStringLiteral("SettingsNotice"));
  EXPECT_FALSE(notice->isHidden());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("nicht gespeichert")));
}

TEST_F(ZavrikAppTest, FilesStartedWithAreSortedLikeHandedFiles) {
  const QString wave = WriteFile(QStringLiteral("a.wav"));
  const QString other_wave = WriteFile(QStringLiteral("b.wav"));
  const QString list = Path(QStringLiteral("l.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/m/1.wav")}), ListSaveResult::Saved);
  struct Case {
    QStringList started_with;
    QStringList expected;
  };
  const QList<Case> cases = {
      {{list}, {QStringLiteral("/m/1.wav")}},
      {{wave, list, other_wave}, {QStringLiteral("/m/1.wav")}},
      {{wave, other_wave}, {wave, other_wave}},
      {{}, {}},
  };
  for (const Case& test : cases) {
    app.main_window.reset();  // launching anew
    app.RefsReceived(WithRefs(command::kRefsReceived, test.started_with));
    StartQuietly();
    EXPECT_EQ(Entries(), test.expected) << test.started_with.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(app.launch_refs.isEmpty());
  }
}

TEST_F(ZavrikAppTest, PanelResultsAndHandedFilesReachTheMainWindow) {
  StartQuietly();
  const QString wave = WriteFile(QStringLiteral("a.wav"));
  app.MessageReceived(WithRefs(command::kRefsReceived, {wave}));
  EXPECT_EQ(Entries(), QStringList({wave}));

  Message save(command::kSavePanel);
  save.AddRef(QStringLiteral("directory"), folder.path());
  save.AddString(QStringLiteral("name"), QStringLiteral("saved.zvk"));
  app.MessageReceived(save);
  EXPECT_EQ(ReadListFile(Path(QStringLiteral("saved.zvk"))), QStringList({wave}));

  app.MessageReceived(Message(command::kNewList));  // a window command: not routed
  EXPECT_EQ(Entries(), QStringList({wave}));
  window_test::ListOf(*app.main_window)->Clear();
  app.MessageReceived(WithRefs(command::kOpenPanel, {Path(QStringLiteral("saved.zvk"))}));
  EXPECT_EQ(Entries(), QStringList({wave}));

  app.MessageReceived(WithRefs(command::kEncoderPathPanel, {wave}));
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("EncoderLocation"))->text(), wave);

  Message directory(command::kEncoderOptions);
  directory.AddInt32(QStringLiteral("encoder_what"), int32_t(command::kOutputDirPanel));
  directory.AddRef(QStringLiteral("refs"), folder.path());
  app.MessageReceived(directory);
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("OutputDirText"))->text(), folder.path());
  EXPECT_TRUE(alerts.shown.isEmpty());

  // Handed names that are no UTF-8 could not be taken: the user learns which.
  Message not_utf8(command::kNamesNotUtf8);
  not_utf8.AddRef(QStringLiteral("names"), QStringLiteral("/w/caf\\xe9.wav"));
  app.MessageReceived(not_utf8);
  ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("FilesRefused")}));
  EXPECT_EQ(alerts.shown.at(0).text,
            QStringLiteral("Diese Datei wurde nicht in die Liste aufgenommen:\n/w/caf\\xe9.wav – "
                           "der Name ist kein gültiger UTF-8-Text."));
}

TEST_F(ZavrikAppTest, ClosingTheWindowStoresTheSettingsOnTheExecutable) {
  StartQuietly();
  Find<QCheckBox>(QStringLiteral("DontCloseOnAdd"))->click();
  Find<QCheckBox>(QStringLiteral("DontClearOnOpen"))->click();
  Find<QLineEdit>(QStringLiteral("EncoderLocation"))->setText(QStringLiteral("/neu/gogo"));
  ASSERT_TRUE(test_support::WaitUntil(
      [&] { return app.settings.encoder_location == QStringLiteral("/neu/gogo"); }));
  EXPECT_EQ(ReadOptions(executable).encoder_location,
            QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder"));

  app.main_window->close();
  const Settings stored = ReadOptions(executable);
  EXPECT_EQ(stored.encoder_location, QStringLiteral("/neu/gogo"));
  EXPECT_TRUE(stored.dont_close_on_add);
  EXPECT_TRUE(stored.dont_clear_on_open);
  EXPECT_FALSE(stored.self_register_mime_type);
}

TEST_F(ZavrikAppTest, MimeButtonsReportEveryOutcome) {
  StartQuietly();
  auto* install = Find<QPushButton>(QStringLiteral("RegisterMIMETypeNow"));
  auto* remove = Find<QPushButton>(QStringLiteral("UnregisterMIMETypeNow"));
  const QList<std::pair<QPushButton*, QString>> clicks = {
      {install, QStringLiteral("MIME-Typ erfolgreich installiert.")},
      {install, QStringLiteral("MIME-Typ war bereits installiert.")},
      {remove, QStringLiteral("MIME-Typ erfolgreich gelöscht.")},
      {remove, QStringLiteral("MIME-Typ kann nicht gelöscht werden; er war nicht installiert.")},
  };
  for (const auto& [button, text] : clicks) {
    const qsizetype shown = alerts.shown.size();
    button->click();
    ASSERT_TRUE(test_support::WaitUntil([&] { return alerts.shown.size() == shown + 1; }));
    EXPECT_EQ(alerts.shown.last().id,
              button == install ? QStringLiteral("MimeInstalled") : QStringLiteral("MimeDeleted"));
    EXPECT_EQ(alerts.shown.last().text, text);
  }
  EXPECT_FALSE(app.settings.self_register_mime_type);
}

TEST_F(ZavrikAppTest, AboutBoxShowsTheProgramAndItsBuildTime) {
  StartQuietly();
  UrlRecorder viewer;
  for (const QString& scheme :
       {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")}) {
    QDesktopServices::setUrlHandler(scheme, &viewer, "Open");
  }
  alerts.answer = 0;  // "Gehe zur Site"
  app.MessageReceived(Message(command::kAboutRequested));
  for (const QString& scheme :
       {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")}) {
    QDesktopServices::unsetUrlHandler(scheme);
  }
  ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("AboutDialog")}));
  const Alert& about = alerts.shown.at(0);
  EXPECT_EQ(about.buttons,
            QStringList({QStringLiteral("Gehe zur Site"), QStringLiteral("Schließen")}));
  EXPECT_TRUE(about.text.startsWith(QStringLiteral("Zavrik 1.2a (Deutsch)\n")));
  EXPECT_TRUE(
      about.text.endsWith(QStringLiteral("Kompiliert am ") + BuiltInAboutDetails().build_time));
  // No line is left with a label and no value, whether or not the build gave the details.
  EXPECT_FALSE(about.text.contains(QRegularExpression(QStringLiteral(": *(\n|$)"))));

  // "Gehe zur Site" opens something real even when the build gave no web address.
  const QString web_address = BuiltInAboutDetails().web_address;
  EXPECT_EQ(viewer.opened,
            QList<QUrl>({web_address.isEmpty()
                             ? QUrl::fromLocalFile(Path(QStringLiteral("bin/zavrik.html")))
                             : QUrl::fromUserInput(web_address)}));
  EXPECT_TRUE(QFile::exists(QStringLiteral(ZAVRIK_PROGRAM_DIR "/zavrik.html")))
      << "the build tree has the page beside zavrik";
}

TEST_F(ZavrikAppTest, OnlyTheEndOfTheLaunchedEncoderAdvancesTheRun) {
  const QString log = Path(QStringLiteral("encoder.log"));
  qputenv("FAKE_ENCODER_LOG", QFile::encodeName(log));
  qputenv("FAKE_ENCODER_MODE", "wait");
  StartQuietly();
  app.MessageReceived(WithRefs(command::kRefsReceived, {WriteFile(QStringLiteral("1.wav")),
                                                        WriteFile(QStringLiteral("2.wav"))}));
  app.main_window->MessageReceived(Message(command::kEncode));
  ASSERT_TRUE(test_support::WaitUntil([&] { return ReadEncoderLog(log).size() == 1; }));
  const qint64 encoder_pid = ReadEncoderLog(log).at(0).pid;

  // Notices of another process from the same executable, or without a process id, are dropped.
  Message other(command::kSomeAppQuit);
  other.AddRef(QStringLiteral("be:ref"), app.main_window->run().encoder_ref());
  other.AddInt32(QStringLiteral("pid"), int32_t(getpid()));
  app.MessageReceived(other);
  Message without_pid(command::kSomeAppQuit);
  without_pid.AddRef(QStringLiteral("be:ref"), app.main_window->run().encoder_ref());
  app.MessageReceived(without_pid);
  EXPECT_EQ(app.main_window->run().file_index(), 1);

  kill(pid_t(encoder_pid), SIGTERM);
  ASSERT_TRUE(test_support::WaitUntil([&] { return ReadEncoderLog(log).size() == 2; }));
  const qint64 second_pid = ReadEncoderLog(log).at(1).pid;
  kill(pid_t(second_pid), SIGTERM);
  EXPECT_TRUE(test_support::WaitUntil([&] { return !app.main_window->run().encoding(); }));
  EXPECT_TRUE(ProcessGone(second_pid));
  qunsetenv("FAKE_ENCODER_LOG");
  qunsetenv("FAKE_ENCODER_MODE");
}

}  // namespace

int main(int argc, char** argv) {
  // HOME, the XDG folders and the MIME database folders of this program live in a temporary
  // folder, so nothing of the real home or of the system's database plays a part.
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  const QByteArray root = QFile::encodeName(home.path());
  qputenv("HOME", root);
  qputenv("XDG_DATA_HOME", root + "/.local/share");
  qputenv("XDG_CONFIG_HOME", root + "/.config");
  qputenv("XDG_CACHE_HOME", root + "/.cache");
  qputenv("XDG_DATA_DIRS", root + "/system-share");
  for (const char* sub : {"/.local/share", "/.config", "/.cache", "/system-share"}) {
    QDir().mkpath(home.path() + QString::fromLatin1(sub));
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ZavrikApp app(argc, argv);
  g_app = &app;
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  g_app = nullptr;
  return result;
}
