#include "app/options_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include "app/options_commands.h"
#include "platform/file_panel.h"
#include "support/recorders.h"
#include "support/test_support.h"

// Names a settings record in test names by its encoder path.
void PrintTo(const Settings& settings, std::ostream* os) {
  *os << '"' << settings.encoder_location.toStdString() << '"';
}

namespace {

class OptionsViewFillTest : public ::testing::TestWithParam<Settings> {};

TEST_P(OptionsViewFillTest, StartsFromTheSettingsWithoutSendingAnything) {
  const Settings& settings = GetParam();
  RecordingHandler window;
  RecordingHandler application;
  OptionsView view(settings, &window, &application);
  EXPECT_EQ(view.encoder_location->text(), settings.encoder_location);
  EXPECT_EQ(view.dont_close_on_add->isChecked(), settings.dont_close_on_add);
  EXPECT_EQ(view.dont_clear_on_open->isChecked(), settings.dont_clear_on_open);
  EXPECT_EQ(view.self_register_mime_type->isChecked(), settings.self_register_mime_type);
  EXPECT_FALSE(view.settings_notice->isVisibleTo(&view));
  // Showing the stored values is no change of them.
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.messages.isEmpty());
  EXPECT_TRUE(application.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Records, OptionsViewFillTest,
    ::testing::Values(Settings{QStringLiteral("/opt/bin/gogo"), false, false, true},
                      Settings{QStringLiteral("/home/anna/Programme mit Ümlaut/gogo"), true, true,
                               false},
                      Settings{QString(), true, false, false}));

TEST(OptionsViewTest, EveryChangeOfThePathSendsItsCommand) {
  RecordingHandler window;
  RecordingHandler application;
  OptionsView view(Settings{}, &window, &application);
  // Changes by the program count as the user's do: the path panel's choice arrives this way.
  view.encoder_location->setText(QStringLiteral("/usr/bin/gogo"));
  view.encoder_location->setText(QStringLiteral("/usr/local/bin/gogo"));
  ASSERT_TRUE(test_support::WaitUntil([&] { return window.messages.size() == 2; }));
  EXPECT_EQ(window.Codes(),
            QList<uint32_t>({command::kEncoderLocationChanged, command::kEncoderLocationChanged}));
}

TEST(OptionsViewTest, PathFieldHoldsAtMost1024Bytes) {
  RecordingHandler handler;
  OptionsView view(Settings{}, &handler, &handler);
  view.encoder_location->setText(QString(1023, u'a') + QStringLiteral("ä"));
  EXPECT_EQ(view.encoder_location->text(), QString(1023, u'a'));
}

TEST(OptionsViewTest, PathPanelKeepsALinksOwnPathAndReportsToTheApplication) {
  RecordingHandler window;
  RecordingHandler application;
  OptionsView view(Settings{}, &window, &application);
  const FilePanel::Setup& setup = view.path_panel->setup();
  EXPECT_EQ(setup.mode, FilePanel::Mode::OpenFile);
  EXPECT_EQ(setup.what, command::kEncoderPathPanel);
  EXPECT_FALSE(setup.resolve_symlinks);
  EXPECT_EQ(setup.title, QStringLiteral("Pfad suchen"));
  EXPECT_EQ(setup.accept_label, QStringLiteral("Auswählen"));
  EXPECT_EQ(setup.cancel_label, QStringLiteral("Abbrechen"));
  // Building a file dialog is left to the first showing.
  EXPECT_EQ(view.path_panel->Dialog(), nullptr);
}

}  // namespace
