#include "icon_scaling.h"

#include <QPainter>

namespace {
int Edge(const QSize& size) { return std::max(size.width(), size.height()); }
}  // namespace

qsizetype PickIconSource(const QList<QSize>& sources, int size) {
  qsizetype best = -1;
  for (qsizetype i = 0; i < sources.size(); ++i) {
    if (best < 0) {
      best = i;
      continue;
    }
    const int edge = Edge(sources[i]);
    const int best_edge = Edge(sources[best]);
    const bool covers = edge >= size;
    const bool best_covers = best_edge >= size;
    if (covers != best_covers) {
      if (covers) best = i;
    } else if (covers ? edge < best_edge : edge > best_edge) {
      best = i;
    }
  }
  return best;
}

QImage ScaleIcon(const QImage& source, int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  if (source.isNull() || size <= 0) return icon;
  const QImage scaled = source.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                            .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPainter painter(&icon);
  painter.drawImage((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
  return icon;
}
