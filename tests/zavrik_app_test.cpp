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
#include "window/window_commands.h"

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
    app.SetSettingsFile(Path(QStringLiteral("config/zavrik/settings")));
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

  // An executable whose attributes cannot be written, like one a package installed as root, and
  // a settings file that cannot be written either.
  const QString blocked = WriteFile(QStringLiteral("<b>Datei</b>")) + QStringLiteral("/settings");
  app.SetExecutablePath(Path(QStringLiteral("gone/zavrik")));
  app.SetSettingsFile(blocked);
  app.ReadyToRun();
  const QLabel* notice = Find<QLabel>(QStringLiteral("SettingsNotice"));
  EXPECT_FALSE(notice->isHidden());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("nicht gespeichert")));
  EXPECT_TRUE(notice->text().contains(blocked));
  EXPECT_EQ(notice->textFormat(), Qt::PlainText);
}

// Two check boxes changed, "Beenden", started again: both still changed, though this user may not
// write the executable (as after installing the package).
TEST_F(ZavrikAppTest, SettingsOfAnExecutableThatCannotBeWrittenAreKeptForTheUser) {
  const QString installed = Path(QStringLiteral("gone/zavrik"));
  app.SetExecutablePath(installed);
  app.ReadyToRun();
  EXPECT_TRUE(Find<QLabel>(QStringLiteral("SettingsNotice"))->isHidden());
  Find<QCheckBox>(QStringLiteral("DontCloseOnAdd"))->click();
  Find<QCheckBox>(QStringLiteral("SelfRegisterMIMEType"))->click();
  ASSERT_TRUE(test_support::WaitUntil([&] { return !app.settings.self_register_mime_type; }));
  app.main_window->close();

  app.ReadyToRun();
  EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("DontCloseOnAdd"))->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("DontClearOnOpen"))->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("SelfRegisterMIMEType"))->isChecked());
  EXPECT_TRUE(QFile::exists(Path(QStringLiteral("config/zavrik/settings"))));
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

// What the presenter is handed, in one text: identifier, text, buttons, icon and details.
std::string Shown(const Alert& alert) {
  return QStringLiteral("%1\n%2\n[%3] %4\n%5")
      .arg(alert.id, alert.text, alert.buttons.join(QStringLiteral("] [")),
           alert.kind == Alert::Kind::Stop ? QStringLiteral("stop") : QStringLiteral("info"),
           alert.details)
      .toStdString();
}

// Every alert Zavrik shows, each raised where it arises, exactly as the presenter gets it.
TEST_F(ZavrikAppTest, EveryAlertSaysExactlyWhatItShould) {
  StartQuietly();
  alerts.answer = 1;  // the about box's "Schließen"
  qputenv("FAKE_ENCODER_LOG", QFile::encodeName(Path(QStringLiteral("encoder.log"))));
  const auto window = [this](const Message& message) { app.main_window->MessageReceived(message); };
  const auto encode = [this, window](const QString& encoder, const QString& file) {
    window_test::ListOf(*app.main_window)->Clear();
    app.MessageReceived(WithRefs(command::kRefsReceived, {WriteFile(file)}));
    app.settings.encoder_location = encoder;
    window(Message(command::kEncode));
  };
  const auto save_as = [this](const QString& name) {
    Message save(command::kSavePanel);
    save.AddRef(QStringLiteral("directory"), folder.path());
    save.AddString(QStringLiteral("name"), name);
    app.MessageReceived(save);
  };
  // Sets an environment variable while the command runs.
  const auto with_env = [](const char* name, const QString& value,
                           const std::function<void()>& run) {
    const QByteArray old = qgetenv(name);
    qputenv(name, QFile::encodeName(value));
    run();
    qputenv(name, old);
  };
  const QString missing = Path(QStringLiteral("fehlt/gogo"));
  const QString failing = Path(QStringLiteral("fail.wav"));
  const QString system_types = Path(QStringLiteral("system"));
  window_test::WriteFileIn(folder, QStringLiteral("system/mime/types"), "text/x-Zavrik-list\n");
  const QStringList ok = {QStringLiteral("OK")};
  const QStringList all_right = {QStringLiteral("In Ordnung")};
  const auto stop = Alert::Kind::Stop;
  const auto info = Alert::Kind::Info;
  // Handed names a list line cannot hold: five fit the text, a sixth sends all to the details.
  QStringList broken_names;
  QStringList refused_lines;
  for (int i = 1; i <= 6; ++i) {
    broken_names << WriteFile(QStringLiteral("zwei\nZeilen %1.wav").arg(i));
    refused_lines << Path(QStringLiteral("zwei\\nZeilen %1.wav").arg(i)) +
                         " – der Name enthält einen Zeilenumbruch, den eine Listendatei nicht "
                         "speichern kann.";
  }
  Message not_utf8(command::kNamesNotUtf8);
  not_utf8.AddRef(QStringLiteral("names"), QStringLiteral("/w/caf\\xe9.wav"));

  struct Case {
    std::function<void()> raise;
    Alert expected;
  };
  const QList<Case> cases = {
      {[&] { encode(missing, QStringLiteral("a.wav")); },
       {"EncodeFailed",
        missing + " nicht gefunden. Gehen Sie bitte zu den Programmoptionen und sorgen Sie dafür, "
                  "dass das Feld \"Pfad zu Gogo:\" direkt auf Gogo oder einen Link darauf "
                  "verweist (nicht auf das Gogo-Verzeichnis).",
        ok, stop}},
      {[&] { encode(WriteFile(QStringLiteral("kein-programm")), QStringLiteral("a.wav")); },
       {"LaunchFailed",
        "Irgendetwas schlechtes passierte beim Versuch, Gogo zu starten. Sorgen Sie dafür, dass "
        "Gogo ist, wo es sein soll und nicht läuft und versuchen Sie es noch einmal.",
        ok, stop}},
      {[&] { encode(QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder"), "fail.wav"); },
       {"RunFailures", "1 von 1 Datei konnte nicht kodiert werden.", ok, stop,
        failing + "\nfake: Eingabe kaputt"}},
      {[&] { window(Message(command::kReadme)); },
       {"ReadmeDialog", "Liesmich-Datei nicht gefunden!", ok, stop}},
      {[&] { save_as(QStringLiteral("bin")); },  // a folder in the way
       {"SaveOpenError",
        "Ausgabedatei kann nicht erstellt oder geöffnet werden. Sorgen Sie dafür, dass die Datei "
        "sich nicht auf einer Nur-Lesen-Festplatte befindet oder dass die Datei, die Sie "
        "überschreiben möchten, von keiner anderen Anwendung benutzt wird.",
        ok, stop}},
      {[&] {
         const test_support::FileSizeLimit full_disk(0);
         save_as(QStringLiteral("liste.zvk"));
       },
       {"SaveWriteError", "Ausgabedatei kann nicht geschrieben werden. Ist die Festplatte voll?",
        ok, stop}},
      {[&] { app.MessageReceived(WithRefs(command::kOpenPanel, {folder.path()})); },
       {"OpenOpenError",
        "Eingabedatei kann nicht geöffnet werden. Sorgen Sie dafür, dass Sie Zugriff auf die "
        "Datei haben.",
        ok, stop}},
      {[&] { window(Message(command::kRegisterMimeTypeNow)); },
       {"MimeInstalled", "MIME-Typ erfolgreich installiert.", all_right, info}},
      {[&] { window(Message(command::kRegisterMimeTypeNow)); },
       {"MimeInstalled", "MIME-Typ war bereits installiert.", all_right, info}},
      {[&] { window(Message(command::kUnregisterMimeTypeNow)); },
       {"MimeDeleted", "MIME-Typ erfolgreich gelöscht.", all_right, info}},
      {[&] { window(Message(command::kUnregisterMimeTypeNow)); },
       {"MimeDeleted", "MIME-Typ kann nicht gelöscht werden; er war nicht installiert.", all_right,
        info}},
      {[&] {
         with_env("PATH", "/nirgends", [&] { window(Message(command::kRegisterMimeTypeNow)); });
       },
       {"MimeInstalled", "Fehler beim Installieren des MIME-Typs.", all_right, info}},
      {[&] {
         with_env("XDG_DATA_DIRS", system_types,
                  [&] { window(Message(command::kUnregisterMimeTypeNow)); });
       },
       {"MimeDeleted", "Fehler beim Löschen des MIME-Typs.", all_right, info}},
      {[&] { app.MessageReceived(not_utf8); },
       {"FilesRefused",
        "Diese Datei wurde nicht in die Liste aufgenommen:\n/w/caf\\xe9.wav – der Name ist kein "
        "gültiger UTF-8-Text.",
        ok, stop}},
      {[&] { app.MessageReceived(WithRefs(command::kRefsReceived, broken_names.mid(0, 5))); },
       {"FilesRefused",
        "Diese 5 Dateien wurden nicht in die Liste aufgenommen:\n" +
            refused_lines.mid(0, 5).join(QLatin1Char('\n')),
        ok, stop}},
      {[&] { app.MessageReceived(WithRefs(command::kRefsReceived, broken_names)); },
       {"FilesRefused",
        "Diese 6 Dateien wurden nicht in die Liste aufgenommen:\n" +
            refused_lines.mid(0, 5).join(QLatin1Char('\n')) + "\n… und 1 weitere (siehe Details).",
        ok, stop, refused_lines.join(QLatin1Char('\n'))}},
      {[&] { app.MessageReceived(Message(command::kAboutRequested)); },
       {"AboutDialog",
        AboutText(BuiltInAboutDetails()),
        {QStringLiteral("Gehe zur Site"), QStringLiteral("Schließen")},
        info}},
  };
  for (const Case& test : cases) {
    alerts.shown.clear();
    test.raise();
    ASSERT_TRUE(test_support::WaitUntil([&] { return !alerts.shown.isEmpty(); }))
        << test.expected.id.toStdString();
    EXPECT_EQ(Shown(alerts.shown.at(0)), Shown(test.expected));
    EXPECT_EQ(alerts.shown.size(), 1) << test.expected.id.toStdString();
  }
  qunsetenv("FAKE_ENCODER_LOG");
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
  ASSERT_EQ(alerts.shown.size(), 1);
  const Alert& about = alerts.shown.at(0);
  EXPECT_TRUE(about.text.startsWith(QStringLiteral("Zavrik 1.2a (Deutsch)\n")));
  // The second line is the rights notice: never empty, free software says so.
  EXPECT_FALSE(BuiltInAboutDetails().rights_notice.isEmpty());
  EXPECT_EQ(about.text.section(QLatin1Char('\n'), 1, 1), BuiltInAboutDetails().rights_notice);
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
  qputenv("XDG_RUNTIME_DIR", root + "/runtime");
  for (const char* sub : {"/.local/share", "/.config", "/.cache", "/system-share", "/runtime"}) {
    QDir().mkpath(home.path() + QString::fromLatin1(sub));
  }
  // The toolkit takes a runtime folder only if it is the user's alone; else it makes one in the
  // temporary folder and leaves it there.
  QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ZavrikApp app(argc, argv);
  g_app = &app;
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  g_app = nullptr;
  return result;
}
