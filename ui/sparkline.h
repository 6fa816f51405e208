// A small picture of the round trips of a resource's last rounds, painted as vectors at the target's resolution.
#pragma once

#include <QColor>

#include <cstdint>
#include <vector>

class QPainter;
class QRectF;

// One kept round: whether anything answered, and the mean round trip of what did.
struct TSparkPoint
{
    bool Answered = false;
    uint32_t Us = 0;
};

struct TSparklineColors
{
    QColor Line {0x16, 0x7a, 0x20};
    QColor Fill {0x3f, 0xbf, 0x3f, 70};
    QColor Failed {0xe0, 0x26, 0x26};
    QColor Axis {0x80, 0x80, 0x80};
};

// The top of the scale: the slowest kept answer rounded up to 1, 2 or 5 times a power of ten, at least
// 0,1 ms; 0 when no round was answered. A round number makes the picture readable at a glance.
uint32_t SparklineScaleUs(const std::vector<TSparkPoint>& points);

// Paints `points` (oldest first) into `area`, the newest at the right edge and one slot of `capacity` per
// round, so that a short history stays on the same time axis as a full one. Answered rounds are joined by a
// line, from 0 at the bottom to `scaleUs` at the top; rounds without an answer are red bars of full height.
void PaintSparkline(QPainter& painter, const QRectF& area, const std::vector<TSparkPoint>& points, int capacity,
                    uint32_t scaleUs, const TSparklineColors& colors = {});
