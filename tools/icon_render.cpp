// Writes one icon size for the hicolor theme from the PNG drawings of an icon:
//   zavrik_icon_render OUTPUT.png SIZE SOURCE.png...
// A drawing of exactly that size is copied unchanged; otherwise the closest larger one is
// scaled down (or, if none is larger, the largest is scaled up).
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>
#include <cstdio>

#include "icon_scaling.h"

namespace {

int Fail(const QString& text) {
  std::fprintf(stderr, "zavrik_icon_render: %s\n", qPrintable(text));
  return 1;
}

bool WriteAtomically(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QByteArray EncodePng(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4)
    return Fail(QStringLiteral("Aufruf: zavrik_icon_render AUSGABE.png GRÖSSE QUELLE.png..."));
  const QString output = QFile::decodeName(argv[1]);
  bool size_ok = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&size_ok);
  if (!size_ok || size <= 0 || size > 4096)
    return Fail(QStringLiteral("ungültige Größe: %1").arg(QString::fromLocal8Bit(argv[2])));

  QStringList sources;
  QList<QSize> sizes;
  for (int i = 3; i < argc; ++i) {
    const QString source = QFile::decodeName(argv[i]);
    QImageReader reader(source);
    const QSize source_size = reader.size();
    if (!source_size.isValid())
      return Fail(QStringLiteral("%1 ist kein lesbares Bild").arg(source));
    sources << source;
    sizes << source_size;
  }

  const qsizetype chosen = PickIconSource(sizes, size);
  QByteArray png;
  if (sizes[chosen] == QSize(size, size)) {
    QFile original(sources[chosen]);
    if (!original.open(QIODevice::ReadOnly))
      return Fail(QStringLiteral("%1 ist nicht lesbar").arg(sources[chosen]));
    png = original.readAll();
  } else {
    const QImage image(sources[chosen]);
    if (image.isNull())
      return Fail(QStringLiteral("%1 ist kein lesbares Bild").arg(sources[chosen]));
    png = EncodePng(ScaleIcon(image, size));
  }
  if (png.isEmpty() || !WriteAtomically(output, png))
    return Fail(QStringLiteral("%1 kann nicht geschrieben werden").arg(output));
  return 0;
}
