#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Paints the plain SVG drawings the icons are made of at any pixel size: <rect> (with rx/ry),
// <polygon>, <circle> and <path> with the commands M L H V Z (either case), filled and stroked
// in solid colours, grouped in <g>, in one viewBox. Anything else - transforms, gradients, curves,
// text - is refused with an error instead of being drawn wrong.
struct SvgRender {
  QImage image;  // null when the drawing was refused
  QString error;
};

SvgRender RenderSvgDrawing(const QByteArray& svg, int size);
