// Writes one icon size for the hicolor theme from the drawings of an icon:
//   zavrik_icon_render OUTPUT.png SIZE DRAWING...      (DRAWING: .png or .svg)
// A PNG of exactly that size is copied unchanged, as its painter tuned it for that size; else
// the SVG is painted at that size; else the closest larger PNG is scaled down (or, if none is
// larger, the largest is scaled up).
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "icon_scaling.h"
#include "svg_drawing.h"

namespace {

void Say(const QString& text) {
  std::fprintf(stderr, "zavrik_icon_render: %s\n", qPrintable(text));
}

int Fail(const QString& text) {
  Say(text);
  return 1;
}

bool WriteAtomically(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

std::optional<QByteArray> ReadWhole(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

QByteArray EncodePng(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

struct Drawings {
  QStringList pngs;
  QList<QSize> png_sizes;
  QStringList svgs;
};

std::optional<Drawings> ReadDrawings(const QStringList& paths) {
  Drawings drawings;
  for (const QString& path : paths) {
    if (path.endsWith(QLatin1String(".svg"))) {
      drawings.svgs << path;
      continue;
    }
    const QSize size = QImageReader(path).size();
    if (!size.isValid()) {
      Say(QStringLiteral("%1 ist kein lesbares Bild").arg(path));
      return std::nullopt;
    }
    drawings.pngs << path;
    drawings.png_sizes << size;
  }
  return drawings;
}

// The PNG bytes of the icon, or nothing after saying why.
std::optional<QByteArray> Render(const Drawings& drawings, int size) {
  const qsizetype chosen = PickIconSource(drawings.png_sizes, size);
  if (chosen >= 0 && drawings.png_sizes[chosen] == QSize(size, size)) {
    return ReadWhole(drawings.pngs[chosen]);
  }
  for (const QString& svg : drawings.svgs) {
    const std::optional<QByteArray> text = ReadWhole(svg);
    const SvgRender painted =
        text ? RenderSvgDrawing(*text, size) : SvgRender{{}, QStringLiteral("nicht lesbar")};
    if (!painted.image.isNull()) return EncodePng(painted.image);
    Say(QStringLiteral("%1: %2").arg(svg, painted.error));
  }
  if (chosen < 0) return std::nullopt;
  const QImage image(drawings.pngs[chosen]);
  if (image.isNull()) return std::nullopt;
  return EncodePng(ScaleIcon(image, size));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    return Fail(QStringLiteral("Aufruf: zavrik_icon_render AUSGABE.png GRÖSSE ZEICHNUNG..."));
  }
  const QString output = QFile::decodeName(argv[1]);
  bool size_ok = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&size_ok);
  if (!size_ok || size <= 0 || size > 4096) {
    return Fail(QStringLiteral("ungültige Größe: %1").arg(QString::fromLocal8Bit(argv[2])));
  }
  QStringList paths;
  for (int i = 3; i < argc; ++i) paths << QFile::decodeName(argv[i]);

  const std::optional<Drawings> drawings = ReadDrawings(paths);
  if (!drawings) return 1;
  const std::optional<QByteArray> png = Render(*drawings, size);
  if (!png || png->isEmpty()) return Fail(QStringLiteral("keine Zeichnung für %1 Pixel").arg(size));
  if (!WriteAtomically(output, *png)) {
    return Fail(QStringLiteral("%1 kann nicht geschrieben werden").arg(output));
  }
  return 0;
}
