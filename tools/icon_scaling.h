#pragma once

#include <QImage>
#include <QList>
#include <QSize>

// Picks the drawing to scale to `size` pixels: the smallest one at least that large, so
// details are only ever reduced, or the largest when every drawing is smaller. -1 when there is
// no drawing at all.
qsizetype PickIconSource(const QList<QSize>& sources, int size);

// `source` scaled to a square of `size` pixels; a drawing that is not square keeps its
// proportions and is centred on a transparent square.
QImage ScaleIcon(const QImage& source, int size);
