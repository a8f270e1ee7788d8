#include "encoder_options/encoder_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "encoder_options/encoder_commands.h"
#include "platform/file_panel.h"
#include "support/recorders.h"
#include "support/test_support.h"

namespace {

template <typename Child>
Child* Find(const EncoderView& view, const char* name) {
  return view.findChild<Child*>(QLatin1String(name));
}

class EncoderViewTest : public ::testing::Test {
 protected:
  RecordingHandler application;
  EncoderView view{&application};
  QComboBox* bitrate_menu = Find<QComboBox>(view, "BitRate");
  QComboBox* output_mode_menu = Find<QComboBox>(view, "OutputMode");
  QLineEdit* output_dir_text = Find<QLineEdit>(view, "OutputDirText");
  FilePanel* directory_panel = Find<FilePanel>(view, "DirectoryPanel");
};

Message EncoderMessage(uint32_t encoder_what) {
  Message message(command::kEncoderOptions);
  message.AddInt32(QStringLiteral("encoder_what"), int32_t(encoder_what));
  return message;
}

TEST_F(EncoderViewTest, TheDefaultsGiveNoOptions) {
  EXPECT_EQ(view.OptionsBefore(), QString());
  EXPECT_EQ(view.OptionsAfter(), QString());
  EXPECT_EQ(bitrate_menu->currentText(), QStringLiteral("Standard"));
  EXPECT_EQ(output_mode_menu->currentText(), QStringLiteral("Standard"));
}

TEST_F(EncoderViewTest, MenusCountTheSeparatorAsAPosition) {
  ASSERT_EQ(bitrate_menu->count(), 16);
  EXPECT_EQ(bitrate_menu->itemText(2), QStringLiteral("32 kbps"));
  EXPECT_EQ(bitrate_menu->itemText(15), QStringLiteral("320 kbps"));
  ASSERT_EQ(output_mode_menu->count(), 5);
  EXPECT_EQ(output_mode_menu->itemText(4), QStringLiteral("Joint Stereo"));
  // The separator takes position 1 and cannot be chosen.
  EXPECT_TRUE(bitrate_menu->itemText(1).isEmpty());
  EXPECT_FALSE(bitrate_menu->model()->flags(bitrate_menu->model()->index(1, 0)) &
               Qt::ItemIsEnabled);
}

struct OptionsCase {
  const char* name;
  int bitrate_position;
  int mode_position;
  bool disable_psycho;
  bool delete_wave;
  QString output_dir;
  QString extra;
  QString expected;
};
void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }

class EncoderViewOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(EncoderViewOptionsTest, OptionsBeforeReadsTheControls) {
  const OptionsCase& c = GetParam();
  RecordingHandler handler;
  EncoderView view(&handler);
  Find<QComboBox>(view, "BitRate")->setCurrentIndex(c.bitrate_position);
  Find<QComboBox>(view, "OutputMode")->setCurrentIndex(c.mode_position);
  Find<QCheckBox>(view, "DisablePsycho")->setChecked(c.disable_psycho);
  Find<QCheckBox>(view, "DeleteWave")->setChecked(c.delete_wave);
  Find<QLineEdit>(view, "OutputDirText")->setText(c.output_dir);
  Find<QLineEdit>(view, "ExtraParam")->setText(c.extra);
  EXPECT_EQ(view.OptionsBefore(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, EncoderViewOptionsTest,
    ::testing::Values(
        OptionsCase{"FirstBitrate", 2, 0, false, false, {}, {}, QStringLiteral("-b 32")},
        OptionsCase{"LastBitrate", 15, 0, false, false, {}, {}, QStringLiteral("-b 320")},
        OptionsCase{"BitrateInTheMiddle", 10, 0, false, false, {}, {}, QStringLiteral("-b 128")},
        OptionsCase{"Mono", 0, 2, false, false, {}, {}, QStringLiteral("-m m")},
        OptionsCase{"Stereo", 0, 3, false, false, {}, {}, QStringLiteral("-m s")},
        OptionsCase{"JointStereo", 0, 4, false, false, {}, {}, QStringLiteral("-m j")},
        OptionsCase{"Everything", 6, 3, true, true, QStringLiteral("/tmp/out dir"),
                    QStringLiteral("-q 2"),
                    QStringLiteral("-b 64 -m s -nopsy -delete -o \"/tmp/out dir\" -q 2")}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

struct LimitCase {
  const char* name;
  const char* field;
  int max_bytes;
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class EncoderViewLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EncoderViewLimitTest, FieldsHoldAtMostTheirBytes) {
  const LimitCase& c = GetParam();
  RecordingHandler handler;
  EncoderView view(&handler);
  QLineEdit* field = Find<QLineEdit>(view, c.field);
  // One byte short of the limit, then a two-byte character that does not fit.
  field->setText(QString(c.max_bytes - 1, u'a') + QStringLiteral("ä"));
  EXPECT_EQ(field->text(), QString(c.max_bytes - 1, u'a'));
  field->setText(QString(c.max_bytes - 2, u'a') + QStringLiteral("ä"));
  EXPECT_EQ(field->text().toUtf8().size(), c.max_bytes);
}

INSTANTIATE_TEST_SUITE_P(Fields, EncoderViewLimitTest,
                         ::testing::Values(LimitCase{"OutputDir", "OutputDirText", 1024},
                                           LimitCase{"ExtraParam", "ExtraParam", 128}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(EncoderViewTest, ChosenLinkPutsItsTargetIntoTheField) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString target = folder.filePath(QStringLiteral("Ausgabe mit Leerzeichen"));
  ASSERT_TRUE(QDir().mkpath(target));
  const QString link = folder.filePath(QStringLiteral("link"));
  ASSERT_TRUE(QFile::link(target, link));

  Message chosen = EncoderMessage(command::kOutputDirPanel);
  chosen.AddRef(QStringLiteral("refs"), link);
  view.MessageReceived(chosen);
  EXPECT_EQ(output_dir_text->text(), QFileInfo(target).canonicalFilePath());
}

TEST_F(EncoderViewTest, MessagesWithoutAChoiceOrSubCodeChangeNothing) {
  output_dir_text->setText(QStringLiteral("/vorher"));
  Message without_refs = EncoderMessage(command::kOutputDirPanel);
  Message without_sub_code(command::kEncoderOptions);
  without_sub_code.AddRef(QStringLiteral("refs"), QStringLiteral("/tmp"));
  Message unknown_sub_code = EncoderMessage(FourCharCode("XXXX"));
  unknown_sub_code.AddRef(QStringLiteral("refs"), QStringLiteral("/tmp"));
  for (const Message& message : {without_refs, without_sub_code, unknown_sub_code}) {
    view.MessageReceived(message);
    EXPECT_EQ(output_dir_text->text(), QStringLiteral("/vorher"));
  }
  EXPECT_EQ(directory_panel->Dialog(), nullptr);
}

TEST_F(EncoderViewTest, BrowseShowsTheDirectoryPanelBuiltOnlyThen) {
  EXPECT_EQ(directory_panel->Dialog(), nullptr);
  // The button shows its own panel; 'ENCO' with 'BROW' does the same.
  Find<QPushButton>(view, "OutputDirButton")->click();
  ASSERT_NE(directory_panel->Dialog(), nullptr);
  EXPECT_TRUE(directory_panel->Dialog()->isVisible());
  directory_panel->Dialog()->hide();
  EXPECT_TRUE(application.messages.isEmpty());

  view.MessageReceived(EncoderMessage(command::kBrowseOutputDir));
  QFileDialog* dialog = directory_panel->Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Ausgabeverzeichnis auswählen"));
  EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
  const FilePanel::Setup& setup = directory_panel->setup();
  EXPECT_EQ(setup.what, command::kEncoderOptions);
  EXPECT_EQ(setup.int_field, QStringLiteral("encoder_what"));
  EXPECT_EQ(uint32_t(setup.int_value), command::kOutputDirPanel);
  dialog->hide();
}

}  // namespace
