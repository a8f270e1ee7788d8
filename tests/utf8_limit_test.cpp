#include "platform/utf8_limit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <memory>

#include "platform/utf8_limit_validator.h"

namespace {

struct PrefixCase {
  const char* name;
  QString text;
  qsizetype max_bytes;
  QString expected;
};
void PrintTo(const PrefixCase& c, std::ostream* os) { *os << c.name; }

class Utf8PrefixTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(Utf8PrefixTest, CutsAtACharacterBoundary) {
  const PrefixCase& c = GetParam();
  const QString prefix = Utf8Prefix(c.text, c.max_bytes);
  EXPECT_EQ(prefix, c.expected);
  EXPECT_LE(Utf8Size(prefix), std::max<qsizetype>(c.max_bytes, 0));
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");  // four bytes, a surrogate pair

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8PrefixTest,
    ::testing::Values(
        PrefixCase{"AsciiLongerThanTheLimit", QStringLiteral("abcdef"), 4, QStringLiteral("abcd")},
        PrefixCase{"ExactlyTheLimitStaysWhole", QStringLiteral("abä"), 4, QStringLiteral("abä")},
        PrefixCase{"TwoByteCharacterAcrossTheLimit", QStringLiteral("abcä"), 4,
                   QStringLiteral("abc")},
        PrefixCase{"ThreeByteCharacterAcrossTheLimit", QStringLiteral("a€"), 3,
                   QStringLiteral("a")},
        PrefixCase{"SurrogatePairIsNeverSplit", QStringLiteral("a") + kEmoji, 4,
                   QStringLiteral("a")},
        PrefixCase{"SurrogatePairThatFits", QStringLiteral("a") + kEmoji, 5,
                   QStringLiteral("a") + kEmoji},
        PrefixCase{"ZeroBytes", QStringLiteral("ä"), 0, QString()},
        PrefixCase{"NegativeLimit", QStringLiteral("abc"), -1, QString()},
        PrefixCase{"EmptyText", QString(), 10, QString()}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Utf8SizeTest, CountsBytesAsUtf8Does) {
  for (const QString& text : {QStringLiteral("abc"), QStringLiteral("äöü"), QStringLiteral("€"),
                              kEmoji, QStringLiteral("a") + kEmoji + QStringLiteral("ß")}) {
    EXPECT_EQ(Utf8Size(text), text.toUtf8().size()) << text.toStdString();
  }
}

// A field limited to 6 bytes, holding `text`, with the cursor at `cursor`.
std::unique_ptr<QLineEdit> LimitedField(const QString& text, int cursor) {
  auto edit = std::make_unique<QLineEdit>();
  LimitUtf8Bytes(edit.get(), 6);
  edit->setText(text);
  edit->setCursorPosition(cursor);
  return edit;
}

void Type(QLineEdit* edit, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QApplication::sendEvent(edit, &press);
}

void Paste(QLineEdit* edit, const QString& text) {
  QApplication::clipboard()->setText(text);
  edit->paste();
}

struct EditCase {
  const char* name;
  QString start;
  int cursor;
  void (*edit)(QLineEdit*, const QString&);
  QString input;
  QString expected;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class ByteLimitedFieldTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(ByteLimitedFieldTest, StopsAtTheLimitWithoutSplittingACharacter) {
  const EditCase& c = GetParam();
  auto field = LimitedField(c.start, c.cursor);
  c.edit(field.get(), c.input);
  EXPECT_EQ(field->text(), c.expected);
  EXPECT_LE(field->text().toUtf8().size(), 6);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ByteLimitedFieldTest,
    ::testing::Values(EditCase{"TypingAnUmlautIntoTheLastByteIsRefused", QStringLiteral("abcde"), 5,
                               Type, QStringLiteral("ä"), QStringLiteral("abcde")},
                      EditCase{"TypingAnUmlautThatFillsTheLimit", QStringLiteral("abcd"), 4, Type,
                               QStringLiteral("ä"), QStringLiteral("abcdä")},
                      EditCase{"TypingInTheMiddleKeepsTheEnd", QStringLiteral("abcdef"), 2, Type,
                               QStringLiteral("x"), QStringLiteral("abcdef")},
                      EditCase{"PasteIsCutToWhatFits", QStringLiteral("ab"), 2, Paste,
                               QStringLiteral("äöü"), QStringLiteral("abäö")},
                      EditCase{"PasteInTheMiddleKeepsTheEnd", QStringLiteral("abcd"), 1, Paste,
                               QStringLiteral("äöü"), QStringLiteral("aäbcd")},
                      EditCase{"PasteOfExactlyTheLimit", QString(), 0, Paste, QStringLiteral("ääa"),
                               QStringLiteral("ääa")}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ByteLimitedFieldTest, TextSetByTheProgramIsCutAtItsEnd) {
  QLineEdit edit;
  LimitUtf8Bytes(&edit, 6);
  edit.setText(QStringLiteral("abcdeä"));
  EXPECT_EQ(edit.text(), QStringLiteral("abcde"));
}

TEST(ByteLimitedFieldTest, TextAlreadyInTheFieldIsCutWhenTheLimitArrives) {
  QLineEdit edit(QStringLiteral("ääää"));
  LimitUtf8Bytes(&edit, 5);
  EXPECT_EQ(edit.text(), QStringLiteral("ää"));
}

}  // namespace
