// Where the desktop's panel (taskbar) is: told apart by how the work area falls short of the screen.
#pragma once

#include <QRect>

#include <optional>

struct TDesktopArea
{
    QRect Screen;
    QRect WorkArea; // the screen without the panels
};

// 0 left, 1 top, 2 right, 3 bottom. The widest strip the work area leaves uncovered is the panel; with no
// panel at all, notices still come from the bottom corner, as they would from a bottom panel.
int TaskbarEdge(const TDesktopArea& area);

// The primary screen as the window system reports it now, or what a test put in its place.
TDesktopArea CurrentDesktopArea();
void SetDesktopAreaForTesting(std::optional<TDesktopArea> area);
