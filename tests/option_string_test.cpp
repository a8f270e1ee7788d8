#include "encoder_options/option_string.h"

#include <gtest/gtest.h>

namespace {

struct OptionsCase {
  const char* name;
  EncoderOptionValues values;
  QString expected;
};

void PrintTo(const OptionsCase& options_case, std::ostream* out) { *out << options_case.name; }

EncoderOptionValues Bitrate(int position) {
  EncoderOptionValues values;
  values.bitrate_position = position;
  return values;
}

EncoderOptionValues Mode(int position) {
  EncoderOptionValues values;
  values.mode_position = position;
  return values;
}

EncoderOptionValues Directory(const QString& directory) {
  EncoderOptionValues values;
  values.output_directory = directory;
  return values;
}

EncoderOptionValues Extra(const QString& extra) {
  EncoderOptionValues values;
  values.extra_parameters = extra;
  return values;
}

class OptionsBeforeTextTest : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsBeforeTextTest, GivesExactlyThisText) {
  EXPECT_EQ(OptionsBeforeText(GetParam().values), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachControl, OptionsBeforeTextTest,
    testing::Values(
        OptionsCase{"AllDefaultsGiveNothing", {}, QString()},
        OptionsCase{"LowestBitrate", Bitrate(2), QStringLiteral("-b 32")},
        OptionsCase{"BitrateInTheMiddle", Bitrate(10), QStringLiteral("-b 128")},
        OptionsCase{"HighestBitrate", Bitrate(15), QStringLiteral("-b 320")},
        OptionsCase{"SeparatorPositionGivesNoBitrate", Bitrate(1), QString()},
        OptionsCase{"PositionPastTheTableGivesNoBitrate", Bitrate(16), QString()},
        OptionsCase{"NegativePositionGivesNoBitrate", Bitrate(-1), QString()},
        OptionsCase{"Mono", Mode(2), QStringLiteral("-m m")},
        OptionsCase{"Stereo", Mode(3), QStringLiteral("-m s")},
        OptionsCase{"JointStereo", Mode(4), QStringLiteral("-m j")},
        OptionsCase{"BothSwitches", {0, 0, true, true, {}, {}}, QStringLiteral("-nopsy -delete")},
        OptionsCase{"DeleteAlone", {0, 0, false, true, {}, {}}, QStringLiteral("-delete")},
        OptionsCase{"DirectoryWithoutBlank", Directory(QStringLiteral("/home/mp3")),
                    QStringLiteral("-o /home/mp3")},
        OptionsCase{"DirectoryWithBlankIsQuoted", Directory(QStringLiteral("/home/mp3 files/")),
                    QStringLiteral("-o \"/home/mp3 files/\"")},
        OptionsCase{"DirectoryOfBlanksOnlyIsGivenAndQuoted", Directory(QStringLiteral("  ")),
                    QStringLiteral("-o \"  \"")},
        OptionsCase{"TabInDirectoryIsNotQuoted", Directory(QStringLiteral("/a\tb")),
                    QStringLiteral("-o /a\tb")},
        OptionsCase{"ExtraParametersAsTyped", Extra(QStringLiteral("-q 2")),
                    QStringLiteral("-q 2")},
        OptionsCase{"TypedTrailingBlankStays", Extra(QStringLiteral("-q 2 ")),
                    QStringLiteral("-q 2 ")},
        OptionsCase{"ExtraOfOneBlankStays", Extra(QStringLiteral(" ")), QStringLiteral(" ")}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(OptionsBeforeText, EveryControlSetGivesTheOptionsInOrderCharacterForCharacter) {
  const EncoderOptionValues values{
      10, 4, true, true, QStringLiteral("/boot/home/mp3 files"), QStringLiteral("-q 2")};
  const QString expected =
      QStringLiteral("-b 128 -m j -nopsy -delete -o \"/boot/home/mp3 files\" -q 2");
  EXPECT_EQ(OptionsBeforeText(values), expected);
  EXPECT_EQ(expected.size(), 57);
}

TEST(OptionsBeforeText, EveryBitratePositionGivesItsTableEntry) {
  for (int position = 2; position <= 15; ++position) {
    EXPECT_EQ(OptionsBeforeText(Bitrate(position)),
              QStringLiteral("-b %1").arg(kBitrateTable[position - 2]))
        << "position " << position;
  }
}

TEST(OptionsBeforeText, LongestTextsComeOutWholeBeyond256Characters) {
  const QString directory = u'/' + QString(1023, u'd');
  const QString extra = QString(64, u'x') + u' ' + QString(63, u'y');
  const EncoderOptionValues values{15, 3, true, true, directory, extra};
  const QString text = OptionsBeforeText(values);
  EXPECT_EQ(text, QStringLiteral("-b 320 -m s -nopsy -delete -o ") + directory + u' ' + extra);
  EXPECT_GT(text.size(), 1100);
}

}  // namespace
