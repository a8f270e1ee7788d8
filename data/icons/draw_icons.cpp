// Paints the PNG sizes of the two icons, with the same shapes as the SVG drawings beside it:
//   draw_icons OUTPUT_FOLDER
// Run once by hand when a drawing changes; the PNGs are kept in the repository.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

const QColor kBlue(0x1f, 0x4e, 0x8c);
const QColor kOrange(0xf5, 0xa6, 0x23);

void PaintApplicationIcon(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBlue);
  painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  const QPolygonF z({{8, 6},
                     {24, 6},
                     {24, 10},
                     {14, 21},
                     {24, 21},
                     {24, 25},
                     {8, 25},
                     {8, 21},
                     {18, 10},
                     {8, 10}});
  painter.setBrush(Qt::white);
  painter.drawPolygon(z);
  painter.setBrush(kOrange);
  painter.drawRect(QRectF(8, 27, 16, 2));
}

void PaintListIcon(QPainter& painter) {
  painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
  QPainterPath page;
  page.moveTo(6, 1.5);
  page.lineTo(20, 1.5);
  page.lineTo(26.5, 8);
  page.lineTo(26.5, 30.5);
  page.lineTo(6, 30.5);
  page.closeSubpath();
  painter.setBrush(Qt::white);
  painter.drawPath(page);
  QPainterPath fold;
  fold.moveTo(20, 1.5);
  fold.lineTo(20, 8);
  fold.lineTo(26.5, 8);
  fold.closeSubpath();
  painter.setBrush(QColor(0xd0, 0xd0, 0xd0));
  painter.drawPath(fold);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBlue);
  for (const int y : {12, 17, 22}) painter.drawRect(QRectF(9, y, 14, 2));
  painter.setBrush(kOrange);
  painter.drawRect(QRectF(9, 27, 9, 2));
}

bool Save(const QString& folder, const QString& name, int size, void (*paint)(QPainter&)) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  paint(painter);
  painter.end();
  return image.save(QDir(folder).filePath(QStringLiteral("%1-%2.png").arg(name).arg(size)));
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) return 2;
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool saved = true;
  for (const int size : {16, 32}) {
    saved = Save(folder, QStringLiteral("zavrik"), size, PaintApplicationIcon) && saved;
    saved = Save(folder, QStringLiteral("text-x-Zavrik-list"), size, PaintListIcon) && saved;
  }
  return saved ? 0 : 1;
}
