// The main window's command handlers and the sorting of handed files.
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QUrl>
#include <optional>

#include "app/options_commands.h"
#include "app/options_view.h"
#include "files/files_commands.h"
#include "files/files_view.h"
#include "files/list_file.h"
#include "main_window_fixture.h"
#include "platform/file_panel.h"
#include "platform/system_messages.h"
#include "window/tab_view.h"
#include "window/window_commands.h"

namespace {

using window_test::MainWindowTest;
using window_test::WithRefs;

class UrlRecorder : public QObject {
  Q_OBJECT

 public Q_SLOTS:
  void Open(const QUrl& url) { opened.append(url); }

 public:
  QList<QUrl> opened;
};

using CommandDispatchTest = MainWindowTest;

TEST_F(CommandDispatchTest, SavePanelResultJoinsFolderAndNameAndMissingFieldsSaveNothing) {
  List()->AddFile(QStringLiteral("/music/a.wav"));
  QDir().mkpath(Path(QStringLiteral("lists")));
  QFile::link(Path(QStringLiteral("lists")), Path(QStringLiteral("link")));
  struct Case {
    std::optional<QString> directory;
    std::optional<QString> name;
    std::optional<QString> saved_at;  // nothing: no file may appear
  };
  const QList<Case> cases = {
      {Path(QStringLiteral("lists")), QStringLiteral("x"), Path(QStringLiteral("lists/x"))},
      {Path(QStringLiteral("link")), QStringLiteral("y.zvk"), Path(QStringLiteral("lists/y.zvk"))},
      {std::nullopt, QStringLiteral("z"), std::nullopt},
      {Path(QStringLiteral("lists")), std::nullopt, std::nullopt},
      {Path(QStringLiteral("lists")), QString(), std::nullopt},
  };
  for (const Case& test : cases) {
    Message message(command::kSavePanel);
    if (test.directory) message.AddRef(QStringLiteral("directory"), *test.directory);
    if (test.name) message.AddString(QStringLiteral("name"), *test.name);
    const QStringList before = QDir(Path(QStringLiteral("lists"))).entryList(QDir::Files);
    window->MessageReceived(message);
    const QStringList after = QDir(Path(QStringLiteral("lists"))).entryList(QDir::Files);
    if (test.saved_at) {
      EXPECT_EQ(ReadListFile(*test.saved_at), QStringList({QStringLiteral("/music/a.wav")}));
    } else {
      EXPECT_EQ(after, before);
    }
  }
  EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(CommandDispatchTest, OpenPanelResultOpensTheChosenListAndWithoutRefsDoesNothing) {
  const QString list = Path(QStringLiteral("old.zvk"));
  ASSERT_EQ(SaveListFile(list, {QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}),
            ListSaveResult::Saved);
  List()->AddFile(QStringLiteral("/m/replaced.wav"));

  window->MessageReceived(Message(command::kOpenPanel));
  EXPECT_EQ(Entries(), QStringList({QStringLiteral("/m/replaced.wav")}));

  window->MessageReceived(WithRefs(command::kOpenPanel, {list}));
  EXPECT_EQ(Entries(), QStringList({QStringLiteral("/m/1.wav"), QStringLiteral("/m/2.wav")}));
}

TEST_F(CommandDispatchTest, PathPanelPutsALinksOwnPathIntoTheFieldAndTheSettings) {
  const QString encoder = WriteFile(QStringLiteral("real/gogo"));
  const QString link = Path(QStringLiteral("gogo-link"));
  ASSERT_TRUE(QFile::link(encoder, link));

  window->MessageReceived(WithRefs(command::kEncoderPathPanel, {link}));
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("EncoderLocation"))->text(), link);
  // The field's own change message carries the path on into the settings.
  EXPECT_TRUE(test_support::WaitUntil([&] { return settings.encoder_location == link; }));

  window->MessageReceived(Message(command::kEncoderPathPanel));
  EXPECT_EQ(Find<QLineEdit>(QStringLiteral("EncoderLocation"))->text(), link);
}

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

  struct Case {
    const char* what;
    QStringList refs;
    bool dont_clear_on_open;
    QStringList expected;
  };
  const QList<Case> cases = {
      {"wave, list, wave", {wave, list, later_wave}, false, list_entries},
      {"kept entries", {wave, list, later_wave}, true, QStringList{wave} + list_entries},
      {"link to a list", {list_link}, false, list_entries},
      {"untyped records", {untyped}, false, {untyped}},
      {"folder", {Path(QStringLiteral("folder"))}, false, {Path(QStringLiteral("folder"))}},
      {"unresolvable", {missing, wave}, false, {wave}},
  };
  for (const Case& test : cases) {
    List()->Clear();
    settings.dont_clear_on_open = test.dont_clear_on_open;
    window->RefsReceived(WithRefs(command::kRefsReceived, test.refs));
    EXPECT_EQ(Entries(), test.expected) << test.what;
  }
  EXPECT_TRUE(alerts.shown.isEmpty());
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

TEST_F(CommandDispatchTest, CheckBoxesSetTheirFlagExactlyWhenTicked) {
  struct Case {
    const char* box;
    uint32_t what;
    bool Settings::*flag;
  };
  const QList<Case> cases = {
      {"DontCloseOnAdd", command::kDontCloseOnAdd, &Settings::dont_close_on_add},
      {"DontClearOnOpen", command::kDontClearOnOpen, &Settings::dont_clear_on_open},
      {"SelfRegisterMIMEType", command::kSelfRegisterMimeType, &Settings::self_register_mime_type},
  };
  for (const Case& test : cases) {
    auto* box = Find<QCheckBox>(QString::fromLatin1(test.box));
    for (const bool ticked : {true, false, true, false}) {
      const QSignalBlocker quiet(box);
      box->setChecked(ticked);
      settings.*test.flag = !ticked;
      window->MessageReceived(Message(test.what));
      EXPECT_EQ(settings.*test.flag, ticked) << test.box;
    }
  }
}

TEST_F(CommandDispatchTest, EncoderLocationIsCutTo1023BytesBetweenCharacters) {
  const QString umlaut = QStringLiteral("ä");  // two bytes in UTF-8
  struct Case {
    QString text;
    QString expected;
  };
  const QList<Case> cases = {
      {QString(1023, QLatin1Char('a')), QString(1023, QLatin1Char('a'))},
      {QString(1024, QLatin1Char('a')), QString(1023, QLatin1Char('a'))},
      {QStringLiteral("/") + umlaut.repeated(600), QStringLiteral("/") + umlaut.repeated(511)},
      {QString(1022, QLatin1Char('a')) + umlaut, QString(1022, QLatin1Char('a'))},
      {QString(1020, QLatin1Char('a')) + QStringLiteral("😀"), QString(1020, QLatin1Char('a'))},
      {QString(), QString()},
  };
  auto* field = Find<QLineEdit>(QStringLiteral("EncoderLocation"));
  for (const Case& test : cases) {
    const QSignalBlocker quiet(field);
    field->setText(test.text);
    window->MessageReceived(Message(command::kEncoderLocationChanged));
    EXPECT_EQ(settings.encoder_location, test.expected) << test.text.size();
  }
}

TEST_F(CommandDispatchTest, AddFilesPanelFollowsDontCloseOnAddAtEveryShowing) {
  auto* panel = Find<FilePanel>(QStringLiteral("AddFilesPanel"));
  struct Case {
    bool dont_close_on_add;
    bool hide_when_done;
    QString cancel_label;
  };
  const QList<Case> cases = {{true, false, QStringLiteral("Schließen")},
                             {false, true, QStringLiteral("Abbrechen")},
                             {true, false, QStringLiteral("Schließen")}};
  for (const Case& test : cases) {
    settings.dont_close_on_add = test.dont_close_on_add;
    window->MessageReceived(Message(command::kAddFiles));
    ASSERT_NE(panel->Dialog(), nullptr);
    EXPECT_TRUE(panel->Dialog()->isVisible());
    EXPECT_EQ(panel->setup().hide_when_done, test.hide_when_done);
    EXPECT_EQ(panel->Dialog()->labelText(QFileDialog::Reject), test.cancel_label);
    panel->Dialog()->hide();
  }
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

#include "command_dispatch_test.moc"
