#include "svg_drawing.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

namespace {

QByteArray Drawing(const char* body, const char* view_box = "0 0 10 10") {
  return QByteArray(
             "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"") +
         view_box + "\">" + body + "</svg>";
}

struct Probe {
  int x;
  int y;
  QColor colour;  // alpha 0: nothing painted there
};

TEST(RenderSvgDrawing, PaintsEachShapeWhereTheDrawingPutsIt) {
  const QColor none(0, 0, 0, 0);
  struct Case {
    const char* name;
    QByteArray svg;
    QList<Probe> probes;  // at 20 pixels: one drawing unit is two pixels
  };
  const Case cases[] = {
      {"rect",
       Drawing(R"(<rect x="0" y="0" width="5" height="10" fill="#ff0000"/>)"),
       {{2, 10, Qt::red}, {15, 10, none}}},
      {"rounded rect leaves its corners",
       Drawing(R"(<rect width="10" height="10" rx="4" fill="blue"/>)"),
       {{0, 0, none}, {10, 10, Qt::blue}, {19, 19, none}}},
      {"polygon",
       Drawing(R"(<polygon points="0,0 10,0 0,10" fill="#00ff00"/>)"),
       {{3, 3, Qt::green}, {17, 17, none}}},
      {"relative path",
       Drawing(R"(<path d="M1 1 h8 v4 h-8 z" fill="red"/>)"),
       {{10, 5, Qt::red}, {17, 6, Qt::red}, {2, 8, Qt::red}, {10, 15, none}, {0, 0, none}}},
      {"absolute path with implicit lines",
       Drawing(R"(<path d="M0 5 10 5 10 10 0 10Z" fill="red"/>)"),
       {{10, 15, Qt::red}, {10, 5, none}}},
      {"circle",
       Drawing(R"(<circle cx="5" cy="5" r="3" fill="blue"/>)"),
       {{10, 10, Qt::blue}, {1, 1, none}}},
      {"group passes its fill on",
       Drawing(R"(<g fill="blue"><rect width="10" height="5"/></g>)"),
       {{10, 4, Qt::blue}, {10, 15, none}}},
      {"stroke without fill",
       Drawing(
           R"(<rect x="1" y="1" width="8" height="8" fill="none" stroke="red" stroke-width="2"/>)"),
       {{2, 10, Qt::red}, {10, 10, none}}},
      {"no fill means black", Drawing(R"(<rect width="10" height="10"/>)"), {{10, 10, Qt::black}}},
      {"viewBox that is not square is centred",
       Drawing(R"(<rect width="10" height="5" fill="red"/>)", "0 0 10 5"),
       {{10, 2, none}, {10, 10, Qt::red}, {10, 17, none}}},
      {"title and metadata are skipped",
       Drawing(
           R"(<title>Z</title><metadata><x/></metadata><rect width="10" height="10" fill="red"/>)"),
       {{10, 10, Qt::red}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SvgRender render = RenderSvgDrawing(c.svg, 20);
    ASSERT_FALSE(render.image.isNull()) << render.error.toStdString();
    ASSERT_EQ(render.image.size(), QSize(20, 20));
    for (const Probe& probe : c.probes) {
      SCOPED_TRACE(testing::Message() << probe.x << "," << probe.y);
      const QColor painted = render.image.pixelColor(probe.x, probe.y);
      if (probe.colour.alpha() == 0) {
        EXPECT_EQ(painted.alpha(), 0);
      } else {
        EXPECT_EQ(painted, probe.colour);
      }
    }
  }
}

TEST(RenderSvgDrawing, RefusesWhatItCannotPaintFaithfully) {
  const QByteArray cases[] = {
      Drawing(R"svg(<rect width="10" height="10" transform="rotate(45)"/>)svg"),
      Drawing(R"(<rect width="10" height="10" style="fill:red"/>)"),
      Drawing(R"(<path d="M0 0 C 5 5 5 5 10 10"/>)"),
      Drawing(R"(<path d="0 0 L 10 10"/>)"),
      Drawing(R"svg(<linearGradient id="g"/><rect width="10" height="10" fill="url(#g)"/>)svg"),
      Drawing(R"(<text>Z</text>)"),
      Drawing(R"(<rect width="zehn" height="10"/>)"),
      Drawing(R"(<rect width="10" height="10" fill="nichtfarbe"/>)"),
      Drawing(R"(<polygon points="0,0 10"/>)"),
      Drawing(R"(<rect width="10" height="10">)"),
      Drawing("", "0 0 0 0"),
      QByteArray("<html><body/></html>"),
      QByteArray(),
  };
  for (const QByteArray& svg : cases) {
    SCOPED_TRACE(svg.toStdString());
    const SvgRender render = RenderSvgDrawing(svg, 16);
    EXPECT_TRUE(render.image.isNull());
    EXPECT_FALSE(render.error.isEmpty());
  }
}

// The SVG drawings and the PNGs painted by hand from the same shapes must not drift apart: the
// theme shows the SVG in some sizes and the PNGs in others.
TEST(RenderSvgDrawing, TheShippedDrawingsMatchTheirPaintedPngs) {
  for (const char* name : {"zavrik", "text-x-Zavrik-list"}) {
    SCOPED_TRACE(name);
    const QString base = QStringLiteral(ZAVRIK_SOURCE_DIR "/data/icons/") + QLatin1String(name);
    QFile svg(base + QStringLiteral(".svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const SvgRender render = RenderSvgDrawing(svg.readAll(), 32);
    ASSERT_FALSE(render.image.isNull()) << render.error.toStdString();
    const QImage painted =
        QImage(base + QStringLiteral("-32.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage rendered = render.image.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(painted.size(), rendered.size());
    int differing = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QColor a = painted.pixelColor(x, y);
        const QColor b = rendered.pixelColor(x, y);
        const int difference =
            std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                      std::abs(a.blue() - b.blue()), std::abs(a.alpha() - b.alpha())});
        if (difference > 64) ++differing;
      }
    }
    // Corners may be joined differently; the shapes themselves must agree.
    EXPECT_LT(differing, 32 * 32 / 50);
  }
}

}  // namespace
