// Pictures on a transparent key colour, and the window shape that key colour cuts out.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QSize>
#include <QString>

// The key colour: every pixel of this colour is see-through on the desktop.
inline const QColor KeyColor(255, 255, 0);

// Renders SVG artwork at `logicalSize` for `devicePixelRatio` on the key colour. Pixels the artwork covers
// by half or more become opaque (composited over black, so no edge is tinted by the key); the rest become
// exactly the key colour. Artwork pixels that happen to equal the key colour are nudged off it.
QImage RenderKeyedPicture(const QString& svgPath, const QSize& logicalSize, qreal devicePixelRatio);

// The region of logical pixels of `image` (drawn at its device pixel ratio) in which no device pixel
// has the key colour: used as the window's shape, it lets no key-coloured pixel show.
QRegion OpaqueRegion(const QImage& image);
