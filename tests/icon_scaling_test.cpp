#include "icon_scaling.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

TEST(PickIconSource, PrefersTheSmallestDrawingThatCoversTheSize) {
  struct Case {
    QList<QSize> sources;
    int size;
    qsizetype expected;
  };
  const Case cases[] = {
      {{{16, 16}, {32, 32}}, 16, 0},
      {{{16, 16}, {32, 32}}, 24, 1},
      {{{16, 16}, {32, 32}}, 22, 1},
      {{{256, 256}, {32, 32}, {64, 64}}, 48, 2},
      {{{256, 256}, {32, 32}, {64, 64}}, 64, 2},
      // Nothing large enough: the largest loses the least when scaled up.
      {{{16, 16}, {32, 32}}, 256, 1},
      {{{32, 32}, {16, 16}}, 128, 0},
      // A drawing that is not square counts by its longer edge.
      {{{48, 24}, {32, 32}}, 40, 0},
      {{}, 16, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(PickIconSource(c.sources, c.size), c.expected);
  }
}

QImage Filled(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

TEST(ScaleIcon, GivesASquareOfTheRequestedSize) {
  for (const int size : {16, 22, 24, 48, 256}) {
    SCOPED_TRACE(size);
    const QImage icon = ScaleIcon(Filled(32, 32, Qt::red), size);
    EXPECT_EQ(icon.size(), QSize(size, size));
    EXPECT_TRUE(icon.hasAlphaChannel());
    EXPECT_EQ(icon.pixelColor(size / 2, size / 2), QColor(Qt::red));
  }
}

TEST(ScaleIcon, CentresADrawingThatIsNotSquareOnTransparency) {
  const QImage icon = ScaleIcon(Filled(32, 16, Qt::blue), 16);
  ASSERT_EQ(icon.size(), QSize(16, 16));
  EXPECT_EQ(icon.pixelColor(8, 0).alpha(), 0);
  EXPECT_EQ(icon.pixelColor(8, 8), QColor(Qt::blue));
  EXPECT_EQ(icon.pixelColor(8, 15).alpha(), 0);
}

TEST(ScaleIcon, KeepsTransparentPartsTransparent) {
  QImage drawing = Filled(64, 64, Qt::transparent);
  for (int y = 16; y < 48; ++y) {
    for (int x = 16; x < 48; ++x) drawing.setPixelColor(x, y, Qt::green);
  }
  const QImage icon = ScaleIcon(drawing, 16);
  EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(icon.pixelColor(15, 15).alpha(), 0);
  EXPECT_EQ(icon.pixelColor(8, 8), QColor(Qt::green));
}

TEST(ScaleIcon, AnUnreadableDrawingGivesAnEmptyIconOfTheSize) {
  const QImage icon = ScaleIcon(QImage(), 24);
  EXPECT_EQ(icon.size(), QSize(24, 24));
  EXPECT_EQ(icon.pixelColor(12, 12).alpha(), 0);
}

// The renderer as the build runs it.
class IconRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    ASSERT_TRUE(Filled(16, 16, Qt::red).save(Path("klein.png")));
    ASSERT_TRUE(Filled(32, 32, Qt::blue).save(Path("gross.png")));
  }

  QString Path(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }

  int Render(const QStringList& arguments) {
    QProcess render;
    render.start(QStringLiteral(ZAVRIK_ICON_RENDER), arguments);
    EXPECT_TRUE(render.waitForFinished(30000));
    error_ = QString::fromLocal8Bit(render.readAllStandardError());
    return render.exitStatus() == QProcess::NormalExit ? render.exitCode() : -1;
  }

  static QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir folder_;
  QString error_;
};

TEST_F(IconRenderTest, ADrawingOfExactlyTheSizeIsCopiedUnchanged) {
  ASSERT_EQ(Render({Path("aus.png"), QStringLiteral("16"), Path("gross.png"), Path("klein.png")}),
            0);
  EXPECT_EQ(Bytes(Path("aus.png")), Bytes(Path("klein.png")));
}

TEST_F(IconRenderTest, OtherSizesAreScaledFromTheClosestLargerDrawing) {
  ASSERT_EQ(Render({Path("aus.png"), QStringLiteral("24"), Path("klein.png"), Path("gross.png")}),
            0);
  const QImage icon(Path("aus.png"));
  EXPECT_EQ(icon.size(), QSize(24, 24));
  EXPECT_EQ(icon.pixelColor(12, 12), QColor(Qt::blue));
}

TEST_F(IconRenderTest, TheSvgIsPaintedForSizesThatNoPngHas) {
  QFile svg(Path("zeichnung.svg"));
  ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
  svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 4 4">)"
            R"(<rect width="4" height="4" fill="#00ff00"/></svg>)");
  svg.close();
  const QStringList drawings = {Path("klein.png"), Path("zeichnung.svg"), Path("gross.png")};

  ASSERT_EQ(Render(QStringList{Path("aus.png"), QStringLiteral("24")} + drawings), 0);
  EXPECT_EQ(QImage(Path("aus.png")).pixelColor(12, 12), QColor(Qt::green));
  ASSERT_EQ(Render(QStringList{Path("aus.png"), QStringLiteral("16")} + drawings), 0);
  EXPECT_EQ(Bytes(Path("aus.png")), Bytes(Path("klein.png")));
}

TEST_F(IconRenderTest, AnSvgItCannotPaintFallsBackToScalingThePngs) {
  QFile svg(Path("zeichnung.svg"));
  ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
  svg.write(R"svg(<svg xmlns="http://www.w3.org/2000/svg"><rect transform="scale(2)"/></svg>)svg");
  svg.close();

  ASSERT_EQ(
      Render({Path("aus.png"), QStringLiteral("24"), Path("zeichnung.svg"), Path("gross.png")}), 0);
  EXPECT_EQ(QImage(Path("aus.png")).pixelColor(12, 12), QColor(Qt::blue));
  EXPECT_TRUE(error_.contains(QLatin1String("transform"))) << error_.toStdString();
}

TEST_F(IconRenderTest, FailuresAreReportedAndLeaveNoIcon) {
  const QStringList cases[] = {
      {Path("aus.png"), QStringLiteral("16"), Path("fehlt.png")},
      {Path("aus.png"), QStringLiteral("0"), Path("klein.png")},
      {Path("aus.png"), QStringLiteral("sechzehn"), Path("klein.png")},
      {Path("aus.png"), QStringLiteral("16")},
      {Path("kein/ordner/aus.png"), QStringLiteral("16"), Path("klein.png")},
  };
  for (const QStringList& arguments : cases) {
    SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
    EXPECT_NE(Render(arguments), 0);
    EXPECT_FALSE(error_.isEmpty());
    EXPECT_FALSE(QFile::exists(Path("aus.png")));
  }
}

}  // namespace
