#include "encode/progress_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "encode/run_commands.h"
#include "support/recorders.h"
#include "support/test_support.h"

namespace {

class ProgressWindowTest : public ::testing::Test {
 protected:
  RecordingHandler window;
  ProgressWindow progress{&window};
  QLabel* file_name = progress.findChild<QLabel*>(QStringLiteral("FileName"));
  QLabel* file_number = progress.findChild<QLabel*>(QStringLiteral("FileNumber"));
  QPushButton* skip_button = progress.findChild<QPushButton*>(QStringLiteral("SkipFile"));
  QPushButton* stop_button = progress.findChild<QPushButton*>(QStringLiteral("StopEncoding"));
};

TEST_F(ProgressWindowTest, IsBuiltHiddenWithItsPlaceholders) {
  EXPECT_FALSE(progress.isVisible());
  EXPECT_EQ(progress.windowTitle(), QStringLiteral("Fortschritt der Kodierung"));
  EXPECT_EQ(file_name->text(), QStringLiteral("#"));
  EXPECT_EQ(file_number->text(), QStringLiteral("#"));
}

TEST_F(ProgressWindowTest, OffersNoCloseMinimiseOrMaximiseAndBlocksTheApplication) {
  const Qt::WindowFlags flags = progress.windowFlags();
  for (Qt::WindowType hint : {Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
                              Qt::WindowMaximizeButtonHint, Qt::WindowMinMaxButtonsHint}) {
    EXPECT_FALSE(flags.testFlag(hint)) << hint;
  }
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(progress.isWindow());
  EXPECT_EQ(progress.windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(progress.minimumSize(), progress.maximumSize());
}

TEST_F(ProgressWindowTest, IsAnnouncedAsADialogWhoseButtonsTheKeyboardReaches) {
  QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(&progress);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->role(), QAccessible::Dialog);
  EXPECT_EQ(dialog->text(QAccessible::Name), QStringLiteral("Fortschritt der Kodierung"));
  for (QPushButton* button : {skip_button, stop_button}) {
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << button->objectName().toStdString();
  }
}

TEST_F(ProgressWindowTest, RefusesToBeClosedOrEscaped) {
  progress.show();
  EXPECT_FALSE(progress.close());
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&progress, &escape);
  EXPECT_TRUE(progress.isVisible());
  progress.hide();
}

TEST_F(ProgressWindowTest, LongPathsKeepTheWindowSizeAndTheirFullText) {
  const QSize before = progress.size();
  const QString long_path =
      QStringLiteral("\"/home/anna/") + QString(3000, u'x') + QStringLiteral("/lied.wav\"");
  progress.SetFileName(long_path);
  progress.show();
  EXPECT_EQ(progress.size(), before);
  EXPECT_LE(progress.width(), QApplication::primaryScreen()->availableGeometry().width());
  EXPECT_EQ(progress.FileName(), long_path);
  EXPECT_EQ(file_name->toolTip(), long_path);
  EXPECT_LE(file_name->fontMetrics().horizontalAdvance(file_name->text()),
            file_name->contentsRect().width());
  EXPECT_TRUE(file_name->text().endsWith(QStringLiteral("lied.wav\"")));
  progress.hide();
}

TEST_F(ProgressWindowTest, ShortPathsAreShownWhole) {
  progress.SetFileName(QStringLiteral("\"/tmp/mein lied.wav\""));
  progress.SetFileNumber(QStringLiteral("Datei 3 von 5"));
  EXPECT_EQ(file_name->text(), QStringLiteral("\"/tmp/mein lied.wav\""));
  EXPECT_EQ(file_number->text(), QStringLiteral("Datei 3 von 5"));
}

TEST_F(ProgressWindowTest, ButtonsSendTheirCommandsWhileEnabled) {
  progress.SetButtonsEnabled(false);
  EXPECT_FALSE(skip_button->isEnabled());
  EXPECT_FALSE(stop_button->isEnabled());
  skip_button->click();  // a disabled button sends nothing
  progress.SetButtonsEnabled(true);
  skip_button->click();
  stop_button->click();
  ASSERT_TRUE(test_support::WaitUntil([&] { return window.messages.size() >= 2; }));
  EXPECT_EQ(window.Codes(), QList<uint32_t>({command::kSkip, command::kStop}));
}

}  // namespace
