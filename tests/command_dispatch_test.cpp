// Every command code through the main window to its handler, codes nobody knows, and the
// sorting of handed files. The details of each command are tested with the part that owns it.
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QSemaphore>
#include <QSignalBlocker>
#include <QUrl>
#include <functional>

#include "app/options_commands.h"
#include "encode/run_commands.h"
#include "encoder_options/encoder_commands.h"
#include "files/files_commands.h"
#include "files/list_file.h"
#include "main_window_fixture.h"
#include "platform/file_panel.h"
#include "platform/system_messages.h"
#include "window/window_commands.h"

namespace {

using window_test::MainWindowTest;
using window_test::UrlRecorder;
using window_test::WithRefs;

using CommandDispatchTest = MainWindowTest;

// Each code of the window's dispatch table, one after another on one window: the effect is
// absent before the message and present after it, so a code that drops out of the switch fails.
TEST_F(CommandDispatchTest, EveryCommandReachesItsHandler) {
  UrlRecorder viewer;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "Open");
  const QString readme = WriteFile(QStringLiteral("bin/readme"), "Liesmich");
  qputenv("FAKE_ENCODER_MODE", "wait");
  qputenv("FAKE_ENCODER_LOG", QFile::encodeName(Path(QStringLiteral("encoder.log"))));
  for (const char* entry : {"/m/a.wav", "/m/b.wav", "/m/c.wav"}) {
    List()->AddFile(QString::fromLatin1(entry));
  }
  const auto entries = [this] { return Entries().join(QLatin1Char(' ')); };
  const auto select = [this](int row) {
    return [this, row] {
      List()->selectionModel()->select(List()->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect);
    };
  };
  const QString kShown = QStringLiteral("shown");
  const auto shown = [this, kShown](uint32_t panel_what) {
    return [this, kShown, panel_what] {
      for (const FilePanel* panel : window->findChildren<FilePanel*>()) {
        if (panel->setup().what == panel_what && panel->Dialog() && panel->Dialog()->isVisible()) {
          return kShown;
        }
      }
      return QString();
    };
  };
  // Turns the box over without its own command, which the test sends instead.
  const auto turn = [this](const char* name) {
    return [this, name] {
      auto* box = Find<QCheckBox>(QString::fromLatin1(name));
      const QSignalBlocker quiet(box);
      box->toggle();
    };
  };
  const auto flag = [](const bool& value) {
    return [&value] { return value ? QStringLiteral("set") : QStringLiteral("clear"); };
  };
  const auto text_of = [this](const char* name) {
    return [this, name] { return Find<QLineEdit>(QString::fromLatin1(name))->text(); };
  };
  const QString saved = Path(QStringLiteral("saved.zvk"));
  const auto saved_list = [saved] {
    return ReadListFile(saved).value_or(QStringList()).join(QLatin1Char(' '));
  };
  const auto calls = [this] {
    return application.calls.join(QLatin1Char(' ')) + (window->isVisible() ? "" : " closed");
  };
  const auto opened = [&viewer] {
    return viewer.opened.isEmpty() ? QString() : viewer.opened.at(0).toLocalFile();
  };
  const auto run_state = [this] {
    return QStringLiteral("%1 %2")
        .arg(int(window->run().encoding()))
        .arg(window->run().file_index());
  };
  const auto encoder_options = [](int32_t sub_code, const QStringList& refs = {}) {
    Message message = WithRefs(command::kEncoderOptions, refs);
    message.AddInt32(QStringLiteral("encoder_what"), sub_code);
    return message;
  };
  Message save(command::kSavePanel);
  save.AddRef(QStringLiteral("directory"), folder.path());
  save.AddString(QStringLiteral("name"), QStringLiteral("saved.zvk"));
  const QString location = Path(QStringLiteral("bin/gogo-link"));
  const QString ab = QStringLiteral("/m/a.wav /m/b.wav");

  qint64 stopped_encoder = 0;
  struct Case {
    Message message;
    std::function<void()> prepare;
    std::function<QString()> effect;
    QString expected;
  };
  const QList<Case> cases = {
      {Message(command::kMoveUp), select(1), entries, "/m/b.wav /m/a.wav /m/c.wav"},
      {Message(command::kMoveDown), select(0), entries, "/m/a.wav /m/b.wav /m/c.wav"},
      {Message(command::kRemoveFiles), select(2), entries, ab},
      {save, {}, saved_list, ab},
      {Message(command::kNewList), {}, entries, ""},
      {WithRefs(command::kOpenPanel, {saved}), {}, entries, ab},
      {Message(command::kSaveList), {}, shown(command::kSavePanel), kShown},
      {Message(command::kOpenList), {}, shown(command::kOpenPanel), kShown},
      {Message(command::kAddFiles), {}, shown(command::kRefsReceived), kShown},
      {encoder_options(command::kBrowseOutputDir), {}, shown(command::kEncoderOptions), kShown},
      {encoder_options(command::kOutputDirPanel, {folder.path()}),
       {},
       text_of("OutputDirText"),
       folder.path()},
      {Message(command::kLocateEncoder), {}, shown(command::kEncoderPathPanel), kShown},
      {WithRefs(command::kEncoderPathPanel, {location}), {}, text_of("EncoderLocation"), location},
      {Message(command::kEncoderLocationChanged),
       [this] {
         QCoreApplication::processEvents();  // the field's own 'LOCM' for the path just set
         settings.encoder_location = QStringLiteral("/anders");
       },
       [this] { return settings.encoder_location; }, location},
      {Message(command::kDontCloseOnAdd), turn("DontCloseOnAdd"), flag(settings.dont_close_on_add),
       "set"},
      {Message(command::kDontClearOnOpen), turn("DontClearOnOpen"),
       flag(settings.dont_clear_on_open), "set"},
      {Message(command::kSelfRegisterMimeType), turn("SelfRegisterMIMEType"),
       flag(settings.self_register_mime_type), settings.self_register_mime_type ? "clear" : "set"},
      {Message(command::kRegisterMimeTypeNow), {}, calls, "RegisterMIMEType(1)"},
      {Message(command::kUnregisterMimeTypeNow),
       {},
       calls,
       "RegisterMIMEType(1) UnregisterMIMEType"},
      {Message(command::kReadme), {}, opened, readme},
      {Message(command::kEncode),
       [this] {
         settings.encoder_location = QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder");
       },
       run_state, "1 1"},
      {Message(command::kSkip), {}, run_state, "1 2"},
      {Message(command::kStop), [&] { stopped_encoder = window->run().encoder_pid(); }, run_state,
       "0 0"},
      // The settings are saved before the application is told to end.
      {Message(command::kClose), [this] { application.calls.clear(); }, calls,
       "WriteOptions Quit closed"},
  };
  for (const Case& test : cases) {
    std::string code;
    for (const int shift : {24, 16, 8, 0}) code += char((test.message.what >> shift) & 0xff);
    if (test.prepare) test.prepare();
    EXPECT_NE(test.effect().toStdString(), test.expected.toStdString()) << code << " before";
    window->MessageReceived(test.message);
    EXPECT_TRUE(test_support::WaitUntil([&] { return test.effect() == test.expected; }, 5000))
        << code << ": " << test.effect().toStdString();
  }
  // The stopped encoder may still write its record into the folder, which would then stay.
  EXPECT_TRUE(test_support::WaitUntil([&] { return window_test::ProcessGone(stopped_encoder); }));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  qunsetenv("FAKE_ENCODER_MODE");
  qunsetenv("FAKE_ENCODER_LOG");
  EXPECT_TRUE(alerts.shown.isEmpty());
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
      // As a dropped name that leads to no file.
      {"unresolvable",
       {missing, wave},
       false,
       {wave},
       QStringLiteral("Diese Datei wurde nicht in die Liste aufgenommen:\n") + missing +
           QStringLiteral(" – diese Datei gibt es nicht.")},
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

// A long list is held once read, until the test lets the window take it.
TEST_F(CommandDispatchTest, FilesHandedAndARunStartedWhileAListIsReadComeAfterTheWholeList) {
  QSemaphore held;
  List()->SetReadGate([&held] { held.acquire(); });
  QByteArray records = QByteArray(kListFileHeader) + "\n";
  QStringList entries;
  for (int i = 0; i < 20000; ++i) {
    entries.append(QStringLiteral("/lang/%1.wav").arg(i));
    records += "0;" + entries.back().toUtf8() + "\n";
  }
  const QString list = WriteFile(QStringLiteral("lang.zvk"), records);
  const QString wave = WriteFile(QStringLiteral("a.wav"));
  const QString later_wave = WriteFile(QStringLiteral("b.wav"));
  qputenv("FAKE_ENCODER_MODE", "wait");
  qputenv("FAKE_ENCODER_LOG", QFile::encodeName(Path(QStringLiteral("encoder.log"))));
  settings.encoder_location = QStringLiteral(ZAVRIK_TEST_PROGRAM_DIR "/fake_encoder");
  window->RefsReceived(WithRefs(command::kRefsReceived, {list}));
  window->RefsReceived(WithRefs(command::kRefsReceived, {wave}));
  window->MessageReceived(Message(command::kEncode));
  // Handed after "Kodieren!": these wait for the run, as with a list read at once.
  window->RefsReceived(WithRefs(command::kRefsReceived, {later_wave}));
  EXPECT_TRUE(Entries().isEmpty());
  EXPECT_FALSE(Progress()->isVisible());
  held.release(10);
  ASSERT_TRUE(test_support::WaitUntil([&] { return window->run().encoding(); }));
  EXPECT_TRUE(Progress()->isVisible());
  EXPECT_EQ(Entries(), entries + QStringList{wave});
  window->MessageReceived(Message(command::kStop));
  EXPECT_EQ(Entries(), entries + QStringList({wave, later_wave}));
  qunsetenv("FAKE_ENCODER_MODE");
  qunsetenv("FAKE_ENCODER_LOG");
}

TEST_F(CommandDispatchTest, AMissingReadmeIsNotHandedToAViewer) {
  UrlRecorder viewer;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "Open");
  window->MessageReceived(Message(command::kReadme));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_TRUE(viewer.opened.isEmpty());
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
