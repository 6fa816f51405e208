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
QImage RenderKeyedSvg(const QString& svgPath, const QSize& logicalSize, qreal devicePixelRatio);

// RenderKeyedSvg's picture, taken from the copy the build drew for a scale of 1 when there is one
// (":/prerendered/<name>-<width>x<height>.png" for ":/<name>.svg"): drawing the artwork's gradients is
// the largest part of the gadget's start.
QImage RenderKeyedPicture(const QString& svgPath, const QSize& logicalSize, qreal devicePixelRatio);

// Where the build puts the copy of `svgPath` at `size`.
QString PrerenderedPath(const QString& svgPath, const QSize& size);

// The region of logical pixels of `image` (drawn at its device pixel ratio) in which no device pixel
// has the key colour: used as the window's shape, it lets no key-coloured pixel show.
QRegion OpaqueRegion(const QImage& image);
