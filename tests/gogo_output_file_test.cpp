#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "output_file.h"
#include "tags.h"

namespace {

using Strategy = gogo::OutputFile::Strategy;

const std::vector<unsigned char> kHello = {'h', 'e', 'l', 'l', 'o'};

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class GogoOutputFile : public ::testing::TestWithParam<Strategy> {
 protected:
  std::string Target(const char* name) const {
    return QFile::encodeName(folder_.filePath(QString::fromUtf8(name))).toStdString();
  }
  QTemporaryDir folder_;
};

TEST_P(GogoOutputFile, NothingIsVisibleUntilCommitThenTheWholeFile) {
  std::string error;
  auto file = gogo::OutputFile::Create(Target("out.mp3"), GetParam(), &error);
  ASSERT_NE(file, nullptr) << error;
  ASSERT_TRUE(file->Write(kHello, &error));
  ASSERT_TRUE(file->WriteAt(0, std::vector<unsigned char>{'j'}, &error));
  EXPECT_FALSE(Entries(folder_.path()).contains(QStringLiteral("out.mp3")));
  ASSERT_TRUE(file->Commit(&error)) << error;
  EXPECT_EQ(Entries(folder_.path()), QStringList{QStringLiteral("out.mp3")});
  EXPECT_EQ(Contents(folder_.filePath(QStringLiteral("out.mp3"))), QByteArray("jello"));
}

// Names up to the longest a folder takes: the temporary name beside the target must fit too.
TEST_P(GogoOutputFile, CommitReplacesAnExistingFileAndUsesTheUmask) {
  const QString names[] = {QStringLiteral("out.mp3"),
                           QString(246, QLatin1Char('n')) + QStringLiteral(".mp3"),
                           QString(125, QChar(0xE4)) + QStringLiteral(".mp3")};
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    QFile old(folder_.filePath(name));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older and longer file");
    old.close();
    const mode_t previous = umask(022);
    std::string error;
    auto file = gogo::OutputFile::Create(Target(name.toUtf8().constData()), GetParam(), &error);
    umask(previous);
    ASSERT_NE(file, nullptr) << error;
    ASSERT_TRUE(file->Write(kHello, &error));
    ASSERT_TRUE(file->Commit(&error)) << error;
    EXPECT_EQ(Contents(folder_.filePath(name)), QByteArray("hello"));
    EXPECT_EQ(Entries(folder_.path()), QStringList{name});
    struct stat status {};
    ASSERT_EQ(stat(Target(name.toUtf8().constData()).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    QFile::remove(folder_.filePath(name));
  }
}

TEST_P(GogoOutputFile, DiscardAndDestructionLeaveNothingBehind) {
  std::string error;
  auto discarded = gogo::OutputFile::Create(Target("a.mp3"), GetParam(), &error);
  ASSERT_NE(discarded, nullptr);
  discarded->Write(kHello, &error);
  discarded->Discard();
  {
    auto dropped = gogo::OutputFile::Create(Target("b.mp3"), GetParam(), &error);
    ASSERT_NE(dropped, nullptr);
    dropped->Write(kHello, &error);
  }
  EXPECT_TRUE(Entries(folder_.path()).isEmpty());
}

TEST_P(GogoOutputFile, MissingFolderOrAFolderInTheWayIsAnError) {
  std::string error;
  EXPECT_EQ(gogo::OutputFile::Create(Target("missing/out.mp3"), GetParam(), &error), nullptr);
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_NE(error.find("nicht gefunden"), std::string::npos) << error;

  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("taken.mp3")));
  auto file = gogo::OutputFile::Create(Target("taken.mp3"), GetParam(), &error);
  ASSERT_NE(file, nullptr);
  file->Write(kHello, &error);
  EXPECT_FALSE(file->Commit(&error));
  file.reset();
  EXPECT_EQ(Entries(folder_.path()), QStringList{QStringLiteral("taken.mp3")});
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndHiddenName, GogoOutputFile,
                         ::testing::Values(Strategy::kUnnamedFirst, Strategy::kHiddenNameOnly));

TEST(GogoOutputFileKind, TheUnnamedFileIsUsedWhereTheFileSystemHasIt) {
  QTemporaryDir folder;
  std::string error;
  auto file = gogo::OutputFile::Create(
      QFile::encodeName(folder.filePath(QStringLiteral("x.mp3"))).toStdString(),
      Strategy::kUnnamedFirst, &error);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->is_unnamed());
  EXPECT_TRUE(Entries(folder.path()).isEmpty());
}

struct TextCase {
  std::string bytes;
  std::u16string expected;  // without the byte order mark
};

TEST(GogoTagText, Utf8IsKeptAndOtherBytesAreReadAsLatin1) {
  const TextCase cases[] = {
      {"", u""},
      {"Band", u"Band"},
      {"Gr\xC3\xB6\xC3\x9F"
       "e",
       u"Größe"},
      {"\xE2\x82\xAC", u"€"},
      {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
      {"Gr\xF6\xDF"
       "e",
       u"Größe"},                               // Latin-1
      {"\xC3", u"\u00C3"},                      // cut UTF-8 sequence
      {"\xC0\x80", u"\u00C0\u0080"},            // overlong form
      {"\xED\xA0\x80", u"\u00ED\u00A0\u0080"},  // surrogate
  };
  for (const TextCase& c : cases) {
    const std::u16string text = gogo::Utf16WithByteOrderMark(c.bytes);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], u'\uFEFF');
    EXPECT_EQ(text.substr(1), c.expected) << c.bytes;
  }
}

}  // namespace
