#include "platform/file_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/options_commands.h"
#include "encoder_options/encoder_commands.h"
#include "files/files_commands.h"
#include "files/files_list.h"
#include "files/files_settings.h"
#include "files/files_view.h"
#include "files_recorders.h"
#include "platform/message_box_presenter.h"
#include "platform/system_messages.h"
#include "support/test_support.h"

namespace {

class FilePanelTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    root_ = QDir(folder_.path()).canonicalPath();
    Touch("a.wav");
    Touch("b.wav");
    ASSERT_TRUE(QFile::link(root_ + "/a.wav", root_ + "/link.wav"));
    ASSERT_TRUE(QDir(root_).mkdir("out"));
  }

  void Touch(const QString& name) {
    QFile file(root_ + '/' + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }

  // Chooses `names` in the shown dialog and confirms, as the user would.
  void Choose(FilePanel& panel, const QStringList& names) {
    panel.Show();
    QFileDialog* dialog = panel.Dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    dialog->setDirectory(root_);
    QStringList quoted;
    for (const QString& name : names) quoted.append('"' + name + '"');
    dialog->selectFile(names.size() == 1 ? root_ + '/' + names.first() : quoted.join(' '));
    // Through QDialog, where accept() is public; the file dialog's own checks still run.
    static_cast<QDialog*>(dialog)->accept();
  }

  QTemporaryDir folder_;
  QString root_;
  RecordingHandler application_;
  RecordingAlerts alerts_;
  FilesSettings settings_;
};

TEST_F(FilePanelTest, SavePanelSendsTheFolderAndTheName) {
  FilesList list(&application_, &alerts_, &settings_);
  Choose(*list.SavePanel(), {"neue Liste.zvk"});
  ASSERT_EQ(application_.messages.size(), 1u);
  const Message& message = application_.messages.front();
  EXPECT_EQ(message.what, command::kSavePanel);
  EXPECT_EQ(message.FindRef("directory"), root_);
  EXPECT_EQ(message.FindString("name"), QStringLiteral("neue Liste.zvk"));
  EXPECT_FALSE(list.SavePanel()->Dialog()->isVisible());
}

TEST_F(FilePanelTest, OpenPanelSendsTheChosenFileWithLinksFollowed) {
  FilesList list(&application_, &alerts_, &settings_);
  Choose(*list.OpenPanel(), {"link.wav"});
  ASSERT_EQ(application_.messages.size(), 1u);
  EXPECT_EQ(application_.messages.front().what, command::kOpenPanel);
  EXPECT_EQ(application_.messages.front().Refs("refs"), QStringList({root_ + "/a.wav"}));
}

TEST_F(FilePanelTest, PanelsCarryTheirTitlesAndLabels) {
  FilesList list(&application_, &alerts_, &settings_);
  RecordingHandler window;
  QPushButton encode;
  FilesView view(&encode, &window, &application_, &alerts_, &settings_);
  auto* add_files = view.findChild<FilePanel*>(QStringLiteral("AddFilesPanel"));
  struct Expected {
    FilePanel* panel;
    QString title, accept, reject;
    QFileDialog::FileMode mode;
  };
  add_files->SetCancelButtonLabel(QStringLiteral("Schließen"));
  for (const Expected& e : {Expected{list.SavePanel(), "Liste speichern", "Speichern", "Abbrechen",
                                     QFileDialog::AnyFile},
                            Expected{list.OpenPanel(), "Liste öffnen", "Öffnen", "Abbrechen",
                                     QFileDialog::ExistingFile},
                            Expected{add_files, "Dateien hinzfügen", "Hinzufügen", "Schließen",
                                     QFileDialog::ExistingFiles}}) {
    e.panel->Show();
    QFileDialog* dialog = e.panel->Dialog();
    EXPECT_EQ(dialog->windowTitle(), e.title);
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), e.accept);
    EXPECT_EQ(dialog->labelText(QFileDialog::Reject), e.reject);
    EXPECT_EQ(dialog->fileMode(), e.mode);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog->isModal());
    dialog->reject();
  }
}

TEST_F(FilePanelTest, AddFilesPanelSendsEveryChosenFileAndCanStayOpen) {
  RecordingHandler window;
  QPushButton encode;
  FilesView view(&encode, &window, &application_, &alerts_, &settings_);
  auto* add_files = view.findChild<FilePanel*>(QStringLiteral("AddFilesPanel"));
  add_files->SetHideWhenDone(false);
  Choose(*add_files, {"a.wav", "b.wav"});
  ASSERT_EQ(application_.messages.size(), 1u);
  EXPECT_EQ(application_.messages.front().what, command::kRefsReceived);
  EXPECT_EQ(application_.messages.front().Refs("refs"),
            QStringList({root_ + "/a.wav", root_ + "/b.wav"}));
  EXPECT_TRUE(add_files->Dialog()->isVisible());

  add_files->SetHideWhenDone(true);
  Choose(*add_files, {"b.wav"});
  EXPECT_EQ(application_.messages.size(), 2u);
  EXPECT_FALSE(add_files->Dialog()->isVisible());
}

TEST_F(FilePanelTest, DirectoryPanelSendsTheFolderAndItsSubCode) {
  FilePanel::Setup setup;
  setup.mode = FilePanel::Mode::OpenDirectory;
  setup.what = command::kEncoderOptions;
  setup.title = QStringLiteral("Verzeichnis");
  setup.accept_label = QStringLiteral("Auswählen");
  setup.int_field = QStringLiteral("encoder_what");
  setup.int_value = int32_t(command::kOutputDirPanel);
  FilePanel panel(setup, &application_);
  Choose(panel, {"out"});
  ASSERT_EQ(application_.messages.size(), 1u);
  const Message& message = application_.messages.front();
  EXPECT_EQ(message.Refs("refs"), QStringList({root_ + "/out"}));
  EXPECT_EQ(message.FindInt32("encoder_what"), int32_t(command::kOutputDirPanel));
  EXPECT_EQ(panel.Dialog()->fileMode(), QFileDialog::Directory);
}

TEST_F(FilePanelTest, PanelThatKeepsLinksSendsTheLinkItself) {
  FilePanel::Setup setup;
  setup.mode = FilePanel::Mode::OpenFile;
  setup.what = command::kEncoderPathPanel;
  setup.resolve_symlinks = false;
  FilePanel panel(setup, &application_);
  Choose(panel, {"link.wav"});
  ASSERT_EQ(application_.messages.size(), 1u);
  EXPECT_EQ(application_.messages.front().Refs("refs"), QStringList({root_ + "/link.wav"}));
}

// A path or file name in an alert once showed as markup: "<b>" turned bold, "&lt;" into "<".
TEST(MessageBoxPresenterTest, AlertTextIsShownCharacterForCharacter) {
  const QString text = QStringLiteral("Kann \"/tmp/<b>fett</b> &lt;1&gt;.wav\" nicht öffnen.");
  QString shown;
  Qt::TextFormat format = Qt::AutoText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    shown = label->text();
    format = label->textFormat();
    box->buttons().first()->click();
  });
  MessageBoxPresenter().Go({QStringLiteral("OpenOpenError"), text, {QStringLiteral("OK")}});
  EXPECT_EQ(shown, text);
  EXPECT_EQ(format, Qt::PlainText);
}

// The dialog-button convention of a desktop, as Qt's platform theme gives it to the style.
class ButtonLayoutStyle : public QProxyStyle {
 public:
  explicit ButtonLayoutStyle(QDialogButtonBox::ButtonLayout layout) : layout_(layout) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_DialogButtonLayout) return layout_;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }

 private:
  QDialogButtonBox::ButtonLayout layout_;
};

// On GNOME and XFCE the about box once showed "Schließen" left of "Gehe zur Site".
TEST(MessageBoxPresenterTest, ButtonsStandLeftToRightAsListedOnEveryDesktop) {
  const Alert about = alerts::About(QStringLiteral("Zavrik 1.2a (Deutsch)"));
  const QList<std::pair<const char*, QDialogButtonBox::ButtonLayout>> desktops = {
      {"Windows", QDialogButtonBox::WinLayout},     {"macOS", QDialogButtonBox::MacLayout},
      {"KDE", QDialogButtonBox::KdeLayout},         {"GNOME, XFCE", QDialogButtonBox::GnomeLayout},
      {"Android", QDialogButtonBox::AndroidLayout},
  };
  for (const auto& [desktop, layout] : desktops) {
    for (int answer = 0; answer <= 2; ++answer) {
      SCOPED_TRACE(desktop);
      ButtonLayoutStyle style(layout);
      QStringList left_to_right;
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        auto* button_box = box->findChild<QDialogButtonBox*>();
        button_box->setStyle(&style);
        button_box->layout()->activate();
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
          return a->geometry().x() < b->geometry().x();
        });
        for (const QAbstractButton* button : buttons) left_to_right.append(button->text());
        // The third answer is Escape, which answers like the last button.
        if (answer < int(buttons.size())) {
          buttons.at(answer)->click();
        } else {
          QTest::keyClick(box, Qt::Key_Escape);
          EXPECT_FALSE(box->isVisible()) << "Escape left the box open";
          if (box->isVisible()) box->reject();
        }
      });
      EXPECT_EQ(MessageBoxPresenter().Go(about), std::min(answer, 1));
      EXPECT_EQ(left_to_right, about.buttons);
    }
  }
}

}  // namespace
