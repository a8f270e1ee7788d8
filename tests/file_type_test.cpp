#include "platform/file_type.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "app/mime_registration.h"
#include "files/list_file.h"
#include "platform/extended_attributes.h"

namespace {

class FileTypeTest : public ::testing::Test {
 protected:
  // The type must be in the user's database before anything asks QMimeDatabase, which keeps
  // what it read first for a while.
  static void SetUpTestSuite() {
    installed_ =
        InstallListMimeType(QStringLiteral("/usr/bin/zavrik")) == MimeInstallResult::Installed;
  }
  static void TearDownTestSuite() { UninstallListMimeType(); }

  void SetUp() override {
    ASSERT_TRUE(installed_);
    ASSERT_TRUE(folder_.isValid());
    const xattrs::Status probe = xattrs::Write(folder_.path(), "user.probe", "1");
    attributes_ = probe != xattrs::Status::NotSupported;
  }

  QString PathOf(const char* name) const { return folder_.filePath(QString::fromUtf8(name)); }

  void Create(const char* name, const QByteArray& bytes) {
    QFile file(PathOf(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  void ExpectListsKnownByStoredTypeNameOrHeader();

  static inline bool installed_ = false;
  bool attributes_ = true;
  QTemporaryDir folder_;
};

// The same files where the MIME database has never heard of the list type: its installation
// was switched off, or failed.
class FileTypeWithoutTheListTypeTest : public FileTypeTest {
 protected:
  static void SetUpTestSuite() {
    UninstallListMimeType();
    // No system folder may know the type either.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(system_folder_.path()));
    installed_ = true;
  }
  static void TearDownTestSuite() {}

  static inline QTemporaryDir system_folder_;
};

const QByteArray kHeader = QByteArray(kListFileHeader) + "\n0;/a.wav\n";

void FileTypeTest::ExpectListsKnownByStoredTypeNameOrHeader() {
  struct Case {
    const char* name;
    std::function<void()> create;
    const char* path;
    bool list;
  };
  const Case cases[] = {
      {"saved by the program", [&] { SaveListFile(PathOf("saved"), {"/a.wav"}); }, "saved", true},
      {"name pattern without a stored type", [&] { Create("copy.zvk", "0;/a.wav\n"); }, "copy.zvk",
       true},
      {"name pattern in capitals", [&] { Create("USB.ZVK", "0;/a.wav\n"); }, "USB.ZVK", true},
      {"header line without a stored type", [&] { Create("ohne_endung", kHeader); }, "ohne_endung",
       true},
      {"plain text", [&] { Create("notiz.txt", "Einkaufsliste\n"); }, "notiz.txt", false},
      {"a link to a list file", [&] { QFile::link(PathOf("copy.zvk"), PathOf("link")); }, "link",
       true},
      {"a folder with the list name", [&] { QDir(folder_.path()).mkdir("mappe.zvk"); }, "mappe.zvk",
       false},
      {"a missing file", [] {}, "fehlt.zvk", false},
      {"a dangling link", [&] { QFile::link(PathOf("weg"), PathOf("lose.zvk")); }, "lose.zvk",
       false},
      {"a pipe with the list name", [&] { mkfifo(QFile::encodeName(PathOf("rohr.zvk")), 0600); },
       "rohr.zvk", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.create();
    EXPECT_EQ(IsListFile(PathOf(c.path)), c.list);
  }
}

TEST_F(FileTypeTest, AListFileIsKnownByItsStoredTypeItsNameOrItsHeader) {
  ExpectListsKnownByStoredTypeNameOrHeader();
}

TEST_F(FileTypeWithoutTheListTypeTest, AListFileIsKnownByItsStoredTypeItsNameOrItsHeader) {
  ExpectListsKnownByStoredTypeNameOrHeader();
}

TEST_F(FileTypeTest, AStoredTypeOutweighsNameAndHeader) {
  if (!attributes_) GTEST_SKIP() << "no user attributes here";
  struct Case {
    const char* name;
    QByteArray stored_type;
    bool list;
  };
  const Case cases[] = {
      {"other.zvk", "text/plain", false},
      {"stored.txt", "text/x-Zavrik-list", true},
      {"with_nul.txt", QByteArray("text/x-Zavrik-list\0", 19), true},
      {"case.zvk", "text/x-zavrik-list", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Create(c.name, kHeader);
    ASSERT_EQ(xattrs::Write(PathOf(c.name), "user.mime_type", c.stored_type), xattrs::Status::Ok);
    EXPECT_EQ(IsListFile(PathOf(c.name)), c.list);
  }
}

TEST_F(FileTypeTest, UnreadableThingsHaveNoType) {
  EXPECT_EQ(FileMimeType(PathOf("fehlt")), QString());
  EXPECT_EQ(FileMimeType(folder_.path()), QStringLiteral("inode/directory"));
}

}  // namespace
