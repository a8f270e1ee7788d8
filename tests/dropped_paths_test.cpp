#include "files/dropped_paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/test_support.h"

namespace {

class DroppedPathsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temporary_.isValid());
    // The canonical form of the folder itself, as /tmp may be a link.
    root_ = QDir(temporary_.path()).canonicalPath();
    ASSERT_TRUE(QDir(root_).mkpath("music/album"));
    Touch("music/a.wav");
    Touch("music/album/b.wav");
    Touch("c d.wav");
  }

  void TearDown() override { test_support::RemoveTree(temporary_.path()); }

  void Touch(const QString& name) {
    QFile file(Path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  void Link(const QString& target, const QString& name) {
    ASSERT_TRUE(QFile::link(target, Path(name)));
  }
  QString Path(const QString& name) const { return root_ + '/' + name; }
  QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }

  QTemporaryDir temporary_;
  QString root_;
};

TEST_F(DroppedPathsTest, KeepsDropOrderAndFollowsLinks) {
  Link(Path("music/a.wav"), "link.wav");
  Link("music/album", "album-link");  // relative, and in the middle of the dropped path
  Link("link.wav", "link-to-link.wav");
  const QStringList paths =
      ResolveDroppedUrls({Url("c d.wav"), Url("link.wav"), Url("album-link/b.wav"),
                          Url("link-to-link.wav"), Url("music")});
  EXPECT_EQ(paths, QStringList({Path("c d.wav"), Path("music/a.wav"), Path("music/album/b.wav"),
                                Path("music/a.wav"), Path("music")}));
}

TEST_F(DroppedPathsTest, LeavesOutWhatIsNoLocalFileAndSaysWhyForEach) {
  Link(Path("gone.wav"), "dangling.wav");
  // A name from a file system that is not UTF-8 exists, but Zavrik cannot hold it.
  const QByteArray latin1 = QFile::encodeName(root_) + "/caf\xe9.wav";
  ASSERT_EQ(::close(::open(latin1.constData(), O_CREAT | O_WRONLY, 0600)), 0);
  QStringList refused;
  const QStringList paths = ResolveDroppedUrls(
      {QUrl("https://example.org/a.wav"), Url("missing.wav"), Url("dangling.wav"),
       Url("missing-folder/a.wav"), Url("music/a.wav"), QUrl("file:relative.wav"),
       QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/"))},
      &refused);
  EXPECT_EQ(paths, QStringList({Path("music/a.wav")}));
  const QString missing = QStringLiteral(" – diese Datei gibt es nicht.");
  EXPECT_EQ(refused, QStringList({"https://example.org/a.wav – keine Datei auf diesem Rechner; nur "
                                  "lokale Dateien können kodiert werden.",
                                  Path("missing.wav") + missing, Path("dangling.wav") + missing,
                                  Path("missing-folder/a.wav") + missing, "relative.wav" + missing,
                                  root_ + QStringLiteral("/caf\\xe9.wav – der Name ist kein "
                                                         "gültiger UTF-8-Text.")}));
}

TEST_F(DroppedPathsTest, ResolvesDotNamesAndLinkedFolders) {
  Link("music", "music-link");
  const QStringList paths =
      ResolveDroppedUrls({Url("music/album/.."), Url("music/album/."),
                          Url("music-link/album/../a.wav"), Url("music//album/b.wav")});
  EXPECT_EQ(paths, QStringList({Path("music"), Path("music/album"), Path("music/a.wav"),
                                Path("music/album/b.wav")}));
}

}  // namespace
