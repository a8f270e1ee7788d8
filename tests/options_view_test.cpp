#include "app/options_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTemporaryDir>

#include "app/options_commands.h"
#include "platform/file_panel.h"
#include "support/recorders.h"
#include "support/test_support.h"

// Names a settings record in test names by its encoder path.
void PrintTo(const Settings& settings, std::ostream* os) {
  *os << '"' << settings.encoder_location.toStdString() << '"';
}

namespace {

// The application object's MIME operations, which these tests do not reach.
class NoMimeTypes : public MimeTypeActions {
 public:
  void RegisterMIMEType(bool) override {}
  void UnregisterMIMEType() override {}
};

template <typename Child>
Child* Find(const QWidget& view, const char* name) {
  return view.findChild<Child*>(QLatin1String(name));
}

class OptionsViewFillTest : public ::testing::TestWithParam<Settings> {};

TEST_P(OptionsViewFillTest, StartsFromTheSettingsWithoutSendingAnything) {
  Settings settings = GetParam();
  RecordingHandler window;
  RecordingHandler application;
  NoMimeTypes mime_types;
  OptionsView view(settings, mime_types, &application);
  view.SendCommandsTo(&window);
  EXPECT_EQ(Find<QLineEdit>(view, "EncoderLocation")->text(), settings.encoder_location);
  EXPECT_EQ(Find<QCheckBox>(view, "DontCloseOnAdd")->isChecked(), settings.dont_close_on_add);
  EXPECT_EQ(Find<QCheckBox>(view, "DontClearOnOpen")->isChecked(), settings.dont_clear_on_open);
  EXPECT_EQ(Find<QCheckBox>(view, "SelfRegisterMIMEType")->isChecked(),
            settings.self_register_mime_type);
  EXPECT_FALSE(Find<QLabel>(view, "SettingsNotice")->isVisibleTo(&view));
  // Showing the stored values is no change of them.
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.messages.isEmpty());
  EXPECT_TRUE(application.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Records, OptionsViewFillTest,
    ::testing::Values(
        Settings{{{false, false}, QStringLiteral("/opt/bin/gogo")}, true},
        Settings{{{true, true}, QStringLiteral("/home/anna/Programme mit Ümlaut/gogo")}, false},
        Settings{{{true, false}, QString()}, false}));

TEST(OptionsViewTest, EveryChangeOfThePathSendsItsCommand) {
  RecordingHandler window;
  RecordingHandler application;
  Settings settings;
  NoMimeTypes mime_types;
  OptionsView view(settings, mime_types, &application);
  view.SendCommandsTo(&window);
  // Changes by the program count as the user's do: the path panel's choice arrives this way.
  Find<QLineEdit>(view, "EncoderLocation")->setText(QStringLiteral("/usr/bin/gogo"));
  Find<QLineEdit>(view, "EncoderLocation")->setText(QStringLiteral("/usr/local/bin/gogo"));
  ASSERT_TRUE(test_support::WaitUntil([&] { return window.messages.size() == 2; }));
  EXPECT_EQ(window.Codes(),
            QList<uint32_t>({command::kEncoderLocationChanged, command::kEncoderLocationChanged}));
}

TEST(OptionsViewTest, PathFieldHoldsAtMost1024Bytes) {
  RecordingHandler handler;
  Settings settings;
  NoMimeTypes mime_types;
  OptionsView view(settings, mime_types, &handler);
  auto* field = Find<QLineEdit>(view, "EncoderLocation");
  field->setText(QString(1023, u'a') + QStringLiteral("ä"));
  EXPECT_EQ(field->text(), QString(1023, u'a'));
}

TEST(OptionsViewTest, PathPanelKeepsALinksOwnPathAndReportsToTheApplication) {
  RecordingHandler application;
  Settings settings;
  NoMimeTypes mime_types;
  OptionsView view(settings, mime_types, &application);
  const FilePanel* path_panel = Find<FilePanel>(view, "PathPanel");
  const FilePanel::Setup& setup = path_panel->setup();
  EXPECT_EQ(setup.mode, FilePanel::Mode::OpenFile);
  EXPECT_EQ(setup.what, command::kEncoderPathPanel);
  EXPECT_FALSE(setup.resolve_symlinks);
  EXPECT_EQ(setup.title, QStringLiteral("Pfad suchen"));
  EXPECT_EQ(setup.accept_label, QStringLiteral("Auswählen"));
  EXPECT_EQ(setup.cancel_label, QStringLiteral("Abbrechen"));
  // Building a file dialog is left to the first showing.
  EXPECT_EQ(path_panel->Dialog(), nullptr);
}

// A tab on settings of its own that takes its commands back, as the window hands them back.
class OptionsViewCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    view.SendCommandsTo(&view);
  }

  QString Path(const QString& name) const { return folder.filePath(name); }

  QTemporaryDir folder;
  Settings settings;
  NoMimeTypes mime_types;
  RecordingHandler application;
  OptionsView view{settings, mime_types, &application};
};

TEST_F(OptionsViewCommandTest, PathPanelPutsALinksOwnPathIntoTheFieldAndTheSettings) {
  QDir().mkpath(Path(QStringLiteral("real")));
  const QString encoder = Path(QStringLiteral("real/gogo"));
  QFile file(encoder);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const QString link = Path(QStringLiteral("gogo-link"));
  ASSERT_TRUE(QFile::link(encoder, link));

  Message chosen(command::kEncoderPathPanel);
  chosen.AddRef(QStringLiteral("refs"), link);
  view.MessageReceived(chosen);
  EXPECT_EQ(Find<QLineEdit>(view, "EncoderLocation")->text(), link);
  // The field's own change message carries the path on into the settings.
  EXPECT_TRUE(test_support::WaitUntil([&] { return settings.encoder_location == link; }));

  view.MessageReceived(Message(command::kEncoderPathPanel));
  EXPECT_EQ(Find<QLineEdit>(view, "EncoderLocation")->text(), link);
}

TEST_F(OptionsViewCommandTest, CheckBoxesSetTheirFlagExactlyWhenTicked) {
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
    auto* box = Find<QCheckBox>(view, test.box);
    for (const bool ticked : {true, false, true, false}) {
      const QSignalBlocker quiet(box);
      box->setChecked(ticked);
      settings.*test.flag = !ticked;
      view.MessageReceived(Message(test.what));
      EXPECT_EQ(settings.*test.flag, ticked) << test.box;
    }
  }
}

TEST_F(OptionsViewCommandTest, EncoderLocationIsCutTo1023BytesBetweenCharacters) {
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
  auto* field = Find<QLineEdit>(view, "EncoderLocation");
  for (const Case& test : cases) {
    const QSignalBlocker quiet(field);
    field->setText(test.text);
    view.MessageReceived(Message(command::kEncoderLocationChanged));
    EXPECT_EQ(settings.encoder_location, test.expected) << test.text.size();
  }
}

}  // namespace
