#include "encode/argument_split.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* name;
  QString arguments;
  QStringList words;
};

void PrintTo(const SplitCase& split_case, std::ostream* out) { *out << split_case.name; }

class SplitArgumentsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, YieldsExactlyTheseWords) {
  EXPECT_EQ(SplitArguments(GetParam().arguments), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    BlanksAndQuotes, SplitArgumentsTest,
    testing::Values(
        SplitCase{"EmptyStringGivesNoWords", QString(), {}},
        SplitCase{"SingleWord", QStringLiteral("a"), {QStringLiteral("a")}},
        SplitCase{"OptionsAndPath",
                  QStringLiteral("-b 128 /home/a.wav"),
                  {QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("/home/a.wav")}},
        SplitCase{
            "QuotedPathIsOneWordWithoutQuotes",
            QStringLiteral("-b 128 \"/home/my song.wav\""),
            {QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("/home/my song.wav")}},
        SplitCase{"TwoBlanksGiveAnEmptyWordBetween",
                  QStringLiteral("a  b"),
                  {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        SplitCase{"LeadingBlankGivesEmptyFirstWord",
                  QStringLiteral(" a"),
                  {QString(), QStringLiteral("a")}},
        SplitCase{"TrailingBlankGivesEmptyLastWord",
                  QStringLiteral("a "),
                  {QStringLiteral("a"), QString()}},
        SplitCase{"SingleBlankGivesTwoEmptyWords", QStringLiteral(" "), {QString(), QString()}},
        SplitCase{"SingleQuoteGivesOneEmptyWord", QStringLiteral("\""), {QString()}},
        SplitCase{"EmptyQuotesBetweenBlanksAreAnEmptyWord",
                  QStringLiteral("a \"\" b"),
                  {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        SplitCase{"UnclosedQuoteRunsToTheEnd",
                  QStringLiteral("x \"a b"),
                  {QStringLiteral("x"), QStringLiteral("a b")}},
        SplitCase{"UnclosedQuoteKeepsLaterBlanksAndWords",
                  QStringLiteral("\"a  b c "),
                  {QStringLiteral("a  b c ")}},
        SplitCase{"QuotesInsideAWordDoNotEndIt",
                  QStringLiteral("ab\"c d\"e"),
                  {QStringLiteral("abc de")}},
        SplitCase{"QuotedStretchJoinsNeighbours",
                  QStringLiteral("-o\"/a b\"/c d"),
                  {QStringLiteral("-o/a b/c"), QStringLiteral("d")}},
        SplitCase{
            "BackslashIsNoEscape", QStringLiteral("a\\\" b\\ c"), {QStringLiteral("a\\ b\\ c")}},
        SplitCase{"TabDoesNotSplit", QStringLiteral("a\tb"), {QStringLiteral("a\tb")}},
        SplitCase{"NewlineDoesNotSplit",
                  QStringLiteral("a\nb c"),
                  {QStringLiteral("a\nb"), QStringLiteral("c")}},
        SplitCase{
            "NoBreakSpaceDoesNotSplit", QStringLiteral("a\u00a0b"), {QStringLiteral("a\u00a0b")}},
        SplitCase{"CharactersOutsideTheBasicPlaneStayWhole",
                  QStringLiteral("\U0001F3B5 \"Stück 1\""),
                  {QStringLiteral("\U0001F3B5"), QStringLiteral("Stück 1")}}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(SplitArgumentsLimits, AStringFarBeyond4096CharactersComesOutWhole) {
  const QString long_word(20000, u'x');
  const QStringList words = SplitArguments(QStringLiteral("-o ") + long_word + u' ' + u'"' +
                                           long_word + u' ' + long_word + u'"');
  ASSERT_EQ(words.size(), 3);
  EXPECT_EQ(words[1], long_word);
  EXPECT_EQ(words[2], long_word + u' ' + long_word);
}

TEST(SplitArgumentsLimits, ThousandsOfWordsComeOutInOrder) {
  QStringList expected;
  for (int i = 0; i < 3000; ++i) expected.append(QString::number(i));
  EXPECT_EQ(SplitArguments(expected.join(u' ')), expected);
}

TEST(SplitArgumentsLimits, ThousandsOfBlanksGiveOneMoreEmptyWord) {
  EXPECT_EQ(SplitArguments(QString(1000, u' ')), QStringList(1001, QString()));
}

}  // namespace
