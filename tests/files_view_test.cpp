#include "files/files_view.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QPushButton>

#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/files_settings.h"
#include "files_recorders.h"
#include "platform/file_panel.h"

namespace {

class FilesViewTest : public testing::Test {
 protected:
  FilesViewTest() : view_(&encode_, &window_, &application_, &alerts_, &settings_) {
    encode_.setEnabled(false);
  }

  QPushButton* Button(const char* name) {
    return view_.findChild<QPushButton*>(QString::fromLatin1(name));
  }

  QPushButton encode_;
  RecordingHandler window_;
  RecordingHandler application_;
  RecordingAlerts alerts_;
  FilesSettings settings_;
  FilesView view_;
};

TEST_F(FilesViewTest, StartsWithOnlyAddEnabled) {
  EXPECT_TRUE(Button("AddFiles")->isEnabled());
  for (const char* name : {"RemoveFiles", "MoveUp", "MoveDown"}) {
    EXPECT_FALSE(Button(name)->isEnabled()) << name;
  }
}

TEST_F(FilesViewTest, ButtonsSendTheirCommandsToTheWindow) {
  struct Case {
    const char* name;
    QString label;
    uint32_t what;
  };
  for (const Case& c : {Case{"AddFiles", "Hinzufügen...", command::kAddFiles},
                        Case{"RemoveFiles", "Entfernen", command::kRemoveFiles},
                        Case{"MoveUp", "Nach oben schieben", command::kMoveUp},
                        Case{"MoveDown", "Nach unten schieben", command::kMoveDown}}) {
    QPushButton* button = Button(c.name);
    ASSERT_NE(button, nullptr) << c.name;
    EXPECT_EQ(button->text(), c.label);
    button->setEnabled(true);
    window_.messages.clear();
    button->click();
    ASSERT_EQ(window_.messages.size(), 1u) << c.name;
    EXPECT_EQ(window_.messages.front().what, c.what) << c.name;
  }
  EXPECT_TRUE(application_.messages.empty());
}

TEST_F(FilesViewTest, ListDrivesTheTabsButtonsAndTheEncodeButton) {
  view_.List()->AddItems({"/a.wav", "/b.wav"});
  EXPECT_TRUE(encode_.isEnabled());
  view_.List()->setCurrentIndex(view_.List()->model()->index(1, 0));
  EXPECT_TRUE(Button("RemoveFiles")->isEnabled());
  EXPECT_TRUE(Button("MoveUp")->isEnabled());
  EXPECT_FALSE(Button("MoveDown")->isEnabled());
}

TEST_F(FilesViewTest, ListFillsTheTabAboveTheButtonsAtTheBottomCorners) {
  for (const QSize size : {QSize(440, 220), QSize(900, 600)}) {
    view_.resize(size);
    view_.show();
    QWidget* scroll = view_.findChild<QWidget*>(QStringLiteral("FilesScroll"));
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(scroll->isAncestorOf(view_.List()));
    const QRect up = Button("MoveUp")->geometry();
    const QRect down = Button("MoveDown")->geometry();
    const QRect add = Button("AddFiles")->geometry();
    const QRect remove = Button("RemoveFiles")->geometry();
    EXPECT_LT(up.left(), 20);
    EXPECT_LT(up.right(), down.left());
    EXPECT_LT(down.right(), add.left());
    EXPECT_LT(add.right(), remove.left());
    EXPECT_GT(remove.right(), size.width() - 20);
    for (const QRect& button : {up, down, add, remove}) {
      EXPECT_GT(button.bottom(), size.height() - 20);
      EXPECT_LT(scroll->geometry().bottom(), button.top());
    }
    EXPECT_GT(scroll->width(), size.width() - 30);
  }
}

TEST_F(FilesViewTest, AddFilesPanelFollowsDontCloseOnAddAtEveryShowing) {
  auto* panel = view_.findChild<FilePanel*>(QStringLiteral("AddFilesPanel"));
  struct Case {
    bool dont_close_on_add;
    bool hide_when_done;
    QString cancel_label;
  };
  const QList<Case> cases = {{true, false, QStringLiteral("Schließen")},
                             {false, true, QStringLiteral("Abbrechen")},
                             {true, false, QStringLiteral("Schließen")}};
  for (const Case& test : cases) {
    settings_.dont_close_on_add = test.dont_close_on_add;
    view_.MessageReceived(Message(command::kAddFiles));
    ASSERT_NE(panel->Dialog(), nullptr);
    EXPECT_TRUE(panel->Dialog()->isVisible());
    EXPECT_EQ(panel->setup().hide_when_done, test.hide_when_done);
    EXPECT_EQ(panel->Dialog()->labelText(QFileDialog::Reject), test.cancel_label);
    panel->Dialog()->hide();
  }
}

}  // namespace
