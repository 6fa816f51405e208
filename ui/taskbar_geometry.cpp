#include "ui/taskbar_geometry.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

std::optional<TDesktopArea>& testArea()
{
    static std::optional<TDesktopArea> area;
    return area;
}

} // namespace

int TaskbarEdge(const TDesktopArea& area)
{
    const QRect& s = area.Screen;
    const QRect& w = area.WorkArea;
    const int left = w.left() - s.left();
    const int top = w.top() - s.top();
    const int right = (s.x() + s.width()) - (w.x() + w.width());
    const int bottom = (s.y() + s.height()) - (w.y() + w.height());
    // Ties go to the bottom, then the top, the right and the left.
    int edge = 3;
    int widest = bottom;
    for (const auto& [strip, side] : {std::pair {top, 1}, std::pair {right, 2}, std::pair {left, 0}}) {
        if (strip > widest) {
            widest = strip;
            edge = side;
        }
    }
    return edge;
}

TDesktopArea CurrentDesktopArea()
{
    if (testArea())
        return *testArea();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768)};
    return {screen->geometry(), screen->availableGeometry()};
}

void SetDesktopAreaForTesting(std::optional<TDesktopArea> area)
{
    testArea() = area;
}
