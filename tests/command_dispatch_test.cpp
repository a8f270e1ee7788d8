// The main window's own commands, what it hands to the application, codes nobody knows, and
// the sorting of handed files. The tabs' commands are tested with their tabs.
#include <QDesktopServices>
#include <QUrl>

#include "app/options_commands.h"
#include "files/list_file.h"
#include "main_window_fixture.h"
#include "platform/system_messages.h"
#include "window/window_commands.h"

namespace {

using window_test::MainWindowTest;
using window_test::UrlRecorder;
using window_test::WithRefs;

using CommandDispatchTest = MainWindowTest;

TEST_F(CommandDispatchTest, HandedFilesAreAddedUntilTheFirstListFileWhichIsOpened) {
  const QString wave = WriteFile(QStringLiteral("a.wav"));
  const QString later_wave = WriteFile(QStringLiteral("b.wav"));
  const QString list = Path(QStringLiteral("list.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}),
            ListSaveResult::Saved);
  const QString list_link = Path(QStringLiteral("list-link"));
  QFile::link(list, list_link);
  // List records, but no type attribute, no ".zvk" and no header: an input file like others.
  const QString untyped = WriteFile(QStringLiteral("records.txt"), "0;/m/1.wav\n");
  QDir().mkpath(Path(QStringLiteral("folder")));
  const QString missing = Path(QStringLiteral("missing.wav"));
  const QStringList list_entries = {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")};
  // A saved list would hold this name as two records.
  const QString broken = WriteFile(QStringLiteral("zwei\nZeilen.wav"));

  struct Case {
    const char* what;
    QStringList refs;
    bool dont_clear_on_open;
    QStringList expected;
    QString alert_text = {};
  };
  const QList<Case> cases = {
      {"wave, list, wave", {wave, list, later_wave}, false, list_entries},
      {"kept entries", {wave, list, later_wave}, true, QStringList{wave} + list_entries},
      {"link to a list", {list_link}, false, list_entries},
      {"untyped records", {untyped}, false, {untyped}},
      {"folder", {Path(QStringLiteral("folder"))}, false, {Path(QStringLiteral("folder"))}},
      {"unresolvable", {missing, wave}, false, {wave}},
      {"a name with a line break",
       {wave, broken, later_wave},
       false,
       {wave, later_wave},
       QStringLiteral("Diese Datei wurde nicht in die Liste aufgenommen:\n") +
           Path(QStringLiteral("zwei\\n")) +
           QStringLiteral("Zeilen.wav – der Name enthält einen Zeilenumbruch, den eine "
                          "Listendatei nicht speichern kann.")},
  };
  for (const Case& test : cases) {
    List()->Clear();
    alerts.shown.clear();
    settings.dont_clear_on_open = test.dont_clear_on_open;
    window->RefsReceived(WithRefs(command::kRefsReceived, test.refs));
    EXPECT_EQ(Entries(), test.expected) << test.what;
    if (test.alert_text.isEmpty()) {
      EXPECT_TRUE(alerts.shown.isEmpty()) << test.what;
    } else {
      ASSERT_EQ(alerts.Ids(), QStringList({QStringLiteral("FilesRefused")})) << test.what;
      EXPECT_EQ(alerts.shown.at(0).text, test.alert_text);
    }
  }
}

TEST_F(CommandDispatchTest, ReadmeBesideTheExecutableIsOpenedAndItsAbsenceReported) {
  UrlRecorder viewer;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "Open");

  window->MessageReceived(Message(command::kReadme));
  EXPECT_EQ(alerts.Ids(), QStringList({QStringLiteral("ReadmeDialog")}));
  EXPECT_EQ(alerts.shown.at(0).text, QStringLiteral("Liesmich-Datei nicht gefunden!"));
  EXPECT_TRUE(viewer.opened.isEmpty());

  const QString readme = WriteFile(QStringLiteral("bin/readme"), "Liesmich");
  window->MessageReceived(Message(command::kReadme));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(viewer.opened, QList<QUrl>({QUrl::fromLocalFile(readme)}));
  EXPECT_EQ(alerts.shown.size(), 1);
}

TEST_F(CommandDispatchTest, MimeButtonsAndClosingGoToTheApplication) {
  window->MessageReceived(Message(command::kRegisterMimeTypeNow));
  window->MessageReceived(Message(command::kUnregisterMimeTypeNow));
  EXPECT_EQ(application.calls, QStringList({QStringLiteral("RegisterMIMEType(1)"),
                                            QStringLiteral("UnregisterMIMEType")}));

  application.calls.clear();
  window->MessageReceived(Message(command::kClose));
  // The settings are saved before the application is told to end.
  EXPECT_EQ(application.calls,
            QStringList({QStringLiteral("WriteOptions"), QStringLiteral("Quit")}));
  EXPECT_FALSE(window->isVisible());
}

TEST_F(CommandDispatchTest, UnknownCodesChangeNothing) {
  List()->AddFile(QStringLiteral("/m/a.wav"));
  const Settings before = settings;
  for (const uint32_t what :
       {FourCharCode("XXXX"), command::kAboutRequested, command::kSomeAppQuit, uint32_t(0)}) {
    window->MessageReceived(WithRefs(what, {Path(QStringLiteral("a.wav"))}));
  }
  EXPECT_EQ(Entries(), QStringList({QStringLiteral("/m/a.wav")}));
  EXPECT_EQ(settings.encoder_location, before.encoder_location);
  EXPECT_EQ(settings.dont_close_on_add, before.dont_close_on_add);
  EXPECT_EQ(settings.dont_clear_on_open, before.dont_clear_on_open);
  EXPECT_EQ(settings.self_register_mime_type, before.self_register_mime_type);
  EXPECT_TRUE(alerts.shown.isEmpty());
  EXPECT_TRUE(application.calls.isEmpty());
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
